// Tests of the built-in TLD table itself (names, comma string, key table)
// and of the list and key tests against plain reimplementations over it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tld/tld_table.h"
#include "urlkeys/tld.h"

namespace {

using namespace urlkeys::tld;

std::vector<std::string> Names() {
  std::vector<std::string> names;
  for (int i = 0; g_apNames[i] != nullptr; ++i) names.emplace_back(g_apNames[i]);
  return names;
}

TEST(TldTable, CountAndCommaString) {
  EXPECT_EQ(Names().size(), 1149u);
  EXPECT_EQ(kNameCount, 1149);
  EXPECT_EQ(g_apNames[kNameCount], nullptr);
  EXPECT_EQ(std::strlen(g_sCommas), 6865u);
  EXPECT_EQ(kCommaLength, 6865u);
  EXPECT_EQ(std::string(g_sCommas, 5), ",com,");
  EXPECT_EQ(std::string(g_sCommas + kCommaLength - 5), ",xxx,");

  // Splitting at the commas gives an empty piece, the names, an empty piece.
  std::vector<std::string> pieces;
  std::string piece;
  for (const char* p = g_sCommas; *p != '\0'; ++p) {
    if (*p == ',') {
      pieces.push_back(piece);
      piece.clear();
    } else {
      piece += *p;
    }
  }
  pieces.push_back(piece);
  std::vector<std::string> want = Names();
  want.insert(want.begin(), "");
  want.push_back("");
  EXPECT_EQ(pieces, want);
}

TEST(TldTable, Positions) {
  struct Row {
    const char* name;
    int position;  // from 1
  };
  static const Row kRows[] = {
      {"com", 1},             // first generic name
      {"travel", 18},         // last generic name
      {"ac", 19},             // first country code
      {"co", 68},             // just before co.uk
      {"co.uk", 69},          // between co and cr
      {"cr", 70},             // just after co.uk
      {"zw", 279},            // last one-label run entry
      {"com.eg", 280},        // first two-label name
      {"com.aiv", 308},       // odd entry, kept
      {"bc.ca", 313},         // inside the .ca run
      {"parliament.nz", 874}, // longest name
      {"gov.ma", 1148},       // last two-label name
      {"xxx", 1149},          // last entry
  };
  const std::vector<std::string> names = Names();
  for (const Row& row : kRows) {
    ASSERT_LT(row.position - 1, static_cast<int>(names.size()));
    EXPECT_EQ(names[row.position - 1], row.name) << "position " << row.position;
  }
}

TEST(TldTable, Content) {
  const std::vector<std::string> names = Names();
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << "duplicates";
  int one_label = 0, two_labels = 0, over8 = 0, over10 = 0;
  std::size_t longest = 0;
  std::set<std::string> with_digits;
  for (const std::string& n : names) {
    ASSERT_FALSE(n.empty());
    const auto dots = std::count(n.begin(), n.end(), '.');
    one_label += dots == 0;
    two_labels += dots == 1;
    over8 += n.size() > 8;
    over10 += n.size() > 10;
    longest = std::max(longest, n.size());
    for (char c : n) {
      ASSERT_TRUE((c >= 'a' && c <= 'z') || c == '.' || (c >= '0' && c <= '2')) << n;
      if (c >= '0' && c <= '9') with_digits.insert(n);
    }
  }
  EXPECT_EQ(one_label, 279);
  EXPECT_EQ(two_labels, 870);
  EXPECT_EQ(over8, 15);
  EXPECT_EQ(over10, 3);
  EXPECT_EQ(longest, 13u);
  EXPECT_EQ(kLongestName, 13u);
  EXPECT_EQ(with_digits, (std::set<std::string>{"g12.br", "k12.il", "k12.tr", "2000.hu"}));
  // Entries 19 to 279 are in ascending byte order.
  EXPECT_TRUE(std::is_sorted(names.begin() + 18, names.begin() + 279));
}

// The key as the byte formula gives it, written independently of nTldKey.
std::uint64_t ModelKey(const std::string& name) {
  unsigned char b[8] = {};
  for (std::size_t i = 0; i < name.size() && i < 8; ++i) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    if (i % 2 == 0) {
      b[i / 2] |= static_cast<unsigned char>(c << 2);
    } else {
      b[i / 2] |= c;
    }
  }
  std::uint64_t key = 0;
  for (int k = 7; k >= 0; --k) key = key * 256 + b[k];
  return key;
}

TEST(TldKeys, Examples) {
  struct Row {
    const char* name;
    std::uint64_t key;
  };
  static const Row kRows[] = {
      {"com", 0xB4EF},       // worked example
      {"co.uk", 0xACFDEF},   // five characters, three bytes
      {"ca", 0xED},          // shares its key with ai
      {"ai", 0xED},          // shares its key with ca
      {"", 0},               // empty name
      {"\xff\xff", 0xFF},    // high bits of an even byte lost
      {"abcdefgh", 0xFCF6ECE6},  // all four bytes
  };
  for (const Row& row : kRows) {
    const int m = static_cast<int>(std::min<std::size_t>(std::strlen(row.name), 8));
    EXPECT_EQ(nTldKey(row.name, m), row.key) << row.name;
    EXPECT_EQ(ModelKey(row.name), row.key) << row.name;
  }
}

TEST(TldKeys, SortedTable) {
  std::vector<std::uint64_t> want;
  for (const std::string& n : Names()) want.push_back(ModelKey(n));
  std::sort(want.begin(), want.end());
  EXPECT_EQ(std::vector<std::uint64_t>(g_anKeys.begin(), g_anKeys.end()), want);
  EXPECT_EQ(std::set<std::uint64_t>(want.begin(), want.end()).size(), 566u);
}

// Every entry passes the list test; the key test passes all but the three
// over 10 characters.
TEST(TldLookups, EveryEntry) {
  int key_refused = 0;
  for (const std::string& n : Names()) {
    std::string copy = n;
    EXPECT_TRUE(bIsTLD(copy.data())) << n;
    if (n.find('.') == std::string::npos) {
      std::string host = "host." + n;
      EXPECT_TRUE(bCheckTLD(host.data())) << host;
    }
    if (!bIsTLD2(copy.data(), static_cast<int>(n.size()))) {
      ++key_refused;
      EXPECT_GT(n.size(), 10u) << n;
    }
  }
  EXPECT_EQ(key_refused, 3);
}

TEST(TldLookups, TwoLetterKeys) {
  std::vector<std::string> refused;
  for (char a = 'a'; a <= 'z'; ++a) {
    for (char b = 'a'; b <= 'z'; ++b) {
      char name[2] = {a, b};
      if (!bIsTLD2(name, 2)) refused.push_back(std::string(name, 2));
    }
  }
  EXPECT_EQ(refused, (std::vector<std::string>{"hb", "hc", "pb", "pc", "xb", "xc"}));
}

// The key test against a plain set of the model keys, for every name of up
// to three characters over a-z, '.' and '-', and every prefix of every
// entry.
TEST(TldLookups, KeyTestAgreesWithModel) {
  std::set<std::uint64_t> keys;
  for (const std::string& n : Names()) keys.insert(ModelKey(n));
  auto check = [&](const std::string& name) {
    const bool want = !name.empty() && name.size() <= 10 && keys.count(ModelKey(name)) != 0;
    std::string copy = name;
    ASSERT_EQ(bIsTLD2(copy.data(), static_cast<int>(name.size())), want) << "bIsTLD2('" << name << "')";
  };
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyz.-";
  for (char a : alphabet) {
    check(std::string(1, a));
    for (char b : alphabet) {
      check(std::string{a, b});
      for (char c : alphabet) check(std::string{a, b, c});
    }
  }
  for (const std::string& n : Names()) {
    for (std::size_t len = 0; len <= n.size(); ++len) check(n.substr(0, len));
  }
}

// The list test as a plain search for "," name "," in the comma string.
bool ModelList(const std::string& name) {
  if (name.size() > 256) return false;
  if (std::strstr(g_sCommas, ("," + name + ",").c_str()) != nullptr) return true;
  return name.compare(0, 4, "xn--") == 0;
}

TEST(TldLookups, ListTestAgreesWithSearch) {
  auto check = [](const std::string& name) {
    std::string copy = name;
    ASSERT_EQ(bIsTLD(copy.data()), ModelList(name)) << "bIsTLD('" << name << "')";
  };
  // Every piece of the comma string up to 24 characters long: whole
  // entries, runs of entries, and pieces cut anywhere.
  for (std::size_t start = 0; start < kCommaLength; ++start) {
    for (std::size_t len = 0; len <= 24 && start + len <= kCommaLength; ++len) {
      check(std::string(g_sCommas + start, len));
    }
  }
  // Entries with one character changed, dropped or added, and pairs of
  // entries that are not neighbours.
  const std::vector<std::string> names = Names();
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string& n = names[i];
    for (std::size_t k = 0; k < n.size(); ++k) {
      std::string changed = n;
      changed[k] = static_cast<char>(changed[k] == 'z' ? 'a' : changed[k] + 1);
      check(changed);
      check(n.substr(0, k) + n.substr(k + 1));
    }
    check(n + "a");
    check("a" + n);
    check(n + "," + names[(i + 7) % names.size()]);
    check(names[(i + 1) % names.size()] + "," + n);
  }
}

// A copy of `s` in a heap block of exactly its size, without a NUL, so that
// the address sanitizer catches any read past the bytes a test may read.
std::unique_ptr<char[]> ExactBytes(const std::string& s) {
  std::unique_ptr<char[]> b(new char[s.size() == 0 ? 1 : s.size()]);
  std::memcpy(b.get(), s.data(), s.size());
  return b;
}

// The word packing the lookups use, against the byte-at-a-time form, for
// every length and for bytes of every value.
TEST(TldPacking, LoadsAgreeWithBytes) {
  std::mt19937 rng(7);
  for (int round = 0; round < 2000; ++round) {
    std::string bytes(8, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
    for (std::size_t m = 0; m <= 8; ++m) {
      const std::unique_ptr<char[]> exact = ExactBytes(bytes.substr(0, m));
      ASSERT_EQ(nPackUpTo8(exact.get(), m), nPackBytes(bytes.data(), m)) << "m " << m;
      ASSERT_EQ(nKeyOfWord(nPackUpTo8(exact.get(), m)), ModelKey(bytes.substr(0, m))) << "m " << m;
    }
  }
}

// Key-test rows the a-z model test does not reach: raw bytes, keys of 0.
TEST(TldLookups, KeyTestOddBytes) {
  struct Row {
    std::string name;
    int len;
    bool want;
  };
  const Row rows[] = {
      {"@", 1, false},                       // key 0 is no table key
      {std::string(2, '\0'), 2, false},      // NUL bytes, key 0
      {"\xC0\x80", 2, false},                // high bits of the even byte lost: key 0x80
      {"\xE3o\xAD", 3, true},                // same key as "com": 0xE3 * 4 wraps to 0x8C
      {"com", 3, true},                      // plain hit
      {"konyvelox", 9, true},                // judged by its first 8 bytes
      {"ingatlan.h", 10, true},              // 10 bytes, first 8 those of ingatlan.hu
      {"ingatlan.hu", 11, false},            // over 10
      {"com", -1, false},                    // negative length reads nothing
  };
  for (const Row& row : rows) {
    const std::size_t readable = row.len > 0 ? std::min<std::size_t>(row.len, 8) : 0;
    const std::unique_ptr<char[]> exact = ExactBytes(row.name.substr(0, readable));
    EXPECT_EQ(bIsTLD2(exact.get(), row.len), row.want) << "'" << row.name << "' len " << row.len;
    EXPECT_EQ(bIsKeyName(exact.get(), row.len), row.want) << "row '" << row.name << "'";
  }
}

// The list test on a span of known length, given exactly its bytes with no
// NUL after them, against the plain search: pieces of the comma string,
// runs with the first comma on either side of the longest-name boundary,
// and "xn--" names around the length limit.
TEST(TldLookups, ListTestOnSpans) {
  auto check = [](const std::string& name) {
    const std::unique_ptr<char[]> exact = ExactBytes(name);
    ASSERT_EQ(bIsListName(exact.get(), name.size()), ModelList(name)) << "span '" << name << "'";
  };
  for (std::size_t start = 0; start < kCommaLength; start += 3) {
    for (std::size_t len = 0; len <= 30 && start + len <= kCommaLength; ++len) {
      check(std::string(g_sCommas + start, len));
    }
  }
  const std::string rows[] = {
      "parliament.nz,school.nz",   // comma right after 13 characters: a run
      "parliament.nz,com",         // a run that is not in the table
      "parliamentx.nz,school.nz",  // first piece of 14 characters: no entry
      "aaaaaaaaaaaaa,",            // comma at index 13, piece unknown
      "aaaaaaaaaaaaaa,com",        // comma at index 14
      "com,org,net,biz,edu,gov,info,int,mil,name",  // a long run
      "xn--" + std::string(252, 'a'),               // 256: accepted
      "xn--" + std::string(253, 'a'),               // 257: refused
      "com,org," + std::string(249, 'a'),           // 257 with commas: refused
      "example.co.uk",                              // 13, no entry
      "b.example.co.uk",                            // 15, no comma
  };
  for (const std::string& name : rows) {
    check(name);
    std::string copy = name;
    EXPECT_EQ(bIsTLD(copy.data()), ModelList(name)) << name;
  }
}

}  // namespace
