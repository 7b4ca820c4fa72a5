// Tests of cFindUrl: the cache and archive wrapper forms, which one wins,
// results kept across misses, and the host-length limit.
#include "urlkeys/findurl.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string kArchive = std::string("http://") + URLKEYS_ARCHIVE_HOST + "/web/";

TEST(FindUrl, Table) {
  const struct {
    std::string url;
    int form;
    std::string host;
  } rows[] = {
      // empty host: a miss
      {"search?q=cache:Ab12Cd:http://www.example.com/", 1,
       "http:"},  // the first ':' after the marker ends the key
      {kArchive + "1/http://a.example/?search?q=cache:K:c.example/", 1,
       "c.example"},  // the cache form wins
      {kArchive + "1/http://a.example/search?q=cache:nokey", 2,
       "a.example"},  // cache form fails, archive found
      {"search?q=cache:K:" + std::string(1023, 'h') + "/p", 1,
       std::string(1023, 'h')},  // longest host kept
      {kArchive + "1/http://" + std::string(1024, 'h') + "/p", 0,
       ""},  // too long: refused, not cut
  };
  for (const auto& row : rows) {
    std::vector<char> url(row.url.c_str(),
                          row.url.c_str() + row.url.size() + 1);  // no slack past the NUL
    cFindUrl f("search?q=cache:K:before/");                       // a miss keeps this earlier host
    EXPECT_EQ(f.nFindEmbeddedUrl(url.data()), row.form) << row.url;
    EXPECT_STREQ(f.pGetUrl(), row.host.empty() ? "before" : row.host.c_str()) << row.url;
  }
}

TEST(FindUrl, SingleFormCalls) {
  cFindUrl f("http://plain.example/");
  EXPECT_EQ(f.pGetUrl(), nullptr);  // nothing found yet
  EXPECT_EQ(f.nFindInternetArchiveUrl((kArchive + "1/http://a.example/").c_str()),
            1);  // 1, not 2, when called alone
  EXPECT_STREQ(f.pGetUrl(), "a.example");
}

}  // namespace
