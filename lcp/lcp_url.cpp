// cLcpUrl: the LCP candidates of one parsed URL, handed out one by one by
// shortening the member URL (host '/' path) in place.
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "tld/tld_table.h"
#include "url/record_ops.h"
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

// Last `c` in [begin, end), or null; the walk's searches run back from the
// known end, so a step costs the part it removes. Loads stay inside
// [base, end): whole blocks back from the end, then one block that starts
// before `begin` when base allows it, with the bytes before `begin` masked.
inline char* pFindLast(const char* base, char* begin, char* end, char c) {
#if defined(__SSE2__)
  const __m128i want = _mm_set1_epi8(c);
  auto hits = [&want](const char* at) {
    return static_cast<unsigned>(_mm_movemask_epi8(
        _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), want)));
  };
  while (end - begin >= 16) {
    end -= 16;
    const unsigned m = hits(end);
    if (m != 0) return end + 31 - __builtin_clz(m);
  }
  if (end == begin) return nullptr;
  if (end - base >= 16) {
    const unsigned m = hits(end - 16) & (0xFFFFu << (16 - (end - begin)));
    return m != 0 ? end - 16 + 31 - __builtin_clz(m) : nullptr;
  }
#else
  (void)base;
#endif
  while (end > begin) {
    if (*--end == c) return end;
  }
  return nullptr;
}

// Where a member URL's parts end, and where its walk starts.
struct MemberEnds {
  char* host_end;
  char* end;
  char* start;  // after a leading "www."
};

// Writes the first `host` characters of `hostname`, then '/' and the first
// `path` characters of `path` when path > 0, into `member`, terminated;
// host + 1 + path <= 4095.
inline MemberEnds oBuildMember(char* member, const char* hostname, size_t host, const char* path,
                               size_t path_len) {
  urlkeys_url::vCopyBytes(member, hostname, host);
  size_t len = host;
  if (path_len > 0) {
    member[len++] = '/';
    urlkeys_url::vCopyBytes(member + len, path, path_len);
    len += path_len;
  }
  member[len] = '\0';
  return {member + host, member + len, member + (bHasWww(member) ? 4 : 0)};
}

}  // namespace

cLcpUrl::cLcpUrl(const char* url) : pLcp(sMemberUrl), nLcpCount(0) {
  // freemem(), init(), bSetErrors(bParseUrl(url)) and vSetMemberUrl(), with
  // the field lengths the parse knows instead of measuring them again.
  urlkeys_url::vInitRecord(oUrl);
  urlkeys_url::FieldLengths lengths;
  urlkeys_url::nAddErrors(oUrl, urlkeys_url::nParseKeepingLengths(
                                    oUrl, url != nullptr ? url : "", lengths));
  const MemberEnds ends =
      oBuildMember(sMemberUrl, oUrl.hostname, lengths.hostname, oUrl.path, lengths.path);
  pHostEnd = ends.host_end;
  pEnd = ends.end;
  pLcp = pStart = ends.start;
}

cLcpUrl::~cLcpUrl() = default;

void cLcpUrl::vSetMemberUrl() {
  // The parser's caps keep host '/' path within 4095 characters; fields
  // written by the caller may not, so every part is bounded and the whole is
  // cut at 4095 characters.
  const size_t host = strnlen(oUrl.hostname, ZU_HOSTNAME_SIZE - 1);
  const size_t room = kMemberMax - host - 1;  // host <= 1023, far below the cap
  const size_t path = strnlen(oUrl.path, room < ZU_PATH_SIZE - 1 ? room : ZU_PATH_SIZE - 1);
  const MemberEnds ends = oBuildMember(sMemberUrl, oUrl.hostname, host, oUrl.path, path);
  pHostEnd = ends.host_end;
  pEnd = ends.end;
  pLcp = pStart = ends.start;
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
  char* slash = pLcp == pStart ? pFindLast(sMemberUrl, pLcp, pEnd, '/') : nullptr;
  if (slash != nullptr) {
    *slash = '\0';  // drop the last path segment (or a lone trailing '/')
    pEnd = slash;
  } else {
    // Numeric hosts stay whole; a host not starting with a digit never is one.
    if (*pLcp >= '0' && *pLcp <= '9' && bIsAuthIp(pLcp)) return nullptr;
    char* dot = const_cast<char*>(urlkeys_url::pFindByte(sMemberUrl, pLcp, pEnd, '.'));
    if (dot == pEnd) return nullptr;
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
