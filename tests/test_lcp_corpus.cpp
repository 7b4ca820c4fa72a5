// Walks every URL of the real-world list through cLcpUrl and cLcpParse and
// checks the invariants every walk must keep.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "urlkeys/lcp.h"

namespace {

std::vector<std::string> LoadUrls() {
  std::vector<std::string> urls;
  std::ifstream in(URLKEYS_TEST_DATA_DIR "/urls-top.txt");
  for (std::string line; std::getline(in, line);) urls.push_back(line);
  return urls;
}

// The walk ends within strlen + 4 calls; each candidate is a suffix of the
// host or a prefix of the member URL.
TEST(LcpCorpus, UrlWalks) {
  const std::vector<std::string> urls = LoadUrls();
  ASSERT_GT(urls.size(), 48000u);
  for (const std::string& url : urls) {
    cLcpUrl lcp(url.c_str());
    const std::string host = lcp.sGetAuth(), member = lcp.sGetBasicUrl();
    size_t calls = 0;
    for (const char* c; (c = lcp.sGetNextLcp()) != nullptr;) {
      ASSERT_LT(++calls, url.size() + 4) << url;
      const std::string cand = c;
      const bool suffix = cand.size() <= host.size() &&
                          host.compare(host.size() - cand.size(), cand.size(), cand) == 0;
      ASSERT_TRUE(suffix || member.compare(0, cand.size(), cand) == 0) << url << " gave " << c;
    }
  }
}

// Counts stay within 0..limit; nGetLcp returns 1 exactly count times, then 0.
TEST(LcpCorpus, ParseWalks) {
  for (const std::string& url : LoadUrls()) {
    std::vector<char> text(url.c_str(), url.c_str() + url.size() + 1), dst(text.size());
    int count = -1;
    cLcpParse lcp(text.data(), 20, count);
    ASSERT_TRUE(count >= 0 && count <= 20) << url;
    for (int i = 0; i < count; ++i) ASSERT_EQ(lcp.nGetLcp(text.data(), dst.data()), 1) << url;
    ASSERT_EQ(lcp.nGetLcp(text.data(), dst.data()), 0) << url;  // copies the TLD text
  }
}

}  // namespace
