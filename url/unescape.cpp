// Percent-decoding of URL text in place: %XX escapes, '+' to a space, and
// UTF-8 sequences folded to the low byte of their code point.
#include "urlkeys/unescape.h"

#include <climits>
#include <cstddef>
#include <cstdint>

namespace {

// Value of one "hexadecimal" character of an escape. Never fails: bytes of
// 0x80 and above count by their low seven bits, and characters that are not
// hexadecimal digits still give a value ('g' 0, 'z' 3, '%' 14).
inline unsigned nNibble(unsigned char ch) {
  unsigned c = ch & 0x7Fu;
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
  return (c - 87u) & 0x0Fu;
}

// Bytes that decode to themselves whatever comes before or after them:
// all but NUL, '%', '+' and the bytes of 0x80 and above.
constexpr struct PlainTable {
  bool yes[256] = {};
  constexpr PlainTable() {
    for (int c = 1; c < 0x80; ++c) yes[c] = (c != '%' && c != '+');
  }
} kPlain;

}  // namespace

int zuUrlUnescape(char* text) {
  if (text == nullptr) return 0;
  unsigned char* s = reinterpret_cast<unsigned char*>(text);

  // Leading bytes that decode to themselves need no rewrite.
  size_t in = 0;
  while (kPlain.yes[s[in]]) ++in;

  // Every step reads at least one byte and writes at most one, so `out`
  // never passes `in` and the text can be rewritten where it lies.
  size_t out = in;
  size_t escapes = 0;
  int pending = 0;     // continuation bytes still expected; 0: no sequence open
  uint32_t code = 0;   // code point being assembled (only its low byte is kept)

  while (s[in] != 0) {
    unsigned c = s[in];
    if (c == '%') {
      if (s[in + 1] == 0 || s[in + 2] == 0) {
        // A '%' among the last two characters ends the decoded text here; the
        // walk goes on (a later '+' still counts) but its output is cut off.
        s[out++] = 0;
        ++in;
        continue;
      }
      ++escapes;
      c = 16 * nNibble(s[in + 1]) + nNibble(s[in + 2]);
      in += 3;
    } else if (c == '+') {
      ++escapes;
      s[out++] = ' ';
      ++in;
      continue;
    } else {
      ++in;
    }

    if ((c & 0xC0u) == 0x80u) {
      // A continuation byte with no sequence open is dropped.
      if (pending > 0) {
        code = (code << 6) | (c & 0x3Fu);
        if (--pending == 0) s[out++] = static_cast<unsigned char>(code & 0xFFu);
      }
    } else if (c < 0x80u) {
      s[out++] = static_cast<unsigned char>(c);  // leaves an open sequence open
    } else if (c < 0xE0u) {
      code = c & 0x1Fu;
      pending = 1;
    } else if (c < 0xF0u) {
      code = c & 0x0Fu;
      pending = 2;
    } else if (c < 0xF8u) {
      code = c & 0x07u;
      pending = 3;
    } else if (c < 0xFCu) {
      code = c & 0x03u;
      pending = 4;
    } else {
      code = c & 0x01u;
      pending = 5;
    }
  }
  s[out] = 0;
  return escapes > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(escapes);
}
