// The host of a page wrapped in a search-engine cache URL
// ("search?q=cache:KEY:host/...") or a web-archive URL
// ("<archive host>/web/STAMP/http://host/...", where the archive host is
// fixed when the library is built, "web.archive.org" by default).
// Plain case-sensitive substring searches: the host is the text up to the
// next '/', taken unchanged (a port, user information or upper case stay; no
// decoding), and "https://" is not recognised in the archive form.
// The URL must not be null and is only read. Nothing allocates.
// No shared state; objects rule of urlkeys.h.
#ifndef URLKEYS_FINDURL_H
#define URLKEYS_FINDURL_H

#include "export.h"

// Capacity of the result, NUL included: hosts of up to 1023 characters are
// kept; a longer one is refused (a miss), never cut.
#define ZU_FINDURL_SIZE 1024

class URLKEYS_API cFindUrl {
 public:
  // Empties the result, then tries nFindEmbeddedUrl(url).
  explicit cFindUrl(const char* url);
  ~cFindUrl();

  // 1 for the cache form, 2 for the archive form (the cache form is tried
  // first), 0 when neither matches; a miss leaves the earlier result.
  int nFindEmbeddedUrl(const char* url);
  // The cache form alone: 1 and the host stored, or 0 and nothing changed.
  int nFindGoogleCacheUrl(const char* url);
  // The archive form alone: 1 and the host stored, or 0 and nothing changed.
  int nFindInternetArchiveUrl(const char* url);
  // The host found, or null when none was found; points into this object.
  char* pGetUrl();

 private:
  char sUrl[ZU_FINDURL_SIZE];
};

#endif
