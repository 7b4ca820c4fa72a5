// cLcpUrl: the LCP candidates of one parsed URL, handed out one by one by
// shortening the member URL (host '/' path) in place.
#include <cstdint>
#include <cstring>

#include "common/ascii.h"
#include "common/text_scan.h"
#include "tld/tld_table.h"
#include "url/record_ops.h"
#include "urlkeys/ip.h"
#include "urlkeys/lcp.h"

namespace {

// Longest member URL, in characters (the buffer keeps one byte for the NUL).
constexpr size_t kMemberMax = LCP_MEMBER_URL_SIZE - 1;
constexpr size_t kListMax = ZU_TLD_LIST_MAX_LEN;

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
                               size_t path_len, uint64_t* dot_bits, uint64_t* slash_bits) {
  // Parts of up to 32 characters are moved as one fixed 32-byte block: the
  // fields hold at least 1024 bytes, and the bytes past a part are
  // overwritten by the next one or lie past the terminator, inside the
  // 4096-byte member buffer (host '/' path of 4095 characters leaves room
  // for a block after a short part).
  if (host <= 32) {
    memcpy(member, hostname, 32);
  } else {
    urlkeys::common::vCopyBytes(member, hostname, host);
  }
  size_t len = host;
  if (path_len > 0) {
    member[len++] = '/';
    if (path_len <= 32) {
      memcpy(member + len, path, 32);
    } else {
      urlkeys::common::vCopyBytes(member + len, path, path_len);
    }
    len += path_len;
  }
  member[len] = '\0';
  urlkeys::common::bMarkText(member, len, dot_bits, slash_bits);
  return {member + host, member + len, member + (urlkeys::common::bHasWwwPrefix(member) ? 4 : 0)};
}

}  // namespace

cLcpUrl::cLcpUrl(const char* url) : pLcp(sMemberUrl), nLcpCount(0) {
  // What init(), bSetErrors(bParseUrl(url)) and vSetMemberUrl() do, with
  // the field lengths the parse knows instead of measuring them again.
  urlkeys::url::vInitRecord(oUrl);
  urlkeys::url::FieldLengths lengths;
  urlkeys::url::nAddErrors(
      oUrl, urlkeys::url::nParseKeepingLengths(oUrl, url != nullptr ? url : "", lengths));
  const MemberEnds ends = oBuildMember(sMemberUrl, oUrl.hostname, lengths.hostname, oUrl.path,
                                       lengths.path, anDotBits, anSlashBits);
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
  const MemberEnds ends =
      oBuildMember(sMemberUrl, oUrl.hostname, host, oUrl.path, path, anDotBits, anSlashBits);
  pHostEnd = ends.host_end;
  pEnd = ends.end;
  pLcp = pStart = ends.start;
}

char* cLcpUrl::sGetAuth() {
  return oUrl.hostname + (urlkeys::common::bHasWwwPrefix(oUrl.hostname) ? 4 : 0);
}

char* cLcpUrl::sGetBasicUrl() {
  return sMemberUrl + (urlkeys::common::bHasWwwPrefix(sMemberUrl) ? 4 : 0);
}

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
  // for. The marks give the last '/' and the first '.' of the candidate
  // at once; bytes past pEnd are never looked at, so the NULs the walk
  // writes over dropped '/' characters need no change to them.
  const size_t at = static_cast<size_t>(pLcp - sMemberUrl);
  const size_t end = static_cast<size_t>(pEnd - sMemberUrl);
  const size_t slash = pLcp == pStart ? urlkeys::common::nLastMark(anSlashBits, at, end) : SIZE_MAX;
  if (slash != SIZE_MAX) {
    sMemberUrl[slash] = '\0';  // drop the last path segment (or a lone trailing '/')
    pEnd = sMemberUrl + slash;
  } else {
    // Numeric hosts stay whole; a host not starting with a digit never is one.
    if (*pLcp >= '0' && *pLcp <= '9' && bIsAuthIp(pLcp)) return nullptr;
    const size_t dot = urlkeys::common::nFirstMark(anDotBits, at, end);
    if (dot == end) return nullptr;
    pLcp = sMemberUrl + dot + 1;  // drop the leftmost label
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
