// Input lines: standard input (or any descriptor) read line by line in
// constant memory, with over-long lines and lines holding a NUL byte told
// apart so that no line is lost without a word.
#ifndef URLKEYS_TOOLS_LINES_H
#define URLKEYS_TOOLS_LINES_H

#include <cstddef>

namespace urlkeys::tool {

// The longest line handled; longer ones are reported and skipped.
constexpr size_t kMaxLine = 65536;

class LineReader {
 public:
  enum Result { kLine, kTooLong, kHasNul, kEnd, kError };

  // Reads from `fd` with read(2), so that a line is handed out as soon as it
  // has arrived (a pipe is not waited on for a full block).
  explicit LineReader(int fd);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line: kLine with *line its text (without the '\n' and one '\r'
  // before it), NUL-terminated and valid until the next call; kTooLong for a
  // line over kMaxLine bytes (consumed whole; *line is set to its first
  // kMaxLine bytes, NUL-terminated) and kHasNul for one holding a NUL byte
  // (*line and *length set as for kLine); kEnd at the end of input; kError when
  // reading fails (errno tells why). A last line without '\n' counts.
  Result Next(const char** line, size_t* length);
  // True when the next Next would wait for input: no whole line is buffered
  // and the input has not ended. Lets a caller write out what it holds
  // before it waits.
  bool WouldWait() const;
  // The number of the line that the last Next returned (1 for the first).
  unsigned long number() const { return number_; }

 private:
  bool Fill();

  int fd_;
  char* block_;           // what read(2) gave, from begin_ to end_ unused
  size_t begin_ = 0, end_ = 0;
  char* line_;            // a line that crosses blocks is gathered here
  size_t line_length_ = 0;
  bool too_long_ = false;
  bool eof_ = false;
  unsigned long number_ = 0;
};

}  // namespace urlkeys::tool

#endif
