// Tests of cFindUrl: the cache and archive wrapper forms, which one wins,
// results kept across misses, and the host-length limit.
#include "urlkeys/findurl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

const std::string kArchive = std::string("http://") + URLKEYS_ARCHIVE_HOST + "/web/";

std::unique_ptr<char[]> pExact(const std::string& s) {
  std::unique_ptr<char[]> p(new char[s.size() + 1]);
  std::memcpy(p.get(), s.c_str(), s.size() + 1);
  return p;
}

struct FindRow {
  std::string url;
  int form;          // result of nFindEmbeddedUrl
  const char* host;  // pGetUrl(); null when nothing was found
};

const FindRow kRows[] = {
    // Cache form.
    {"http://cache.example.net/search?q=cache:Ab12Cd:www.example.com/page.html+word&hl=en", 1,
     "www.example.com"},
    {"http://cache.example.net/search?q=cache:Ab12Cd:http://www.example.com/", 1,
     "http:"},  // the first ':' after the marker ends the key
    {"http://cache.example.net/search?q=cache:www.example.com/page", 0, nullptr},  // no ':' after the marker
    {"http://cache.example.net/search?q=cache:Ab12Cd:www.example.com", 0, nullptr},  // no '/' after the host
    {"http://www.example.com/search?q=cache", 0, nullptr},  // marker without its ':'
    {"http://cache.example.net/search?q=cache:Ab12Cd:/x", 0, nullptr},  // empty host
    {"http://cache.example.net/search?q=cache::h/", 1, "h"},  // empty key
    {"http://cache.example.net/search?q=Cache:Ab:www.example.com/", 0, nullptr},  // case-sensitive
    {"search?q=cache:K:User@WWW.Example.COM:81/", 1, "User@WWW.Example.COM:81"},  // taken unchanged
    {"search?q=cache:K:a%2Eb/", 1, "a%2Eb"},  // not decoded
    // Archive form.
    {kArchive + "20050101000000/http://www.example.com/dir/page.html", 2, "www.example.com"},
    {kArchive + "20050101000000/https://www.example.com/", 0, nullptr},  // only http://
    {kArchive + "20050101000000/http://www.example.com:8080/x", 2, "www.example.com:8080"},
    {kArchive + "20050101000000/http://www.example.com", 0, nullptr},  // no '/' after the host
    {kArchive + "20050101000000/http:///x", 0, nullptr},  // empty host
    {kArchive + "http://h/", 2, "h"},  // no time stamp
    {kArchive + "2005/https://a/http://b/", 2, "b"},  // first "http://" after the marker
    {"http://www.example.com/web/2005/http://h/", 0, nullptr},  // another host's /web/
    {"http://" + std::string(URLKEYS_ARCHIVE_HOST) + "/2005/http://h/", 0, nullptr},  // no /web/
    // Both forms: the cache form wins wherever its marker is.
    {"search?q=cache:K:c.example/ " + kArchive + "1/http://a.example/", 1, "c.example"},
    {kArchive + "1/http://a.example/?search?q=cache:K:c.example/", 1, "c.example"},
    // The cache form fails, the archive form still succeeds.
    {kArchive + "1/http://a.example/search?q=cache:nokey", 2, "a.example"},
    // Neither.
    {"", 0, nullptr},
    {"http://www.example.com/", 0, nullptr},
};

TEST(FindUrl, Table) {
  for (const FindRow& row : kRows) {
    auto url = pExact(row.url);
    cFindUrl f(url.get());
    const char* got = f.pGetUrl();
    if (row.host == nullptr) {
      EXPECT_EQ(got, nullptr) << "cFindUrl('" << row.url << "')";
    } else {
      ASSERT_NE(got, nullptr) << "cFindUrl('" << row.url << "')";
      EXPECT_STREQ(got, row.host) << "cFindUrl('" << row.url << "')";
    }
    cFindUrl again("");
    EXPECT_EQ(again.nFindEmbeddedUrl(url.get()), row.form) << "nFindEmbeddedUrl('" << row.url << "')";
  }
}

TEST(FindUrl, SingleFormCalls) {
  const std::string cache = "search?q=cache:K:c.example/";
  const std::string archive = kArchive + "1/http://a.example/";
  cFindUrl f("");
  EXPECT_EQ(f.nFindInternetArchiveUrl(cache.c_str()), 0);
  EXPECT_EQ(f.pGetUrl(), nullptr);
  EXPECT_EQ(f.nFindGoogleCacheUrl(archive.c_str()), 0);
  EXPECT_EQ(f.pGetUrl(), nullptr);
  EXPECT_EQ(f.nFindInternetArchiveUrl(archive.c_str()), 1);  // 1, not 2, when called alone
  EXPECT_STREQ(f.pGetUrl(), "a.example");
  EXPECT_EQ(f.nFindGoogleCacheUrl(cache.c_str()), 1);
  EXPECT_STREQ(f.pGetUrl(), "c.example");
}

TEST(FindUrl, MissKeepsTheEarlierHost) {
  cFindUrl f("search?q=cache:K:first.example/");
  ASSERT_STREQ(f.pGetUrl(), "first.example");
  EXPECT_EQ(f.nFindEmbeddedUrl("http://plain.example/"), 0);
  EXPECT_STREQ(f.pGetUrl(), "first.example");
  EXPECT_EQ(f.nFindEmbeddedUrl("search?q=cache:K:second.example"), 0);  // half a match
  EXPECT_STREQ(f.pGetUrl(), "first.example");
  EXPECT_EQ(f.nFindEmbeddedUrl("search?q=cache:K:2.example/"), 1);
  EXPECT_STREQ(f.pGetUrl(), "2.example");  // a shorter host replaces it whole
}

struct LengthRow {
  size_t length;
  bool kept;
};

// Hosts around the 1024-byte result buffer.
const LengthRow kHostLengths[] = {
    {1, true},
    {1022, true},
    {1023, true},      // longest that fits with its NUL
    {1024, false},     // refused, not cut
    {1025, false},
    {100000, false},
};

TEST(FindUrl, HostLengthLimit) {
  for (const LengthRow& row : kHostLengths) {
    const std::string host(row.length, 'h');
    for (const std::string& url : {"search?q=cache:K:" + host + "/p", kArchive + "1/http://" + host + "/p"}) {
      auto buf = pExact(url);
      cFindUrl f("search?q=cache:K:before/");
      const int form = f.nFindEmbeddedUrl(buf.get());
      if (row.kept) {
        EXPECT_NE(form, 0) << "host length " << row.length;
        EXPECT_EQ(std::string(f.pGetUrl()), host) << "host length " << row.length;
      } else {
        EXPECT_EQ(form, 0) << "host length " << row.length;
        EXPECT_STREQ(f.pGetUrl(), "before") << "host length " << row.length;
      }
    }
  }
}

TEST(FindUrl, LongHostWithoutSlash) {
  // No '/' anywhere after a very long host: a miss, read only inside the text.
  const std::string url = "search?q=cache:K:" + std::string(5000, 'h');
  auto buf = pExact(url);
  cFindUrl f(buf.get());
  EXPECT_EQ(f.pGetUrl(), nullptr);
}

}  // namespace
