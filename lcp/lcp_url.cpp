// cLcpUrl: the LCP candidates of one parsed URL, handed out one by one by
// shortening the member URL (host '/' path) in place.
#include <cstdint>
#include <cstring>

#include "tld/tld_table.h"
#include "url/text_scan.h"
#include "urlkeys/ip.h"
#include "urlkeys/lcp.h"

namespace {

// Longest member URL, in characters (the buffer keeps one byte for the NUL).
constexpr size_t kMemberMax = 4095;
// Longest name the list test accepts.
constexpr size_t kListMax = 256;

// True when `text` begins with "www." (byte comparison; a NUL stops it).
inline bool bHasWww(const char* text) {
  return text[0] == 'w' && text[1] == 'w' && text[2] == 'w' && text[3] == '.';
}

}  // namespace

cLcpUrl::cLcpUrl(const char* url) : pLcp(sMemberUrl), nLcpCount(0) {
  oUrl.freemem();
  oUrl.init();
  oUrl.bSetErrors(oUrl.bParseUrl(url != nullptr ? url : ""));
  vSetMemberUrl();
}

cLcpUrl::~cLcpUrl() = default;

void cLcpUrl::vSetMemberUrl() {
  // The parser's caps keep host '/' path within 4095 characters; fields
  // written by the caller may not, so every part is bounded and the whole is
  // cut at 4095 characters.
  size_t len = strnlen(oUrl.hostname, ZU_HOSTNAME_SIZE - 1);
  urlkeys_url::vCopyBytes(sMemberUrl, oUrl.hostname, len);
  pHostEnd = sMemberUrl + len;
  if (oUrl.path[0] != '\0') {
    sMemberUrl[len++] = '/';  // len <= 1023 here, far below the cap
    size_t room = kMemberMax - len;
    size_t plen = strnlen(oUrl.path, room < ZU_PATH_SIZE - 1 ? room : ZU_PATH_SIZE - 1);
    urlkeys_url::vCopyBytes(sMemberUrl + len, oUrl.path, plen);
    len += plen;
  }
  sMemberUrl[len] = '\0';
  pEnd = sMemberUrl + len;
  pLcp = sMemberUrl + (bHasWww(sMemberUrl) ? 4 : 0);
}

char* cLcpUrl::sGetAuth() { return oUrl.hostname + (bHasWww(oUrl.hostname) ? 4 : 0); }

char* cLcpUrl::sGetBasicUrl() { return sMemberUrl + (bHasWww(sMemberUrl) ? 4 : 0); }

void cLcpUrl::vReset() {
  vSetMemberUrl();
  nLcpCount = 0;
}

char* cLcpUrl::sGetNextLcp() {
  if (nLcpCount == 0) {
    // The first candidate is the whole member URL, never tested.
    nLcpCount = 1;
    return pLcp;
  }
  // Once pLcp has left its start, only host text is left: no '/' to look
  // for. Searching back from the known end makes a step cost the part it
  // removes.
  const char* base = sMemberUrl + (bHasWww(sMemberUrl) ? 4 : 0);
  const size_t len = static_cast<size_t>(pEnd - pLcp);
  char* slash = pLcp == base ? urlkeys_url::pFindLastByte(pLcp, len, '/') : nullptr;
  if (slash != nullptr) {
    *slash = '\0';  // drop the last path segment (or a lone trailing '/')
    pEnd = slash;
  } else {
    // Numeric hosts stay whole; a host not starting with a digit never is one.
    if (*pLcp >= '0' && *pLcp <= '9' && bIsAuthIp(pLcp)) return nullptr;
    char* dot = static_cast<char*>(std::memchr(pLcp, '.', len));
    if (dot == nullptr) return nullptr;
    pLcp = dot + 1;  // drop the leftmost label
  }
  ++nLcpCount;
  // The list test on the text as it now stands, whose length is known. Text
  // that still reaches past the host holds the '/' after it, and no table
  // entry holds a '/': only the "xn--" rule can accept it.
  const size_t rest = static_cast<size_t>(pEnd - pLcp);
  const bool tld = pEnd > pHostEnd && pLcp <= pHostEnd
                       ? rest >= 4 && rest <= kListMax && std::memcmp(pLcp, "xn--", 4) == 0
                       : urlkeys::tld::bIsListName(pLcp, rest);
  return tld ? nullptr : pLcp;
}
