// cLcpUrl: the LCP candidates of one parsed URL, handed out one by one by
// shortening the member URL (host '/' path) in place.
#include <cstring>

#include "urlkeys/ip.h"
#include "urlkeys/lcp.h"
#include "urlkeys/tld.h"

namespace {

// Longest member URL, in characters (the buffer keeps one byte for the NUL).
constexpr size_t kMemberMax = 4095;

// True when `text` begins with "www." (byte comparison; a NUL stops it).
inline bool bHasWww(const char* text) {
  return text[0] == 'w' && text[1] == 'w' && text[2] == 'w' && text[3] == '.';
}

// Last '/' in [begin, end), or null. Searching backwards from the known end
// makes one step cost the length of the segment it removes.
inline char* sLastSlash(char* begin, char* end) {
  return static_cast<char*>(memrchr(begin, '/', static_cast<size_t>(end - begin)));
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
  std::memcpy(sMemberUrl, oUrl.hostname, len);
  if (oUrl.path[0] != '\0') {
    sMemberUrl[len++] = '/';  // len <= 1023 here, far below the cap
    size_t room = kMemberMax - len;
    size_t plen = strnlen(oUrl.path, room < ZU_PATH_SIZE - 1 ? room : ZU_PATH_SIZE - 1);
    std::memcpy(sMemberUrl + len, oUrl.path, plen);
    len += plen;
  }
  sMemberUrl[len] = '\0';
  pLcp = sMemberUrl + (bHasWww(sMemberUrl) ? 4 : 0);
  // A walk in progress goes on over the rebuilt text: move its end there.
  if (nLcpCount != 0) nLcpCount = static_cast<int>(len) + 1;
}

char* cLcpUrl::sGetAuth() { return oUrl.hostname + (bHasWww(oUrl.hostname) ? 4 : 0); }

char* cLcpUrl::sGetBasicUrl() { return sMemberUrl + (bHasWww(sMemberUrl) ? 4 : 0); }

void cLcpUrl::vReset() {
  vSetMemberUrl();
  nLcpCount = 0;
}

// nLcpCount is 0 until the first candidate of a walk; from then on it holds
// 1 + the offset of the current text's terminating NUL in sMemberUrl, so that
// no step has to measure the text again.
char* cLcpUrl::sGetNextLcp() {
  if (nLcpCount == 0) {
    // The first candidate is the whole member URL, never tested.
    nLcpCount = static_cast<int>(pLcp - sMemberUrl + std::strlen(pLcp)) + 1;
    return pLcp;
  }
  char* end = sMemberUrl + (nLcpCount - 1);
  char* base = sMemberUrl + (bHasWww(sMemberUrl) ? 4 : 0);
  // Once pLcp has left its start, only host text is left: no '/' to look for.
  char* slash = pLcp == base ? sLastSlash(pLcp, end) : nullptr;
  if (slash != nullptr) {
    *slash = '\0';  // drop the last path segment (or a lone trailing '/')
    nLcpCount = static_cast<int>(slash - sMemberUrl) + 1;
  } else {
    if (bIsAuthIp(pLcp)) return nullptr;  // numeric hosts stay whole
    char* dot = static_cast<char*>(std::memchr(pLcp, '.', static_cast<size_t>(end - pLcp)));
    if (dot == nullptr) return nullptr;
    pLcp = dot + 1;  // drop the leftmost label
  }
  if (bIsTLD(pLcp)) return nullptr;
  return pLcp;
}
