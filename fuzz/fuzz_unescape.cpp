// Fuzz target for zuUrlUnescape: the text never grows, the count stays within
// the number of '%' and '+', and the decoded text matches a plain model of
// the decoder (escapes, '+' to space, UTF-8 folded to the code point's low
// byte).
#include <cstring>
#include <string>

#include "fuzz_common.h"
#include "urlkeys/unescape.h"

using urlkeys::fuzz::cText;
using urlkeys::fuzz::vCheck;

namespace {

int nNibble(unsigned char ch) {
  ch &= 0x7F;
  if (ch >= '0' && ch <= '9') return ch - '0';
  const int lower = (ch >= 'A' && ch <= 'Z') ? ch + 32 : ch;
  return (lower - 87) & 0x0F;
}

// Model of the decoder over the whole text; returns the output as bytes up
// to (not including) the first NUL it writes, and the escape count.
std::string sModel(const char* in, int* count) {
  const size_t n = std::strlen(in);
  std::string out;
  bool ended = false;  // a NUL was written: later output is not part of the string
  int expect = -1;
  unsigned long code = 0;
  *count = 0;
  auto put = [&](unsigned char b) {
    if (ended) return;
    if (b == 0) {
      ended = true;
      return;
    }
    out.push_back(static_cast<char>(b));
  };
  for (size_t i = 0; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(in[i]);
    if (c == '%') {
      if (in[i + 1] == '\0' || in[i + 2] == '\0') {
        put(0);
        continue;
      }
      ++*count;
      c = static_cast<unsigned char>(16 * nNibble(static_cast<unsigned char>(in[i + 1])) +
                                     nNibble(static_cast<unsigned char>(in[i + 2])));
      i += 2;
    } else if (c == '+') {
      ++*count;
      put(' ');
      continue;
    }
    if ((c & 0xC0) == 0x80) {
      code = (code << 6) | (c & 0x3F);
      --expect;
      if (expect == 0) put(static_cast<unsigned char>(code & 0xFF));
    } else if (c < 0x80) {
      put(c);
    } else if ((c & 0xE0) == 0xC0) {
      code = c & 0x1F;
      expect = 1;
    } else if ((c & 0xF0) == 0xE0) {
      code = c & 0x0F;
      expect = 2;
    } else if ((c & 0xF8) == 0xF0) {
      code = c & 0x07;
      expect = 3;
    } else if ((c & 0xFC) == 0xF8) {
      code = c & 0x03;
      expect = 4;
    } else {
      code = c & 0x01;
      expect = 5;
    }
  }
  return out;
}

size_t nCount(const char* s, char c) {
  size_t k = 0;
  for (; *s != '\0'; ++s) k += (*s == c) ? 1 : 0;
  return k;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  cText text(data, size);
  const std::string before(text.get());
  const size_t escapes = nCount(text.get(), '%') + nCount(text.get(), '+');

  const int got = zuUrlUnescape(text.get());
  const std::string after(text.get());

  vCheck(got >= 0 && static_cast<size_t>(got) <= escapes, "count within the '%' and '+'");
  vCheck(after.size() <= before.size(), "decoding never lengthens the text");
  int want_count = 0;
  const std::string want = sModel(before.c_str(), &want_count);
  vCheck(got == want_count, "escape count matches the model");
  vCheck(after == want, "decoded text matches the model");
  if (escapes == 0) {
    bool ascii = true;
    for (unsigned char c : before) ascii = ascii && c < 0x80;
    if (ascii) vCheck(after == before, "plain ASCII without escapes is unchanged");
  }
  return 0;
}
