// Tests of percent-decoding: escapes, '+', UTF-8 folding, the cut at a '%'
// near the end, long texts, and a decoded byte on either side of a 16-byte
// block boundary.
#include <gtest/gtest.h>

#include "url_render.h"
#include "urlkeys/unescape.h"

using namespace urlkeys::test;

namespace {

const struct {
  const char* in;
  const char* out;  // decoded text up to its first NUL, with \xHH escapes
  int escapes;
} kRows[] = {
    {"%zz", "3", 1},                        // non-hex characters still give nibbles
    {"%\xB4\xB1", "A", 1},                  // high bytes as hex digits use their low seven bits
    {"%2B%2541", "+%41", 2},                // one level per call: no re-decoding
    {"ab%4", "ab", 0},                      // '%' among the last two characters ends the text
    {"ab%+", "ab", 1},                      // the cut survives a later '+', which still counts
    {"%C3%A9+\xC3\xA9", "\\xe9 \\xe9", 3},  // escaped and raw UTF-8 fold to Latin-1
    {"\xF0\x9F\x98\x81\xFC\x80\x80\x80\x80\x81z", "\\x01\\x01z",
     0},                      // U+1F601 and a six-byte form keep their low byte
    {"%80\xA9x%e9", "x", 2},  // stray continuations and a lone lead byte vanish
    {"\xC3"
     "A\xA9",
     "A\\xe9", 0},  // an ASCII byte leaves the sequence open
    {"\xC3\xC3\xA9\xA9", "\\xe9",
     0},                   // a new lead replaces the open one; extra continuation dropped
    {"\xC4\x80x", "", 0},  // U+0100 folds to NUL
    {"%00xyz", "", 1},
    // Escape "digits" below '0' (and other non-hex bytes) count as (c - 87) & 15:
    // '!' 10, ' ' 9, '%' 14, '.' 7, '/' 8, ',' 5, a tab 2, 0x01 6, '"' 11.
    {"%4!%4 %4%%4.%4/", "JINGH", 5},
    {"%.!%./%.,%4\t", "zxuB", 4},
    {"%6\x01%7\"", "j{", 2},
};

TEST(Unescape, Table) {
  for (const auto& row : kRows) {
    auto text = Exact(row.in);
    EXPECT_EQ(zuUrlUnescape(text.data()), row.escapes) << Escaped(row.in, strlen(row.in));
    EXPECT_EQ(Escaped(text.data(), strlen(text.data())), row.out)
        << Escaped(row.in, strlen(row.in));
  }
  EXPECT_EQ(zuUrlUnescape(nullptr), 0);
}

// Texts beyond any field capacity are decoded whole; the first decoded byte
// falls on either side of a 16-byte block boundary.
TEST(Unescape, LongTextsAndBlockBoundaries) {
  for (size_t before : {0, 15, 16, 17, 31, 10000}) {
    const std::string plain(before, 'p');
    auto text = Exact(plain + "%C3%A9+" + plain + "\xE2\x82%");
    EXPECT_EQ(zuUrlUnescape(text.data()), 3) << before;
    EXPECT_EQ(std::string(text.data()), plain + "\xE9 " + plain) << before;
  }
}

}  // namespace
