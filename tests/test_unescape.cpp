// Tests of percent-decoding: escapes, '+', UTF-8 folding, the cut at a '%'
// near the end, texts of any length, and the block-wise skip over bytes that
// decode to themselves checked against a byte-by-byte model.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "url_render.h"
#include "urlkeys/unescape.h"

using urlkeys_test::Escaped;
using urlkeys_test::ExactCopy;

namespace {

struct Row {
  const char* in;
  const char* out;  // decoded text up to its first NUL, with \xHH escapes
  int escapes;
};

const Row kRows[] = {
    {"", "", 0},
    {"xyz", "xyz", 0},
    {"a+b", "a b", 1},
    {"%41%42", "AB", 2},
    {"%4a%4A", "JJ", 2},                  // both cases of hex digits
    {"%zz", "3", 1},                      // non-hex characters still give nibbles
    {"%g1", "\\x01", 1},
    {"%2B", "+", 1},                      // an escaped '+' is not a space
    {"ab%", "ab", 0},                     // '%' at the end
    {"ab%4", "ab", 0},                    // '%' with one character after it
    {"ab%+", "ab", 1},                    // the cut survives a later '+', which still counts
    {"ab%4x", "abA", 1},
    {"100%25", "100%", 1},
    {"%2541", "%41", 1},                  // one level per call
    {"%%41", "1", 1},                     // "%%4" is E4, a lead byte
    {"%2F%3F%23", "/?#", 3},
    {"%C3%A9", "\\xe9", 2},               // escaped UTF-8 folds to Latin-1
    {"\xC3\xA9", "\\xe9", 0},             // raw UTF-8 too
    {"caf%C3%A9+au+lait", "caf\\xe9 au lait", 4},
    {"%E2%82%AC", "\\xac", 3},            // U+20AC keeps its low byte
    {"\xF0\x9F\x98\x81x", "\\x01x", 0},   // U+1F601 keeps its low byte
    {"\xFC\x80\x80\x80\x80\x81z", "\\x01z", 0},  // six-byte form
    {"%e9", "", 1},                       // a lone escaped lead byte vanishes
    {"%80", "", 1},                       // a stray continuation byte vanishes
    {"\xA9xyz", "xyz", 0},
    {"\xC3" "A\xA9", "A\\xe9", 0},        // an ASCII byte leaves the sequence open
    {"\xC3\xC3\xA9", "\\xe9", 0},         // a new lead byte replaces the open one
    {"\xC3\xA9\xA9", "\\xe9", 0},         // a continuation after a complete sequence is dropped
    {"\xC4\x80x", "", 0},                 // U+0100 folds to NUL
    {"%00xyz", "", 1},
    {"a%C3", "a", 1},
    {"%\xB4\xB1", "A", 1},                // high bytes as hex digits use their low seven bits
};

TEST(Unescape, Table) {
  for (const Row& row : kRows) {
    auto text = ExactCopy(row.in);
    const int n = zuUrlUnescape(text.get());
    EXPECT_EQ(Escaped(text.get(), strlen(text.get())), row.out) << "input '" << Escaped(row.in, strlen(row.in)) << "'";
    EXPECT_EQ(n, row.escapes) << "input '" << Escaped(row.in, strlen(row.in)) << "'";
  }
  EXPECT_EQ(zuUrlUnescape(nullptr), 0);
}

// Texts far beyond 4095 characters are decoded whole, in place.
TEST(Unescape, LongTexts) {
  std::string in;
  std::string want;
  for (int i = 0; i < 2000; ++i) {
    in += "%41+b";
    want += "A b";
  }
  auto text = ExactCopy(in.c_str());
  EXPECT_EQ(zuUrlUnescape(text.get()), 4000);
  EXPECT_EQ(std::string(text.get()), want);

  const std::string plain(10000, 'p');
  text = ExactCopy((plain + "%C3%A9%").c_str());
  EXPECT_EQ(zuUrlUnescape(text.get()), 2);
  EXPECT_EQ(std::string(text.get()), plain + "\xE9");
}

// The decoder as a plain byte-by-byte walk into a separate buffer: the model
// the in-place, block-skipping decoder must agree with. Returns the decoded
// text up to its first NUL; *count receives the escapes decoded.
std::string ModelDecode(const std::string& in, int* count) {
  auto nibble = [](unsigned char ch) -> unsigned {
    unsigned c = ch & 0x7Fu;
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
    return (c - 87u) & 0x0Fu;
  };
  std::string out;
  int pending = -1;
  uint32_t code = 0;
  *count = 0;
  const size_t n = in.size();
  for (size_t i = 0; i < n;) {
    unsigned c = static_cast<unsigned char>(in[i]);
    if (c == '%') {
      if (i + 2 >= n) {  // among the last two characters
        out += '\0';
        ++i;
        continue;
      }
      ++*count;
      c = 16 * nibble(static_cast<unsigned char>(in[i + 1])) + nibble(static_cast<unsigned char>(in[i + 2]));
      i += 3;
    } else if (c == '+') {
      ++*count;
      out += ' ';
      ++i;
      continue;
    } else {
      ++i;
    }
    if ((c & 0xC0u) == 0x80u) {
      code = (code << 6) | (c & 0x3Fu);
      if (--pending == 0) out += static_cast<char>(code & 0xFFu);
    } else if (c < 0x80u) {
      out += static_cast<char>(c);
    } else {
      const int extra = c < 0xE0u ? 1 : c < 0xF0u ? 2 : c < 0xF8u ? 3 : c < 0xFCu ? 4 : 5;
      const unsigned keep[] = {0, 0x1F, 0x0F, 0x07, 0x03, 0x01};
      code = c & keep[extra];
      pending = extra;
    }
  }
  return out.substr(0, out.find('\0'));
}

// One escape, '+' or high byte after runs of plain bytes of every length
// from 0 to 40, so that it falls at every position of a 16-byte block, at
// the text's last positions and in the overlapping final block.
TEST(Unescape, FirstDecodedByteAtEveryOffset) {
  const struct {
    const char* special;
    const char* decoded;
    int escapes;
  } rows[] = {
      {"%41", "A", 1},
      {"%2B", "+", 1},            // the decoded byte is not decoded again
      {"+", " ", 1},
      {"\xC3\xA9", "\xE9", 0},  // raw UTF-8
      {"%C3%A9", "\xE9", 2},
      {"\x80", "", 0},           // a stray continuation byte disappears
      {"\xE2\x82", "", 0},       // an unfinished sequence too
  };
  for (const auto& row : rows) {
    for (size_t before = 0; before <= 40; ++before) {
      for (size_t after : {0, 1, 2, 15, 16, 17, 33}) {
        const std::string in = std::string(before, 'a') + row.special + std::string(after, 'b');
        auto text = ExactCopy(in.c_str());
        ASSERT_EQ(zuUrlUnescape(text.get()), row.escapes) << Escaped(in.c_str(), in.size());
        ASSERT_EQ(std::string(text.get()), std::string(before, 'a') + row.decoded + std::string(after, 'b'))
            << Escaped(in.c_str(), in.size());
      }
    }
  }
}

// Random texts over the bytes the decoder treats specially, with runs of
// plain bytes between them, against the model.
TEST(Unescape, AgreesWithTheByteByByteModel) {
  static const char kBytes[] = "%%%++aZ09fFg/ \x7F\x80\xA9\xBF\xC3\xC4\xE2\xF0\xF8\xFC\xFF";
  std::mt19937 rng(20240611);
  for (int round = 0; round < 20000; ++round) {
    std::string in;
    const int pieces = static_cast<int>(rng() % 12);
    for (int i = 0; i < pieces; ++i) {
      in.append(rng() % 4 == 0 ? rng() % 40 : rng() % 3, 'p');
      in += kBytes[rng() % (sizeof kBytes - 1)];
    }
    auto text = ExactCopy(in.c_str());
    const int n = zuUrlUnescape(text.get());
    int want_count = 0;
    const std::string want = ModelDecode(in, &want_count);
    ASSERT_EQ(Escaped(text.get(), strlen(text.get())), Escaped(want.c_str(), want.size()))
        << "input '" << Escaped(in.c_str(), in.size()) << "'";
    ASSERT_EQ(n, want_count) << "input '" << Escaped(in.c_str(), in.size()) << "'";
  }
}

}  // namespace
