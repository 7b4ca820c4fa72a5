// Tests of the TLD tests through the exported interface: the list test
// bIsTLD, the key test bIsTLD2, the host test bCheckTLD and
// ZuCreateTldHashTable, including first use from many threads.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "urlkeys/tld.h"

namespace {

// The text in a heap block of exactly strlen + 1 bytes, so that a read past
// its NUL is caught by the address sanitizer.
class ExactText {
 public:
  explicit ExactText(const std::string& s) : size_(s.size()), buf_(new char[s.size() + 1]) {
    std::memcpy(buf_.get(), s.c_str(), s.size() + 1);
  }
  char* get() { return buf_.get(); }
  int size() const { return static_cast<int>(size_); }

 private:
  std::size_t size_;
  std::unique_ptr<char[]> buf_;
};

bool ListTest(const std::string& name) {
  ExactText t(name);
  return bIsTLD(t.get());
}

// The key test on the whole name, passed with its exact length.
bool KeyTest(const std::string& name) {
  ExactText t(name);
  return bIsTLD2(t.get(), t.size());
}

// 2-letter names and the table names, for the thread test; the first test
// of this program, so that its threads are the first users of the table.
std::vector<std::string> ThreadNames() {
  std::vector<std::string> names = {"com", "co.uk", "parliament", "ingatlan", "com.ai", "fr.ca", "xx.ca", "example"};
  for (char a = 'a'; a <= 'z'; ++a) {
    for (char b = 'a'; b <= 'z'; ++b) names.push_back(std::string{a, b});
  }
  return names;
}

TEST(TldThreads, FirstUseFromEightThreads) {
  const std::vector<std::string> names = ThreadNames();
  constexpr int kThreads = 8;
  std::vector<std::vector<char>> results(kThreads);
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      waiting.fetch_sub(1);
      while (waiting.load() > 0) {
      }
      if (t % 3 == 0) ZuCreateTldHashTable();  // builds racing with lookups
      for (int round = 0; round < 20; ++round) {
        for (std::size_t i = 0; i < names.size(); ++i) {
          // Spans inside a longer text, as the LCP list passes them.
          std::string text = names[i] + ".rest";
          const bool hit = bIsTLD2(text.data(), static_cast<int>(names[i].size()));
          if (round == 0) {
            results[t].push_back(hit ? 1 : 0);
          } else if (results[t][i] != (hit ? 1 : 0)) {
            results[t][i] = 2;  // changed between rounds
          }
        }
      }
    });
  }
  for (std::thread& th : threads) th.join();
  std::vector<char> want;
  for (const std::string& n : names) want.push_back(KeyTest(n) ? 1 : 0);
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(results[t], want) << "thread " << t;
  EXPECT_EQ(want.size(), 8u + 676u);
}

// Each name with the answer of the list test and of the key test (on its
// whole length).
struct BothRow {
  const char* name;
  bool list;
  bool key;
};

const BothRow kBothRows[] = {
    {"com", true, true},                // generic name
    {"COM", false, false},              // no case folding in either test
    {"Com", false, false},              // no case folding
    {"co.uk", true, true},              // two-label entry
    {"uk", true, true},                 // country code
    {"com.aiv", true, true},            // odd but listed
    {"xxx", true, true},                // last entry
    {"ac", true, true},                 // first country code
    {"zw", true, true},                 // last country code
    {"gov.ma", true, true},             // last two-label entry
    {"com.ai", false, true},            // shares its key with com.sa, com.im, com.jm
    {"fr.ca", false, true},             // shares its key with nb.ca
    {"aa", false, true},                // shares its key with ae
    {"zz", false, true},                // shares a key too
    {"xn", false, true},                // shares a key; no xn-- rule
    {"hb", false, false},               // one of the six refused two-letter names
    {"xx.ca", false, false},            // no entry shares its key
    {"go.uk", false, false},            // no entry shares its key
    {"example", false, false},          // plain word
    {"example.com", false, false},      // a host, not a suffix; 11 is too long for keys
    {"", false, false},                 // empty name
    {"a", false, false},                // no one-letter entry
    {"parliament.nz", true, false},     // longest entry; over 10 for the key test
    {"ingatlan.hu", true, false},       // 11 characters
    {"parliament", false, true},        // 10 characters, keyed by its first 8
    {"ingatlan", false, true},          // the first 8 of an entry
    {"konyvelo", false, true},          // the first 8 of an entry
    {"xn--", true, false},              // the whole xn-- prefix
    {"xn-", false, false},              // too short for the prefix
    {"XN--P1AI", false, false},         // the prefix is lower case
    {"xn--p1ai", true, false},          // internationalised name
    {"xn--test.example", true, false},  // anything after xn--
    {"com,org", true, false},           // consecutive entries
    {"org,com", false, false},          // entries in the wrong order
    {"com,org,net,biz", true, false},   // four consecutive entries
    {"co,co.uk,cr", true, false},       // consecutive around co.uk
    {"gov.ma,xxx", true, false},        // the last two entries
    {"xxx,", false, false},             // empty piece at the end
    {",com", false, false},             // empty piece at the start
    {"com,,org", false, false},         // empty piece in the middle
    {",", false, false},                // a lone comma
    {"ca,us", false, false},            // two entries, not neighbours
    {"com,or", false, false},           // second piece only a prefix of the next entry
    {"co.u", false, false},             // prefix of an entry
    {"o.uk", false, false},             // suffix of an entry
    {"com.", false, false},             // entry with a dot after it
    {".com", false, false},             // entry with a dot before it
    {"com ", false, true},              // trailing blank; its bits are already in the key of com
};

TEST(TldTests, ListAndKey) {
  for (const BothRow& row : kBothRows) {
    EXPECT_EQ(ListTest(row.name), row.list) << "bIsTLD('" << row.name << "')";
    EXPECT_EQ(KeyTest(row.name), row.key) << "bIsTLD2('" << row.name << "')";
  }
}

// The key test on spans: exactly min(len, 8) bytes are read, in a block of
// just that many bytes with no NUL.
TEST(TldTests, KeySpans) {
  struct Row {
    const char* text;
    int len;
    bool expected;
  };
  static const Row kRows[] = {
      {"com.au", 3, true},          // only 'com' read
      {"com.au", 6, true},          // whole name
      {"parliament", 10, true},     // 10 allowed, 8 read
      {"parliament", 9, true},      // 9 read as 8
      {"parliamentx", 11, false},   // 11 refused
      {"ingatlan", 8, true},        // exactly 8
      {"co.ukxyz", 5, true},        // span of co.uk
      {"com", 0, false},            // empty span
      {"com", -1, false},           // negative length
      {"com", -2147483647 - 1, false},  // most negative length
      {"example", 7, false},        // not a key
      {"xn--p1ai", 8, false},       // no xn-- rule
  };
  for (const Row& row : kRows) {
    const int readable = row.len < 0 ? 0 : (row.len > 8 ? 8 : row.len);
    std::unique_ptr<char[]> span(new char[readable > 0 ? readable : 1]);
    std::memcpy(span.get(), row.text, static_cast<std::size_t>(readable));
    char* p = span.get();
    if (readable == 0) p = span.get() + 1;  // one past the end: nothing may be read
    EXPECT_EQ(bIsTLD2(p, row.len), row.expected) << "bIsTLD2('" << row.text << "', " << row.len << ")";
  }
  // Over-long lengths are refused without reading the name.
  EXPECT_FALSE(bIsTLD2(nullptr, 11));
  EXPECT_FALSE(bIsTLD2(nullptr, 2147483647));
}

// The 256-character limit of the list test comes before everything else.
TEST(TldTests, ListLengthLimit) {
  // Entries 1 to 74 joined by commas make exactly 256 characters.
  const std::string first74 =
      "com,org,net,biz,edu,gov,info,int,mil,name,aero,cat,coop,jobs,mobi,museum,pro,travel,ac,ad,ae,af,ag,ai,"
      "al,am,an,ao,aq,ar,as,asia,at,au,aw,ax,az,ba,bb,bd,be,bf,bg,bh,bi,bj,bm,bn,bo,br,bs,bt,bv,bw,by,bz,ca,"
      "cc,cd,cf,cg,ch,ci,ck,cl,cm,cn,co,co.uk,cr,cs,cu,cv,cx";
  ASSERT_EQ(first74.size(), 256u);
  struct Row {
    std::string name;
    bool expected;
  };
  const Row rows[] = {
      {"xn--" + std::string(252, 'a'), true},     // 256 characters
      {"xn--" + std::string(253, 'a'), false},    // 257 characters
      {"xn--" + std::string(5000, 'a'), false},   // far too long
      {first74, true},                            // 256, consecutive entries
      {first74 + ",cy", false},                   // 259, consecutive entries
      {"cx" + std::string(300, ','), false},      // commas past the limit
      {std::string(300, 'c'), false},             // long plain name
      {std::string(14, 'a'), false},              // longer than any entry
  };
  for (const Row& row : rows) {
    EXPECT_EQ(ListTest(row.name), row.expected) << "bIsTLD of " << row.name.size() << " characters";
  }
}

TEST(TldTests, HostTest) {
  struct Row {
    std::string host;
    bool expected;
  };
  const Row rows[] = {
      {"a.example.com", true},          // last label com
      {"example.co.uk", true},          // last label uk
      {"com", false},                   // no dot
      {"example.", false},              // empty last label
      {"host.xn--p1ai", true},          // xn-- label
      {"example.aiv", false},           // aiv is only part of com.aiv
      {".com", true},                   // dot first
      {"a.b.COM", false},               // upper case
      {"x.com,org", true},              // the label spells two entries
      {"", false},                      // empty
      {std::string(5000, 'a') + ".com", true},               // host far over 1023
      {std::string(5000, 'a') + "." + std::string(257, 'a'), false},  // label over 256
      {"a." + std::string(3000, 'b'), false},                // long last label
  };
  for (const Row& row : rows) {
    ExactText t(row.host);
    EXPECT_EQ(bCheckTLD(t.get()), row.expected) << "bCheckTLD('" << row.host.substr(0, 40) << "')";
  }
}

TEST(TldTests, CreateTableIsQuietAndRepeatable) {
  for (int i = 0; i < 3; ++i) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(ZuCreateTldHashTable(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  }
  EXPECT_TRUE(KeyTest("com"));
}

}  // namespace
