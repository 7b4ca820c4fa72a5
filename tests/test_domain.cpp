// Tests of the host and path steps: bReverseDomain, sLcpDomain, sLcpPath and
// the bParseDomain diagnostic.
#include "urlkeys/domain.h"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

// Exactly strlen+1 bytes on the heap, so a read past the NUL shows under ASan.
std::vector<char> vExact(const std::string& s) { return std::vector<char>(s.c_str(), s.c_str() + s.size() + 1); }

TEST(ReverseDomain, EmptyLabelsMoveLikeAnyOther) {
  std::vector<char> buf = vExact("ab..c.");
  EXPECT_EQ(bReverseDomain(buf.data()), 0);
  EXPECT_STREQ(buf.data(), ".c..ab");  // labels of unequal length, empty ones included
}

TEST(LcpDomain, Table) {
  const struct { const char* domain; char sep; int n; int offset; bool more; } rows[] = {  // offset -1: null
      {"a.example.co.uk", '.', 2, 10, false},   // 'co.uk' is a TLD
      {"a.example.co.uk", '.', INT_MIN, 2, true},   // n below 1 counts as 1; 'example.co.uk' no TLD
      {"a.example.co.uk", '.', INT_MAX, -1, false},  // stops at the end of the text
      {"x.ingatlan.hu", '.', 1, 2, true},       // 11 characters: the key test refuses it
      {"a.b.c", '\0', 1, -1, false},            // a NUL separator finds nothing
  };
  for (const auto& row : rows) {
    std::vector<char> buf = vExact(row.domain);
    bool more = !row.more;  // must be written on every call
    EXPECT_EQ(sLcpDomain(buf.data(), row.sep, row.n, &more), row.offset < 0 ? nullptr : buf.data() + row.offset);
    EXPECT_EQ(more, row.more) << row.domain << " n=" << row.n;
  }
}

TEST(LcpPath, Table) {
  const struct { std::string path; char sep; const char* result; bool more; } rows[] = {  // null: fails
      {"/a/b/", '/', "/a/b", true},   // trailing separator: only it goes
      {"/a/b", '\0', nullptr, false},  // a NUL separator finds nothing
      {"/x/" + std::string(4092, 'y'), '/', "/x", true},  // 4095: longest that fits
      {"/x/" + std::string(4093, 'y'), '/', nullptr, false},  // 4096: refused, not cut
  };
  for (const auto& row : rows) {
    std::vector<char> buf = vExact(row.path);
    bool more = !row.more;
    EXPECT_STREQ(sLcpPath(buf.data(), row.sep, &more), row.result) << row.path.size();
    EXPECT_EQ(more, row.more) << row.path.size();
  }
}

TEST(ParseDomain, PrintsIndentationAndCutsLongLabels) {
  const struct { std::string domain; size_t spaces; } rows[] = {  // 3 * L * (L - 1) / 2 for L labels
      {"a..b", 9},  // empty labels count
      {std::string(256, 'a') + "." + std::string(256, 'b'), 3},  // labels over capacity: cut
      {std::string(127, 'a') + "." + std::string(128, 'b'), 3},  // pair of 256: cut
  };
  for (const auto& row : rows) {
    std::vector<char> buf = vExact(row.domain);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(bParseDomain(buf.data(), 0));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(row.spaces, ' ')) << row.domain.size();
  }
}

}  // namespace
