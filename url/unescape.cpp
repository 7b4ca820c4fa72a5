// Percent-decoding of URL text in place: %XX escapes, '+' to a space, and
// UTF-8 sequences folded to the low byte of their code point.
#include "urlkeys/unescape.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/ascii.h"
#include "url/text_scan.h"

namespace {

// Bytes that decode to themselves whatever comes before or after them:
// all but NUL, '%', '+' and the bytes of 0x80 and above.
constexpr struct PlainTable {
  bool yes[256] = {};
  constexpr PlainTable() {
    for (int c = 1; c < 0x80; ++c) yes[c] = (c != '%' && c != '+');
  }
} kPlain;

// Folds UTF-8 sequences of decoded bytes to the low byte of their code
// point. A lead byte opens a sequence (the old one, if any, is dropped), its
// continuation bytes fill in the code point, and the last one gives the low
// byte. A continuation byte with no sequence open is dropped; an ASCII byte
// is given as it is and leaves an open sequence open.
struct Utf8Fold {
  int pending = 0;    // continuation bytes still expected; 0: no sequence open
  uint32_t code = 0;  // code point being assembled (only its low byte is kept)

  // Takes the decoded byte c, writing the byte it gives, if any, at s[out++].
  void vTake(unsigned c, unsigned char* s, size_t& out) {
    if ((c & 0xC0u) == 0x80u) {
      if (pending > 0) {
        code = (code << 6) | (c & 0x3Fu);
        if (--pending == 0) s[out++] = static_cast<unsigned char>(code & 0xFFu);
      }
    } else if (c < 0x80u) {
      s[out++] = static_cast<unsigned char>(c);
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
};

}  // namespace

namespace urlkeys::url {

size_t nUnescapeFrom(char* text, size_t n, size_t first, size_t* escapes) {
  if (first >= n) return n;
  unsigned char* s = reinterpret_cast<unsigned char*>(text);
  size_t in = first;
  // Every step reads at least one byte and writes at most one, so `out`
  // never passes `in` and the text can be rewritten where it lies; the
  // bytes from `in` on are still the input.
  size_t out = in;
  size_t count = 0;
  Utf8Fold fold;

  while (in < n) {
    unsigned c = s[in];
    if (c == '%') {
      if (in + 2 >= n) {
        // A '%' among the last two characters ends the decoded text here; the
        // walk goes on (a later '+' still counts) but its output is cut off.
        s[out++] = 0;
        ++in;
        continue;
      }
      ++count;
      c = 16 * urlkeys::common::nHexValue(s[in + 1]) + urlkeys::common::nHexValue(s[in + 2]);
      in += 3;
    } else if (c == '+') {
      ++count;
      s[out++] = ' ';
      ++in;
      continue;
    } else if (c < 0x80u) {
      // A plain byte, and the run of plain bytes after it, decode to
      // themselves; they leave an open sequence open.
      s[out++] = static_cast<unsigned char>(c);
      ++in;
      if (in < n && kPlain.yes[s[in]]) {
        const size_t end = static_cast<size_t>(pFindEscape(text, text + in, text + n) - text);
        memmove(s + out, s + in, end - in);
        out += end - in;
        in = end;
      }
      continue;
    } else {
      ++in;
    }
    fold.vTake(c, s, out);
  }
  s[out] = 0;
  *escapes += count;
  // The output may hold NULs of its own (%00, a '%' near the end, a code
  // point whose low byte is 0); the text ends at the first. The bytes before
  // `first` hold none.
  return first + strnlen(text + first, out - first);
}

}  // namespace urlkeys::url

int zuUrlUnescape(char* text) {
  if (text == nullptr) return 0;
  // Most texts hold nothing to decode: the first byte that needs the
  // decoder is found a block at a time, and everything before it stays.
  const size_t n = strlen(text);
  const size_t first = static_cast<size_t>(urlkeys::url::pFindEscape(text, text, text + n) - text);
  size_t escapes = 0;
  urlkeys::url::nUnescapeFrom(text, n, first, &escapes);
  return escapes > static_cast<size_t>(INT_MAX) ? INT_MAX : static_cast<int>(escapes);
}
