// Tests of the LCP candidates: the iterator cLcpUrl and the element list
// cLcpParse, through the exported interface.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support.h"
#include "urlkeys/lcp.h"

namespace {

using urlkeys::test::Exact;

// What a row does with its cLcpUrl, in order.
enum Step {
  kWalk,          // sGetNextLcp up to and including the first null
  kNext,          // one sGetNextLcp
  kReset,         // vReset
  kSetMemberUrl,  // vSetMemberUrl
};

// Runs `steps` on a cLcpUrl of `url` (null: a null pointer) and renders each
// candidate as 'text', a null as END.
std::string RunUrl(const char* url, const std::vector<Step>& steps) {
  std::vector<char> text = Exact(url != nullptr ? url : "");
  cLcpUrl lcp(url != nullptr ? text.data() : nullptr);
  std::string out;
  auto next = [&] {
    const char* c = lcp.sGetNextLcp();
    out += c == nullptr ? " END" : " '" + std::string(c) + "'";
    return c != nullptr;
  };
  for (Step step : steps) {
    switch (step) {
      case kWalk:  // bounded: each call shortens the candidate
        for (size_t n = std::strlen(lcp.sGetBasicUrl()) + 4; n > 0 && next(); --n) {
        }
        break;
      case kNext: next(); break;
      case kReset: lcp.vReset(); break;
      case kSetMemberUrl: lcp.vSetMemberUrl(); break;
    }
  }
  return out.empty() ? out : out.substr(1);
}

TEST(LcpUrl, Runs) {
  const struct {
    const char* url;
    std::vector<Step> steps;
    const char* result;
  } rows[] = {
      {"http://example.com./",
       {kWalk, kReset, kNext},
       "'example.com.' 'com.' '' END 'example.com.'"},  // a reset starts again
      {nullptr, {kWalk}, "'' END"},                     // null read as empty
      {"http://www.example.com/a/",
       {kWalk, kReset, kNext, kNext, kSetMemberUrl, kNext, kNext},
       "'example.com/a/' 'example.com/a' 'example.com' END 'example.com/a/' 'example.com/a' "
       "'example.com/a' 'example.com'"},  // vSetMemberUrl keeps the walk where it was
  };
  for (const auto& row : rows)
    EXPECT_EQ(RunUrl(row.url, row.steps), row.result) << (row.url ? row.url : "(null)");
}

TEST(LcpUrl, OverLongFieldsAreCut) {
  cLcpUrl lcp("http://example.com/");
  const std::string host(ZU_HOSTNAME_SIZE - 1, 'h'), path(ZU_PATH_SIZE - 1, 'p');
  std::memcpy(lcp.oUrl.hostname, host.c_str(), host.size() + 1);  // both fields full
  std::memcpy(lcp.oUrl.path, path.c_str(), path.size() + 1);
  lcp.vReset();  // the member URL is cut at 4095 characters
  EXPECT_EQ(lcp.sGetNextLcp(),
            host + "/" + path.substr(0, LCP_MEMBER_URL_SIZE - 1 - host.size() - 1));
  EXPECT_EQ(lcp.sGetNextLcp(), host);
}

// Constructs on an exact copy of `text` and renders "count: a | b -> tld
// [GetAuth][GetTld1]"; `after` gets the caller's text as the constructor left it.
std::string RunParse(const std::string& text, int limit, std::string* after) {
  std::vector<char> in = Exact(text), dst(in.size());
  int count = -1;
  cLcpParse lcp(in.data(), limit, count);
  const std::string auth = (lcp.GetAuth(nullptr, dst.data()), dst.data());
  const std::string tld1 = (lcp.GetTld1(nullptr, dst.data()), dst.data());
  std::string walk = std::to_string(count) + ":";
  for (int i = 0, more = 1; more != 0 && i <= count + 1; ++i) {
    more = lcp.nGetLcp(in.data(), dst.data());
    if (more != 0 || count > 0 || dst[0] != '\0')
      walk += (more == 0 ? " -> " : i == 0 ? " " : " | ") + std::string(dst.data());
  }
  *after = in.data();
  return walk + " [" + auth + "][" + tld1 + "]";
}

TEST(LcpParse, Walks) {
  std::string path30 = "a.example.co.uk", chain = "a.com/%";
  for (int i = 1; i <= 30; ++i) path30 += "/s" + std::to_string(i);
  for (int i = 0; i < 2040; ++i) chain += "25";
  const std::string long_ok = "a.com/%41" + std::string(LCP_TEXT_SIZE - 1 - 9, 'x');
  // `walk` is the start of the rendered walk; `after` the text left ("=": untouched).
  const struct {
    std::string text, walk, after;
    int limit;
  } rows[] = {
      {"a.b.example.co.uk/x/y/z.html",
       "4: a.b.example.co.uk/x | a.b.example.co.uk | b.example."
       "co.uk | example.co.uk -> co.uk [a.b.example.co.uk][example.co.uk]",
       "=", 4},                                                       // limit
      {"a.b.example.co.uk/x", "1: co.uk -> uk [uk][co.uk]", "=", 1},  // stops before 2nd test
      {"a.b.example.co.uk/x", "0: [uk][]", "=", -3},                  // negative limit
      {"http://www.example.com/a/b/",
       "3: http://www.example.com/a/b | http://www.example.com/a"
       " | example.com -> com [example.com][example.com]",
       "http://www.example.com/a/b", 10},                      // from src
      {"Example.COM", "0: [COM][]", "=", 10},                  // no case folding
      {"x." + std::string(251, 'b') + ".com", "2:", "=", 10},  // last two labels 255: tested
      {"x." + std::string(252, 'b') + ".com", "0:", "=", 10},  // 256: refused
      {path30, "20: " + path30.substr(0, path30.find("/s19")) + " |", "=", 100},  // 20 of 22 kept
      {long_ok, "2: a.com/A", "a.com/A" + long_ok.substr(9), 10},                 // 4095 characters
      {long_ok + "x", "2: a.com/A", "a.com/A" + long_ok.substr(9), 10},  // 4096: cut at 4095
      {"example.com//", "2:", "example.com/", 10},                       // one '/' removed only
      {"a.com/x%00y/", "2: a.com/x", "a.com/x", 10},  // decoded NUL ends the text
      {chain + "41", "2: a.com/A", "a.com/A", 10},    // worst nesting, 4089 characters
  };
  for (const auto& row : rows) {
    std::string after, walk = RunParse(row.text, row.limit, &after);
    EXPECT_EQ(walk.substr(0, row.walk.size()) + " => " + after.substr(0, 60),
              row.walk + " => " + (row.after == "=" ? row.text : row.after).substr(0, 60));
  }
  int count = -1;
  cLcpParse none(nullptr, 10, count);
  EXPECT_EQ(count, 0);
}

// The candidates without a '/' (host suffixes) of each class's full walk.
std::vector<std::string> HostsOfUrl(const std::string& url) {
  std::vector<char> text = Exact(url);
  cLcpUrl lcp(text.data());
  std::vector<std::string> hosts;
  for (const char* c = lcp.sGetNextLcp(); c != nullptr; c = lcp.sGetNextLcp())
    if (std::strchr(c, '/') == nullptr) hosts.emplace_back(c);
  return hosts;
}

std::vector<std::string> HostsOfParse(const std::string& url) {
  std::vector<char> text = Exact(url), dst(text.size());
  int count = 0;
  cLcpParse lcp(text.data(), 20, count);
  std::vector<std::string> hosts;
  for (int i = 0; i < count; ++i) {
    lcp.nGetLcp(text.data(), dst.data());
    if (std::strchr(dst.data(), '/') == nullptr) hosts.emplace_back(dst.data());
  }
  return hosts;
}

TEST(Lcp, PaddingDoesNotHideTheHost) {
  std::string segments;
  while (segments.size() < 5000) segments += "/seg";
  const struct {
    std::string url, padding;
  } rows[] = {
      {"http://evil.example.com/login?q=", std::string(5000, 'A')},  // long query
      {"http://evil.example.com/login", segments},                   // long path
      {"evil.example.co.uk/%41", std::string(5000, 'x')},            // escapes, no scheme
      {"http://www.evil.example.com/", std::string(5000, '/')},
  };
  for (const auto& row : rows) {
    const std::vector<std::string> url = HostsOfUrl(row.url), parse = HostsOfParse(row.url);
    EXPECT_FALSE(url.empty()) << row.url;
    EXPECT_FALSE(parse.empty()) << row.url;
    EXPECT_EQ(HostsOfUrl(row.url + row.padding), url) << row.url;
    EXPECT_EQ(HostsOfParse(row.url + row.padding), parse) << row.url;
  }
}

TEST(LcpParse, BoundedCopiesAndPrintAll) {
  std::vector<char> in = Exact("a.b.com/x/y"), dst(6);
  int count = 0;
  cLcpParse lcp(in.data(), 4, count);
  testing::internal::CaptureStdout();  // PrintAll cuts each line to the room given
  EXPECT_EQ(lcp.PrintAll(in.data(), dst.data(), 6), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "LCP found 5 elements : 3 sub 2 path \n4: a.b.c  (LCP LIMIT) \n3: a.b.c \n"
            "2: a.b.c \n1: b.com \n0: com  (TLD) \n");
  std::string guard = "##";
  EXPECT_EQ(lcp.nGetLcp(in.data(), &guard[0], 0), 1);  // size 0 writes nothing, the walk moves on
  EXPECT_EQ(guard, "##");
}

}  // namespace
