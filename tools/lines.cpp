#include "lines.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace urlkeys::tool {
namespace {

constexpr size_t kBlock = size_t{1} << 16;

}  // namespace

LineReader::LineReader(int fd)
    : fd_(fd), block_(new char[kBlock + 1]), line_(new char[kMaxLine + 1]) {}

LineReader::~LineReader() {
  delete[] block_;
  delete[] line_;
}

bool LineReader::Fill() {
  for (;;) {
    ssize_t n = read(fd_, block_, kBlock);
    if (n > 0) {
      begin_ = 0;
      end_ = static_cast<size_t>(n);
      return true;
    }
    if (n == 0) {
      eof_ = true;
      return true;
    }
    if (errno != EINTR) return false;
  }
}

LineReader::Result LineReader::Next(const char** line, size_t* length) {
  for (;;) {
    if (begin_ == end_) {
      if (!eof_ && !Fill()) return kError;
      if (eof_) {
        if (line_length_ == 0 && !too_long_) return kEnd;
        // The last line, without a '\n'.
        *line = line_;
        *length = line_length_;
        line_length_ = 0;
        break;
      }
    }
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
      continue;
    }
    if (line_length_ == 0 && !too_long_) {  // whole within the block: no copy
      *line = start;
      *length = chunk;
    } else {
      if (!too_long_) memcpy(line_ + line_length_, start, chunk);
      *line = line_;
      *length = line_length_ + chunk;
      line_length_ = 0;
    }
    break;
  }
  ++number_;
  if (too_long_) {
    too_long_ = false;
    line_[kMaxLine] = '\0';
    *line = line_;
    *length = kMaxLine;
    line_length_ = 0;
    return kTooLong;
  }
  char* text = const_cast<char*>(*line);
  if (*length && text[*length - 1] == '\r') --*length;
  text[*length] = '\0';  // over the '\n', or inside a buffer of kMaxLine + 1
  if (memchr(text, '\0', *length)) return kHasNul;
  return kLine;
}

bool LineReader::WouldWait() const {
  return !eof_ && !memchr(block_ + begin_, '\n', end_ - begin_);
}

}  // namespace urlkeys::tool
