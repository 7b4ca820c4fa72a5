// Tests of the built-in TLD table itself: names, comma string, key table.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "tld/tld_table.h"
#include "urlkeys/tld.h"

namespace {

using namespace urlkeys::tld;

TEST(TldTable, CountCommasAndPositions) {
  EXPECT_EQ(kNameCount, 1149);
  EXPECT_EQ(g_apNames[kNameCount], nullptr);
  EXPECT_EQ(std::strlen(g_sCommas), 6865u);
  EXPECT_EQ(kCommaLength, 6865u);
  EXPECT_EQ(std::string(g_sCommas, 5) + std::string(g_sCommas + kCommaLength - 5), ",com,,xxx,");
  EXPECT_EQ(kLongestName, 13u);  // parliament.nz
  struct Row {
    const char* name;
    int position;
  };  // position from 1
  static const Row kRows[] = {
      {"com", 1},              // first entry
      {"com.aiv", 308},        // odd entry, kept
      {"parliament.nz", 874},  // longest name
      {"xxx", 1149},           // last entry
  };
  for (const Row& row : kRows) EXPECT_STREQ(g_apNames[row.position - 1], row.name) << row.position;
}

// Every entry passes the list test, and the key test too unless it is over
// 10 characters.
TEST(TldTable, EveryEntryAndKeys) {
  std::set<std::uint64_t> keys;
  for (int i = 0; i < kNameCount; ++i) {
    std::string n = g_apNames[i];
    EXPECT_TRUE(bIsTLD(n.data())) << n;
    keys.insert(nTldKey(n.c_str(), static_cast<int>(std::min<std::size_t>(n.size(), 8))));
    EXPECT_EQ(bIsTLD2(n.data(), static_cast<int>(n.size())), n.size() <= 10) << n;
  }
  EXPECT_EQ(nTldKey("com", 3), 0xB4EFu);     // even bytes shifted left by 2, odd bytes added
  EXPECT_EQ(nTldKey("\xff\xff", 2), 0xFFu);  // high bits of an even byte lost
  EXPECT_EQ(keys.size(), 566u);
}

}  // namespace
