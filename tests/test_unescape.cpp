// Tests of percent-decoding: escapes, '+', UTF-8 folding, the cut at a '%'
// near the end, and texts of any length.
#include <gtest/gtest.h>

#include <cstring>
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

}  // namespace
