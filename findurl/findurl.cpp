// cFindUrl: the host of a page wrapped in a search-engine cache URL or in a
// web-archive URL, found by plain substring searches.
#include "urlkeys/findurl.h"

#include <cstring>

#ifndef URLKEYS_ARCHIVE_HOST
#define URLKEYS_ARCHIVE_HOST "web.archive.org"
#endif

namespace {

constexpr char kCacheMarker[] = "search?q=cache:";
constexpr char kArchiveMarker[] = URLKEYS_ARCHIVE_HOST "/web/";
constexpr char kHttp[] = "http://";

// Stores into sUrl the text from `host` up to the first '/' after it.
// Returns 1 on success; 0, with sUrl unchanged, when there is no '/', when the
// text is empty, or when it does not fit (ZU_FINDURL_SIZE characters or more).
// Reads at most ZU_FINDURL_SIZE bytes of `host`.
int nStoreHost(char* sUrl, const char* host) {
  const size_t n = strnlen(host, ZU_FINDURL_SIZE);
  const char* slash = static_cast<const char*>(std::memchr(host, '/', n));
  if (!slash || slash == host) return 0;
  const size_t len = static_cast<size_t>(slash - host);
  std::memcpy(sUrl, host, len);
  sUrl[len] = '\0';
  return 1;
}

}  // namespace

cFindUrl::cFindUrl(const char* url) {
  sUrl[0] = '\0';
  nFindEmbeddedUrl(url);
}

cFindUrl::~cFindUrl() = default;

int cFindUrl::nFindEmbeddedUrl(const char* url) {
  if (nFindGoogleCacheUrl(url)) return 1;
  if (nFindInternetArchiveUrl(url)) return 2;
  return 0;
}

int cFindUrl::nFindGoogleCacheUrl(const char* url) {
  const char* marker = std::strstr(url, kCacheMarker);
  if (!marker) return 0;
  // The cache's document key runs up to the next ':'; the host follows it.
  const char* colon = std::strchr(marker + (sizeof kCacheMarker - 1), ':');
  if (!colon) return 0;
  return nStoreHost(sUrl, colon + 1);
}

int cFindUrl::nFindInternetArchiveUrl(const char* url) {
  const char* marker = std::strstr(url, kArchiveMarker);
  if (!marker) return 0;
  // Skips the time stamp; only a plain "http://" page is recognised.
  const char* scheme = std::strstr(marker + (sizeof kArchiveMarker - 1), kHttp);
  if (!scheme) return 0;
  return nStoreHost(sUrl, scheme + (sizeof kHttp - 1));
}

char* cFindUrl::pGetUrl() { return sUrl[0] != '\0' ? sUrl : nullptr; }
