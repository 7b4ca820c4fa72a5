// Walks every URL of the real-world list through cLcpUrl and cLcpParse and
// checks the invariants every walk must keep.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "urlkeys/lcp.h"

namespace {

std::vector<std::string> LoadUrls() {
  std::vector<std::string> urls;
  std::ifstream in(URLKEYS_TEST_DATA_DIR "/urls-top.txt");
  std::string line;
  while (std::getline(in, line)) urls.push_back(line);
  return urls;
}

const std::vector<std::string>& Urls() {
  static const std::vector<std::string> urls = LoadUrls();
  return urls;
}

bool IsSuffix(const std::string& s, const std::string& of) {
  return s.size() <= of.size() && of.compare(of.size() - s.size(), s.size(), s) == 0;
}

bool IsPrefix(const std::string& s, const std::string& of) {
  return s.size() <= of.size() && of.compare(0, s.size(), s) == 0;
}

TEST(LcpCorpus, ListIsThere) { ASSERT_GT(Urls().size(), 48000u); }

// The walk ends within strlen + 4 calls; each candidate is a suffix of the
// host or a prefix of the member URL, and never longer than the one before.
TEST(LcpCorpus, UrlWalks) {
  size_t candidates = 0;
  for (const std::string& url : Urls()) {
    cLcpUrl lcp(url.c_str());
    const std::string host = lcp.sGetAuth();
    const std::string member = lcp.sGetBasicUrl();
    const size_t bound = url.size() + 4;
    size_t calls = 0;
    size_t previous = member.size();
    for (;;) {
      ASSERT_LT(calls, bound) << url;
      ++calls;
      const char* c = lcp.sGetNextLcp();
      if (c == nullptr) break;
      const std::string cand = c;
      ++candidates;
      ASSERT_TRUE(IsSuffix(cand, host) || IsPrefix(cand, member))
          << url << " gave '" << cand << "'";
      ASSERT_LE(cand.size(), previous) << url << " gave '" << cand << "'";
      previous = cand.size();
    }
  }
  EXPECT_GT(candidates, Urls().size());
}

// Counts stay within 0..20; nGetLcp returns 1 exactly count times, then 0,
// and later calls return 0 with an empty text. Candidates never grow.
TEST(LcpCorpus, ParseWalks) {
  size_t with_candidates = 0;
  for (const std::string& url : Urls()) {
    const size_t size = url.size() + 1;
    std::unique_ptr<char[]> text(new char[size]);
    std::memcpy(text.get(), url.c_str(), size);
    std::unique_ptr<char[]> dst(new char[size]);
    for (int limit : {20, 3}) {
      std::memcpy(text.get(), url.c_str(), size);
      int count = -1;
      cLcpParse lcp(text.get(), limit, count);
      ASSERT_GE(count, 0) << url;
      ASSERT_LE(count, limit) << url;
      if (limit == 20 && count > 0) ++with_candidates;
      size_t previous = size;
      for (int i = 0; i < count; ++i) {
        ASSERT_EQ(lcp.nGetLcp(text.get(), dst.get()), 1) << url << " call " << i;
        const size_t len = std::strlen(dst.get());
        ASSERT_LE(len, previous) << url << " call " << i;
        previous = len;
      }
      ASSERT_EQ(lcp.nGetLcp(text.get(), dst.get()), 0) << url;  // copies the TLD text
      for (int i = 0; i < 2; ++i) {
        dst[0] = '#';
        ASSERT_EQ(lcp.nGetLcp(text.get(), dst.get()), 0) << url;
        ASSERT_EQ(dst[0], '\0') << url;
      }
    }
  }
  EXPECT_GT(with_candidates, Urls().size() / 2);
}

}  // namespace
