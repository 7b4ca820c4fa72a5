// Tests of the host and path steps: sLcpDomain, sLcpPath and the
// bParseDomain diagnostic (bReverseDomain is left to its fuzz target).
#include "urlkeys/domain.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

#include "support.h"

namespace {

using urlkeys::test::Exact;

// Exactly strlen+1 bytes on the heap, so a read past the NUL shows under ASan.

// A domain result points into the host itself, a path result into a per-thread
// buffer; null: fails.
TEST(Domain, DomainAndPathSteps) {
  const struct {
    bool path;
    std::string text;
    char sep;
    int n;
    const char* result;
    bool more;
  } rows[] = {
      {false, "a.example.co.uk", '.', 2, "co.uk", false},  // 'co.uk' is a TLD
      {false, "a.example.co.uk", '.', INT_MIN, "example.co.uk",
       true},                                                    // n below 1 counts as 1; no TLD
      {false, "a.example.co.uk", '.', INT_MAX, nullptr, false},  // stops at the end of the text
      {false, "x.ingatlan.hu", '.', 1, "ingatlan.hu",
       true},                                     // 11 characters: the key test refuses it
      {false, "a.b.c", '\0', 1, nullptr, false},  // a NUL separator finds nothing
      {true, "/a/b/", '/', 0, "/a/b", true},      // trailing separator: only it goes
      {true, "/x/" + std::string(4092, 'y'), '/', 0, "/x", true},  // 4095: longest that fits
      {true, "/x/" + std::string(4093, 'y'), '/', 0, "/x",
       true},  // 4096: its first 4095 characters
      {true, "/x/" + std::string(4092, 'y') + "/z", '/', 0, "/x",
       true},                                                  // the cut goes through a segment
      {true, std::string(5000, 'y'), '/', 0, nullptr, false},  // no '/' in the first 4095
  };
  for (const auto& row : rows) {
    std::vector<char> buf = Exact(row.text);
    bool more = !row.more;  // must be written on every call
    const char* got = row.path ? sLcpPath(buf.data(), row.sep, &more)
                               : sLcpDomain(buf.data(), row.sep, row.n, &more);
    EXPECT_STREQ(got, row.result) << row.text.substr(0, 20) << " n=" << row.n;
    if (!row.path && got) {
      EXPECT_EQ(got, buf.data() + row.text.rfind(row.result));
    }
    EXPECT_EQ(more, row.more) << row.text.substr(0, 20) << " n=" << row.n;
  }
}

TEST(ParseDomain, PrintsIndentationAndCutsLongLabels) {
  const struct {
    std::string domain;
    size_t spaces;
  } rows[] = {
      // 3 * L * (L - 1) / 2 for L labels
      {"a..b", 9},                                               // empty labels count
      {std::string(256, 'a') + "." + std::string(256, 'b'), 3},  // labels over capacity: cut
      {std::string(127, 'a') + "." + std::string(128, 'b'), 3},  // pair of 256: cut
  };
  for (const auto& row : rows) {
    std::vector<char> buf = Exact(row.domain);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(bParseDomain(buf.data(), 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(row.spaces, ' '))
        << row.domain.size();
  }
}

}  // namespace
