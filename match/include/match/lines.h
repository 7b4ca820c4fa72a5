// Input lines of the match job: URL text split at '\n', in constant memory,
// with over-long lines and lines holding a NUL byte told apart so that no
// line is lost without a word.
//
// A line is the text before a '\n' (or before the end of input), without
// one '\r' just before the '\n'. A line of more than kMaxLine bytes (counted
// before the '\r' is dropped) is too long: it is consumed whole and only its
// head is kept. A line holding a NUL byte is told apart, because the library
// reads text up to its NUL and a URL cut there would give a key the line
// does not hold. A last line without '\n' counts, unless it is empty.
//
// LineSplitter takes the input in blocks of any size (pushed by the caller);
// LineReader reads a file descriptor through one. Both give the same lines
// for the same bytes, however they are cut into blocks.
#ifndef URLKEYS_MATCH_LINES_H
#define URLKEYS_MATCH_LINES_H

#include <cstddef>

namespace urlkeys::match {

// The longest line handled; longer ones are reported and skipped.
constexpr size_t kMaxLine = 65536;

enum class LineStatus {
  kLine,     // a line to process
  kTooLong,  // over kMaxLine bytes: skipped
  kHasNul,   // holds a NUL byte: skipped
};

// Why a line was skipped, in the words each consumer uses (null for kLine).
struct SkipTexts {
  const char* reason;   // recorded with the line number: "longer than 65536 bytes"
  const char* report;   // after "line N " on standard error: "is longer than 65536 bytes"
  const char* request;  // a helper's answer to a request line: "request line longer than ..."
};
const SkipTexts& SkipTextsOf(LineStatus status);

struct Line {
  // The text without the '\n' and the '\r' before it, NUL-terminated.
  // kTooLong: the first kMaxLine bytes, NUL-terminated. Valid until the
  // splitter is next used.
  const char* text;
  size_t length;
  LineStatus status;
};

class LineSplitter {
 public:
  LineSplitter();
  ~LineSplitter();
  LineSplitter(const LineSplitter&) = delete;
  LineSplitter& operator=(const LineSplitter&) = delete;

  // Hands the splitter the next block of input. The block is written to (a
  // NUL over each '\n', or the '\r' before it) and must stay alive and
  // unchanged until Next returns false; a line that runs past its end is
  // kept in the splitter's own buffer (at most kMaxLine bytes).
  void Push(char* data, size_t size);
  // The next complete line of the block: true with *line set, or false when
  // the block holds no further '\n' (its rest is kept for the next block).
  bool Next(Line* line);
  // True when Next would give a line from the block pushed last.
  bool HasLine() const;
  // Ends the input (after Next returned false): true with the last line
  // when it had no '\n' and is not empty, else false. The splitter starts
  // afresh afterwards, except for the line count.
  bool Finish(Line* line);
  // The number of the line given last (1 for the first).
  unsigned long number() const { return number_; }

 private:
  void Complete(char* text, size_t length, Line* line);

  char* block_ = nullptr;  // the pushed block, from begin_ to end_ unread
  size_t begin_ = 0, end_ = 0;
  char* line_;  // a line that crosses blocks is gathered here
  size_t line_length_ = 0;
  bool too_long_ = false;
  unsigned long number_ = 0;
};

// Reads a file descriptor line by line.
class LineReader {
 public:
  enum Result { kLine, kTooLong, kHasNul, kEnd, kError };

  // Reads from `fd` with read(2), so that a line is handed out as soon as it
  // has arrived (a pipe is not waited on for a full block).
  explicit LineReader(int fd);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line: kLine, kTooLong or kHasNul with *line and *length set as
  // Line's text and length; kEnd at the end of input; kError when reading
  // fails (errno tells why).
  Result Next(const char** line, size_t* length);
  // True when the next Next would wait for input: no whole line is buffered
  // and the input has not ended. Lets a caller write out what it holds
  // before it waits.
  bool WouldWait() const;
  // The number of the line that the last Next returned (1 for the first).
  unsigned long number() const { return splitter_.number(); }

 private:
  bool Fill();

  int fd_;
  char* block_;
  LineSplitter splitter_;
  bool eof_ = false;
};

}  // namespace urlkeys::match

#endif
