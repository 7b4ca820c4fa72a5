// Tests of the LCP candidates: the iterator cLcpUrl and the element list
// cLcpParse, through the exported interface.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "urlkeys/lcp.h"

namespace {

// A writable copy of exactly strlen + 1 bytes, so ASan sees any access past the NUL.
std::vector<char> Exact(const std::string& s) { return {s.c_str(), s.c_str() + s.size() + 1}; }

// Runs `ops` on a cLcpUrl of `url`: 'w' walks to the end (at most strlen + 4
// calls), 'n' takes one step, 'r' vReset, 's' vSetMemberUrl, 'b' sGetBasicUrl.
std::string RunUrl(const char* url, const char* ops) {
  std::vector<char> text = Exact(url != nullptr ? url : "");
  cLcpUrl lcp(url != nullptr ? text.data() : nullptr);
  std::string out;
  for (const char* op = ops; *op != '\0'; ++op) {
    size_t steps = *op == 'w' ? std::strlen(lcp.sGetBasicUrl()) + 4 : *op == 'n' ? 1 : 0;
    for (const char* c = ""; steps > 0 && c != nullptr; --steps) {
      c = lcp.sGetNextLcp();
      out += c == nullptr ? "END " : "'" + std::string(c) + "' ";
    }
    if (*op == 'r' || *op == 's') *op == 'r' ? lcp.vReset() : lcp.vSetMemberUrl();
    if (*op == 'b') out += "b:" + std::string(lcp.sGetBasicUrl()) + " ";
  }
  return out.empty() ? out : out.substr(0, out.size() - 1);
}

TEST(LcpUrl, Runs) {
  const struct { const char *url, *ops, *result; } rows[] = {
      {"http://a.b.example.co.uk/x/y?q=1", "w", "'a.b.example.co.uk/x/y' 'a.b.example.co.uk/x' "
       "'a.b.example.co.uk' 'b.example.co.uk' 'example.co.uk' END"},  // path, then labels
      {"HTTP://u:p@WWW.Example.COM:80/P?q", "w", "'example.com/P' 'example.com' END"},  // folded
      {"http://10.1.2.3/a/b", "w", "'10.1.2.3/a/b' '10.1.2.3/a' '10.1.2.3' END"},  // numeric whole
      {"http://intranet.corp/", "w", "'intranet.corp' 'corp' END"},  // no '.' left ends it
      {"http://example.com./", "wrn", "'example.com.' 'com.' '' END 'example.com.'"},  // reset
      {nullptr, "w", "'' END"},                                        // null read as empty
      {"http://www.example.com/a/b", "nnbnnba", "'example.com/a/b' 'example.com/a' "
       "b:example.com/a 'example.com' END b:example.com"},  // cut path shows
      {"http://x.parliament.nz,school.nz/", "w", "'x.parliament.nz,school.nz' END"},  // comma: 13
      {"http://b.abcdefghijklmn,com/", "w",
       "'b.abcdefghijklmn,com' 'abcdefghijklmn,com' END"},  // comma after 14: no entry
      {"http://www.example.com/a/", "wrnnsnn", "'example.com/a/' 'example.com/a' 'example.com' "
       "END 'example.com/a/' 'example.com/a' 'example.com/a' 'example.com'"},  // known end kept
  };
  for (const auto& row : rows)
    EXPECT_EQ(RunUrl(row.url, row.ops), row.result) << (row.url ? row.url : "(null)");
}

TEST(LcpUrl, OverLongFieldsAreCut) {
  cLcpUrl lcp("http://example.com/");
  const std::string host(ZU_HOSTNAME_SIZE - 1, 'h'), path(ZU_PATH_SIZE - 1, 'p');
  std::memcpy(lcp.oUrl.hostname, host.c_str(), host.size() + 1);  // both fields full
  std::memcpy(lcp.oUrl.path, path.c_str(), path.size() + 1);
  lcp.vReset();  // the member URL is cut at 4095 characters
  EXPECT_EQ(lcp.sGetNextLcp(), host + "/" + path.substr(0, 4095 - host.size() - 1));
  EXPECT_EQ(lcp.sGetNextLcp(), host);
}

// Constructs on an exact copy of `text` and renders "count: a | b -> tld"
// then [GetAuth][GetTld1]; " !reset" when vReset does not repeat the walk.
// `after` gets the caller's text as the constructor left it.
std::string RunParse(const std::string& text, int limit, bool from_start,
                     std::string* after = nullptr) {
  std::vector<char> in = Exact(text), dst(in.size());
  int count = -1;
  cLcpParse lcp(in.data(), limit, count);
  const std::string auth = (lcp.GetAuth(nullptr, dst.data()), dst.data());
  const std::string tld1 = (lcp.GetTld1(nullptr, dst.data()), dst.data());
  const char* src = from_start || auth.empty() ? in.data() : std::strstr(in.data(), auth.c_str());
  std::string walks[2];
  for (std::string& walk : walks) {
    walk = std::to_string(count) + ":";
    for (int i = 0; i <= count + 1; ++i) {
      const bool more = lcp.nGetLcp(src, dst.data()) != 0;
      if (more || count > 0 || dst[0] != '\0')
        walk += (!more ? " -> " : i == 0 ? " " : " | ") + std::string(dst.data());
      if (!more) break;
    }
    lcp.vReset();
  }
  if (after != nullptr) *after = in.data();
  return walks[0] + (walks[1] == walks[0] ? "" : " !reset") + " [" + auth + "][" + tld1 + "]";
}

TEST(LcpParse, Walks) {
  const struct { const char* text; int limit; bool from_start; const char* result; } rows[] = {
      {"a.b.example.co.uk/x/y/z.html", 4, false, "4: a.b.example.co.uk/x | a.b.example.co.uk | "
       "b.example.co.uk | example.co.uk -> co.uk [a.b.example.co.uk][example.co.uk]"},  // limit
      {"a.b.example.co.uk/x", 1, false, "1: co.uk -> uk [uk][co.uk]"},  // stops before 2nd test
      {"a.b.example.co.uk/x", -3, false, "0: [uk][]"},                  // negative limit
      {"http://www.example.com/a/b/", 10, true, "3: http://www.example.com/a/b | "
       "http://www.example.com/a | example.com -> com [example.com][example.com]"},  // src kept
      {"co.uk", 10, false, "1: co.uk -> uk [co.uk][co.uk]"},  // whole host never tested
      {"Example.COM", 10, false, "0: [COM][]"},               // no case folding
      {"z.p.d.aj", 10, false, "3: z.p.d.aj | p.d.aj | d.aj -> aj [z.p.d.aj][d.aj]"},  // 3rd: none
      {"www.a.com//x", 10, true, "3: www.a.com//x | www.a.com/ | a.com -> com [a.com][a.com]"},
  };
  for (const auto& row : rows)
    EXPECT_EQ(RunParse(row.text, row.limit, row.from_start), row.result) << row.text;
  int count = -1;
  cLcpParse none(nullptr, 10, count);
  EXPECT_EQ(count, 0);
}

TEST(LcpParse, BoundariesAndRewrites) {
  std::string path30 = "a.example.co.uk", chain = "a.com/%";
  for (int i = 1; i <= 30; ++i) path30 += "/s" + std::to_string(i);
  for (int i = 0; i < 2040; ++i) chain += "25";
  const std::string long_ok = "a.com/%41" + std::string(4095 - 9, 'x');
  const struct { std::string text, walk_start, after; int limit; } rows[] = {  // "=": untouched
      {"x." + std::string(251, 'b') + ".com", "2:", "=", 10},  // last two labels 255: tested
      {"x." + std::string(252, 'b') + ".com", "0:", "=", 10},  // 256: refused
      {path30, "20: " + path30.substr(0, path30.find("/s19")) + " |", "=", 100},  // 20 of 22 kept
      {long_ok, "2: a.com/A", "a.com/A" + long_ok.substr(9), 10},  // 4095 characters
      {long_ok + "x", "0:", "=", 10},                              // 4096: refused, untouched
      {"example.com//", "2:", "example.com/", 10},                 // one '/' removed only
      {"%2541.com/%25252541", "2: A.com/A", "A.com/A", 10},        // nested escapes
      {"a.com/x%00y/", "2: a.com/x", "a.com/x", 10},  // decoded NUL ends the text
      {chain + "41", "2: a.com/A", "a.com/A", 10},    // worst nesting, 4089 characters
  };
  for (const auto& row : rows) {
    std::string after;
    EXPECT_EQ(RunParse(row.text, row.limit, false, &after).substr(0, row.walk_start.size()),
              row.walk_start) << row.text.substr(0, 60);
    EXPECT_EQ(after, row.after == "=" ? row.text : row.after) << row.text.substr(0, 60);
  }
}

TEST(LcpParse, BoundedCopiesStayInside) {
  const struct { int size; const char* path; } rows[] = {  // "a.com/xyz" cut to `size`
      {0, "#"}, {1, ""}, {6, "a.com"}, {10, "a.com/xyz"}};
  for (const auto& row : rows) {
    std::vector<char> in = Exact("a.com/xyz");
    std::string dst(row.size + 7u, '#');
    int count = 0;
    cLcpParse lcp(in.data(), 10, count);
    EXPECT_EQ(lcp.nGetLcp(in.data(), &dst[0], row.size), 1);  // the walk moves on regardless
    EXPECT_EQ(dst.substr(0, strnlen(dst.c_str(), row.size + 1u)), row.path) << row.size;
    EXPECT_EQ(dst.substr(row.size + 1u), "######") << row.size;
  }
}

TEST(LcpParse, PrintAllCutsLinesToTheRoomGiven) {
  std::vector<char> in = Exact("a.b.com/x/y"), dst(6);
  int count = 0;
  cLcpParse lcp(in.data(), 4, count);
  testing::internal::CaptureStdout();
  EXPECT_EQ(lcp.PrintAll(in.data(), dst.data(), 6), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "LCP found 5 elements : 3 sub 2 path \n4: a.b.c  (LCP LIMIT) \n3: a.b.c \n"
            "2: a.b.c \n1: b.com \n0: com  (TLD) \n");
}

}  // namespace
