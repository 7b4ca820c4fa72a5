// Tests of the TLD tests through the exported interface: the list test
// bIsTLD, the key test bIsTLD2 and the host test bCheckTLD.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "urlkeys/tld.h"

#include "support.h"

namespace {

using urlkeys::test::Exact;

// The text with its NUL in a block of exactly that size, so that the address
// sanitizer catches a read past the end.

// The key test on every name of two lower-case letters, each inside a
// longer text: only six are refused.
TEST(TldTests, TwoLetterNames) {
  std::string refused;
  char span[3] = {'a', 'a', '.'};
  for (span[0] = 'a'; span[0] <= 'z'; ++span[0])
    for (span[1] = 'a'; span[1] <= 'z'; ++span[1])
      if (!bIsTLD2(span, 2)) refused += std::string(span, 2) + ' ';
  EXPECT_EQ(refused, "hb hc pb pc xb xc ");
}

struct Row {
  std::string name;
  bool list, key, host;
};

// Each name through the list test, the key test on its whole length, and the
// host test on the name itself; then key-test lengths out of range.
TEST(TldTests, ListKeyAndHost) {
  const Row rows[] = {
      {"com.aiv", true, true, false},        // odd entry kept; aiv alone is no entry
      {"com.ai", false, true, true},         // shares its key with com.sa; ai is an entry
      {"parliament.nz", true, false, true},  // longest entry; over 10 for the key test
      {"parliament", false, true, false},    // 10 characters, keyed by the first 8
      {"com ", false, true, false},          // trailing blank: its bits already in the key of com
      {"xn--p1ai", true, false, false},      // any xn-- name; the key test has no such rule
      {"", false, false, false},             // empty
      {"xn--" + std::string(252, 'a'), true, false, false},   // 256 characters
      {"xn--" + std::string(253, 'a'), false, false, false},  // 257: over the list-test limit
      {std::string(5000, 'a') + ".com", false, false, true},  // hosts of any length
      // Commas: a run of consecutive entries matches, nothing else does.
      {"com,org", true, false, false},
      {"org,com", false, false, false},                       // entries out of order
      {",com", false, false, false},                          // comma first
      {"com,", false, false, false},                          // comma last
      {"x,co.uk", false, false, true},                        // first piece no entry
      {"parliament.nz,school.nz", true, false, true},         // longest entry, then its neighbour
      {"abcdefghijklmn,com", false, false, false},            // comma just past the longest entry
      {std::string(200, 'a') + ",com", false, false, false},  // a late comma in a long name
      {"com," + std::string(200, 'x'), false, false, false},  // an early comma in a long name
      {"com,org,net,biz,edu,gov,info", true, false, false},   // a long run
  };
  for (const Row& row : rows) {
    std::vector<char> t = Exact(row.name);
    EXPECT_EQ(bIsTLD(t.data()), row.list) << row.name.substr(0, 20);
    EXPECT_EQ(bIsTLD2(t.data(), static_cast<int>(row.name.size())), row.key)
        << row.name.substr(0, 20);
    EXPECT_EQ(bCheckTLD(t.data()), row.host) << row.name.substr(0, 20);
  }
  // Lengths outside 1-10 are refused without reading the name.
  for (int len : {0, -1, -2147483647 - 1, 11, 2147483647})
    EXPECT_FALSE(bIsTLD2(nullptr, len)) << len;
}

// The builder warns only about names over 16 characters; the longest
// built-in name has 13, so building prints nothing, however often it runs.
TEST(TldTests, BuildingPrintsNothing) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(ZuCreateTldHashTable(), 0);
  EXPECT_EQ(ZuCreateTldHashTable(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  char com[] = "com";
  EXPECT_TRUE(bIsTLD2(com, 3));
}

// Runs of entries whose only comma among the first 14 bytes (the longest
// entry and one more) lies in one place: the list test finds that comma with
// word-wide loads (bytes 0-7 and 6-13 of a long name, 0-7 and 8-12 of a
// short one), so every position must be seen by one of them.
TEST(TldTests, CommaInEachWord) {
  const Row rows[] = {
      {"co.hu,erotica.hu", true, false, true},       // comma at 5, the next past 14
      {"pp.se,press.se", true, false, true},         // comma at 5, 14 characters
      {"hotel.lk,ltd.lk", true, false, true},        // comma at 8
      {"health.vn,info.vn", true, false, true},      // comma at 9
      {"erotica.hu,erotika.hu", true, false, true},  // comma at 10
      {"konyvelo.hu,lakas.hu", true, false, true},   // comma at 11
      {"press.se,s.se", true, false, true},          // 13 characters, comma at 8
      {"hotel.lk,info.vn", false, false, true},      // comma at 8, entries not neighbours
      {"pp.se,erotica.hu", false, false, true},      // comma at 5, entries not neighbours
  };
  for (const Row& row : rows) {
    std::vector<char> t = Exact(row.name);
    EXPECT_EQ(bIsTLD(t.data()), row.list) << row.name;
    EXPECT_EQ(bIsTLD2(t.data(), static_cast<int>(row.name.size())), row.key) << row.name;
    EXPECT_EQ(bCheckTLD(t.data()), row.host) << row.name;
  }
}

}  // namespace
