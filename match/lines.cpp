#include "match/lines.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace urlkeys::match {
namespace {

constexpr size_t kBlock = size_t{1} << 16;

static_assert(kMaxLine == 65536, "the texts below give the line limit");
constexpr SkipTexts kTooLongTexts = {"longer than 65536 bytes", "is longer than 65536 bytes",
                                     "request line longer than 65536 bytes"};
constexpr SkipTexts kHasNulTexts = {"holds a NUL byte", "holds a NUL byte",
                                    "request line holding a NUL byte"};
constexpr SkipTexts kNoTexts = {nullptr, nullptr, nullptr};

}  // namespace

const SkipTexts& SkipTextsOf(LineStatus status) {
  switch (status) {
    case LineStatus::kTooLong: return kTooLongTexts;
    case LineStatus::kHasNul: return kHasNulTexts;
    case LineStatus::kLine: break;
  }
  return kNoTexts;
}

LineSplitter::LineSplitter() : line_(new char[kMaxLine + 1]) {}

LineSplitter::~LineSplitter() { delete[] line_; }

void LineSplitter::Push(char* data, size_t size) {
  block_ = data;
  begin_ = 0;
  end_ = size;
}

bool LineSplitter::Next(Line* line) {
  if (begin_ == end_) return false;
  char* start = block_ + begin_;
  size_t left = end_ - begin_;
  char* nl = static_cast<char*>(memchr(start, '\n', left));
  size_t chunk = nl ? static_cast<size_t>(nl - start) : left;
  begin_ += nl ? chunk + 1 : chunk;
  if (!too_long_ && line_length_ + chunk > kMaxLine) {
    // Keep the line's head for the caller; the rest is skipped.
    memcpy(line_ + line_length_, start, kMaxLine - line_length_);
    line_length_ = kMaxLine;
    too_long_ = true;
  }
  if (!nl) {  // the line goes on in the next block
    if (!too_long_) {
      memcpy(line_ + line_length_, start, chunk);
      line_length_ += chunk;
    }
    return false;
  }
  if (line_length_ == 0 && !too_long_) {  // whole within the block: no copy
    Complete(start, chunk, line);
  } else {
    if (!too_long_) memcpy(line_ + line_length_, start, chunk);
    size_t length = line_length_ + chunk;
    line_length_ = 0;
    Complete(line_, length, line);
  }
  return true;
}

bool LineSplitter::HasLine() const {
  return begin_ != end_ && memchr(block_ + begin_, '\n', end_ - begin_) != nullptr;
}

bool LineSplitter::Finish(Line* line) {
  block_ = nullptr;
  begin_ = end_ = 0;
  if (line_length_ == 0 && !too_long_) return false;
  size_t length = line_length_;
  line_length_ = 0;
  Complete(line_, length, line);
  return true;
}

void LineSplitter::Complete(char* text, size_t length, Line* line) {
  ++number_;
  if (too_long_) {
    too_long_ = false;
    line_length_ = 0;
    line_[kMaxLine] = '\0';
    *line = Line{line_, kMaxLine, LineStatus::kTooLong};
    return;
  }
  if (length && text[length - 1] == '\r') --length;
  text[length] = '\0';  // over the '\n' or the '\r', or inside line_'s kMaxLine + 1
  bool nul = memchr(text, '\0', length) != nullptr;
  *line = Line{text, length, nul ? LineStatus::kHasNul : LineStatus::kLine};
}

LineReader::LineReader(int fd) : fd_(fd), block_(new char[kBlock]) {}

LineReader::~LineReader() { delete[] block_; }

bool LineReader::Fill() {
  for (;;) {
    ssize_t n = read(fd_, block_, kBlock);
    if (n > 0) {
      splitter_.Push(block_, static_cast<size_t>(n));
      return true;
    }
    if (n == 0) {
      eof_ = true;
      return true;
    }
    if (errno != EINTR) return false;
  }
}

LineReader::Result LineReader::Next(const char** text, size_t* length) {
  Line line;
  for (;;) {
    if (splitter_.Next(&line)) break;
    if (eof_) {
      if (!splitter_.Finish(&line)) return kEnd;
      break;
    }
    if (!Fill()) return kError;
  }
  *text = line.text;
  *length = line.length;
  switch (line.status) {
    case LineStatus::kTooLong: return kTooLong;
    case LineStatus::kHasNul: return kHasNul;
    case LineStatus::kLine: break;
  }
  return kLine;
}

bool LineReader::WouldWait() const { return !eof_ && !splitter_.HasLine(); }

}  // namespace urlkeys::match
