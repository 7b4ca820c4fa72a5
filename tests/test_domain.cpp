// Tests of the host and path steps: bReverseDomain, sLcpDomain, sLcpPath and
// the bParseDomain diagnostic.
#include "urlkeys/domain.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace {

// A copy of `s` in a heap block of exactly strlen+1 bytes, so that a read
// past the terminator shows under the address sanitizer.
std::unique_ptr<char[]> pExact(const std::string& s) {
  std::unique_ptr<char[]> p(new char[s.size() + 1]);
  std::memcpy(p.get(), s.c_str(), s.size() + 1);
  return p;
}

// ---- bReverseDomain ----

struct ReverseRow {
  const char* name;
  const char* reversed;
};

const ReverseRow kReverse[] = {
    {"a.example.co.uk", "uk.co.example.a"},
    {"example.com", "com.example"},
    {"192.168.1.10", "10.1.168.192"},  // labels of unequal length
    {"localhost", "localhost"},        // one label: unchanged
    {"", ""},                          // empty name
    {"a.", ".a"},                      // empty last label moves to the front
    {".a", "a."},                      // empty first label moves to the end
    {".", "."},                        // two empty labels
    {"a..b", "b..a"},                  // empty middle label stays in the middle
    {"a...b", "b...a"},
    {"x..", "..x"},
    {"..x", "x.."},
    {"abc.de.f", "f.de.abc"},          // labels of 3, 2, 1 characters
    {"ab.c", "c.ab"},
};

TEST(ReverseDomain, Table) {
  for (const ReverseRow& row : kReverse) {
    auto buf = pExact(row.name);
    EXPECT_EQ(bReverseDomain(buf.get()), 0);
    EXPECT_STREQ(buf.get(), row.reversed) << "bReverseDomain('" << row.name << "')";
  }
}

TEST(ReverseDomain, TwiceGivesBackTheName) {
  std::string name;
  for (int i = 0; i < 500; ++i) name += std::string(static_cast<size_t>(i % 7), 'a' + i % 26) + ".";
  auto buf = pExact(name);
  bReverseDomain(buf.get());
  EXPECT_NE(name, buf.get());
  bReverseDomain(buf.get());
  EXPECT_EQ(name, buf.get());
}

// ---- sLcpDomain ----

struct DomainRow {
  const char* domain;
  char sep;
  int n;
  int offset;  // where the result points into domain; -1 for null
  bool more;
};

const DomainRow kLcpDomain[] = {
    {"a.example.co.uk", '.', 1, 2, true},     // 'example.co.uk': 13 characters, never a TLD
    {"a.example.co.uk", '.', 2, 10, false},   // 'co.uk' is a TLD
    {"a.example.co.uk", '.', 3, 13, false},   // 'uk': no dot left
    {"a.example.co.uk", '.', 4, -1, false},   // fewer dots than n
    {"a.example.co.uk", '.', 0, 2, true},     // n below 1 counts as 1
    {"a.example.co.uk", '.', -5, 2, true},
    {"a.example.co.uk", '.', INT_MIN, 2, true},
    {"a.example.co.uk", '.', INT_MAX, -1, false},  // stops at the end of the text
    {"example.", '.', 1, 8, false},           // empty rest at the end
    {"localhost", '.', 1, -1, false},         // no separator at all
    {"", '.', 1, -1, false},
    {".", '.', 1, 1, false},
    {"a..bcdefghijk", '.', 1, 2, true},       // rest of 11 starting with an empty label
    {"a..b", '.', 2, 3, false},               // second of two adjacent dots
    {"a.b.fr.ca", '.', 2, 4, false},          // 'fr.ca' shares its key with a TLD
    {"a.b.xx.ca", '.', 2, 4, true},           // 'xx.ca' does not
    {"news.example.com.au", '.', 2, 13, false},  // 'com.au'
    {"x.erotica.hu", '.', 1, 2, false},       // 10-character TLD: still tested
    {"x.ingatlan.hu", '.', 1, 2, true},       // 11 characters: the key test refuses it
    {"a/b/c", '/', 1, 2, true},               // any separator; the TLD test still applies
    {"a/b/c", '/', 2, 4, false},
    {"a.b.c", '\0', 1, -1, false},            // a NUL separator finds nothing
};

TEST(LcpDomain, Table) {
  for (const DomainRow& row : kLcpDomain) {
    auto buf = pExact(row.domain);
    bool more = !row.more;  // must be written on every call
    const char* got = sLcpDomain(buf.get(), row.sep, row.n, &more);
    const std::string call = std::string("sLcpDomain('") + row.domain + "', '" +
                             (row.sep ? std::string(1, row.sep) : "\\0") + "', " +
                             std::to_string(row.n) + ")";
    if (row.offset < 0) {
      EXPECT_EQ(got, nullptr) << call;
    } else {
      EXPECT_EQ(got, buf.get() + row.offset) << call;
    }
    EXPECT_EQ(more, row.more) << call;
    EXPECT_STREQ(buf.get(), row.domain) << call << " changed its argument";
  }
}

TEST(LcpDomain, LongRestStillHasMore) {
  const std::string domain = "x." + std::string(100000, 'a') + ".com";
  auto buf = pExact(domain);
  bool more = false;
  EXPECT_EQ(sLcpDomain(buf.get(), '.', 1, &more), buf.get() + 2);
  EXPECT_TRUE(more);
}

// ---- sLcpPath ----

struct PathRow {
  const char* path;
  char sep;
  const char* result;  // null: the call must fail
  bool more;
};

const PathRow kLcpPath[] = {
    {"/a/b/c", '/', "/a/b", true},
    {"/a/b/", '/', "/a/b", true},               // trailing separator: only it goes
    {"/a", '/', "", false},
    {"a/b", '/', "a", false},
    {"file", '/', nullptr, false},              // nothing to drop
    {"", '/', nullptr, false},
    {"example.com/x/y", '/', "example.com/x", true},
    {"/", '/', "", false},
    {"//", '/', "/", true},
    {"a.b.c", '.', "a.b", true},                // any separator
    {"/a/b", '\0', nullptr, false},             // a NUL separator finds nothing
};

TEST(LcpPath, Table) {
  for (const PathRow& row : kLcpPath) {
    auto buf = pExact(row.path);
    bool more = !row.more;
    const char* got = sLcpPath(buf.get(), row.sep, &more);
    const std::string call = std::string("sLcpPath('") + row.path + "')";
    if (row.result == nullptr) {
      EXPECT_EQ(got, nullptr) << call;
    } else {
      ASSERT_NE(got, nullptr) << call;
      EXPECT_STREQ(got, row.result) << call;
      EXPECT_NE(got, buf.get()) << call << " must return a copy";
    }
    EXPECT_EQ(more, row.more) << call;
    EXPECT_STREQ(buf.get(), row.path) << call << " changed its argument";
  }
}

struct PathLengthRow {
  size_t length;
  bool ok;
};

// Paths "/x/xxx..." of the given total length around the 4096-byte buffer.
const PathLengthRow kPathLengths[] = {
    {4094, true},
    {4095, true},     // longest path that fits with its NUL
    {4096, false},    // refused, not cut
    {4097, false},
    {1 << 20, false}, // refused without trouble
};

TEST(LcpPath, LengthLimit) {
  for (const PathLengthRow& row : kPathLengths) {
    const std::string path = "/x/" + std::string(row.length - 3, 'y');
    auto buf = pExact(path);
    bool more = true;
    const char* got = sLcpPath(buf.get(), '/', &more);
    if (row.ok) {
      ASSERT_NE(got, nullptr) << "length " << row.length;
      EXPECT_STREQ(got, "/x") << "length " << row.length;
      EXPECT_TRUE(more);
    } else {
      EXPECT_EQ(got, nullptr) << "length " << row.length;
      EXPECT_FALSE(more);
    }
  }
}

TEST(LcpPath, ThreadsDoNotShareTheBuffer) {
  bool more;
  const char* mine = sLcpPath("/main/thread/x", '/', &more);
  const char* theirs = nullptr;
  std::string seen;
  std::thread t([&] {
    bool m;
    theirs = sLcpPath("/other/thread/y", '/', &m);
    seen = theirs ? theirs : "(null)";
  });
  t.join();
  EXPECT_NE(mine, theirs);
  EXPECT_EQ(seen, "/other/thread");
  EXPECT_STREQ(mine, "/main/thread");
}

// ---- bParseDomain ----

struct ParseRow {
  std::string domain;
  size_t spaces;  // printed: 3 * L * (L - 1) / 2 for L labels
};

TEST(ParseDomain, PrintsIndentation) {
  const ParseRow rows[] = {
      {"example", 0},                   // one label: nothing
      {"", 0},
      {"a.b", 3},                       // one group
      {"a.b.c", 9},                     // 1 + 2 groups
      {".", 3},                         // two empty labels
      {"a..b", 9},                      // empty labels count
      {"a.b.c.d.e.f.g.h.i.j", 135},     // 45 groups
      {std::string(255, 'a') + "." + std::string(255, 'b'), 3},  // labels at capacity-1
      {std::string(256, 'a') + "." + std::string(256, 'b'), 3},  // labels over it: cut
      {std::string(5000, 'a') + "." + std::string(300, 'b') + "." + std::string(7000, 'c'), 9},
      {std::string(127, 'a') + "." + std::string(127, 'b'), 3},  // pair of exactly 255
      {std::string(127, 'a') + "." + std::string(128, 'b'), 3},  // pair of 256: cut
  };
  for (const ParseRow& row : rows) {
    auto buf = pExact(row.domain);
    testing::internal::CaptureStdout();
    const bool ok = bParseDomain(buf.get(), 0);
    std::fflush(stdout);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_TRUE(ok);
    EXPECT_EQ(out, std::string(row.spaces, ' ')) << "bParseDomain('" << row.domain.substr(0, 40) << "')";
  }
}

TEST(ParseDomain, ManyLabels) {
  std::string domain = "a";
  for (int i = 1; i < 2000; ++i) domain += ".a";  // 2000 labels
  auto buf = pExact(domain);
  testing::internal::CaptureStdout();
  bParseDomain(buf.get(), 7);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout().size(), size_t{3} * 2000 * 1999 / 2);
}

}  // namespace
