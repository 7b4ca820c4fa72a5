// The URL parser: the parsing constructor, bParseUrl (scheme, authority,
// path, query, fragment) and bParseHostinfo (a bare "host:port").
#include "urlkeys/url.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/find_last.h"
#include "common/text_scan.h"
#include "url/record_ops.h"
#include "url/text_scan.h"

namespace {

// Bytes that end the scheme scan: ':', '/', '?', '#', a line feed and NUL.
constexpr struct DelimTable {
  bool yes[256] = {};
  constexpr DelimTable() {
    yes[static_cast<unsigned char>(':')] = true;
    yes[static_cast<unsigned char>('/')] = true;
    yes[static_cast<unsigned char>('?')] = true;
    yes[static_cast<unsigned char>('#')] = true;
    yes[static_cast<unsigned char>('\n')] = true;
    yes[0] = true;
  }
} kDelims;

inline bool bAnyDelim(char c) { return kDelims.yes[static_cast<unsigned char>(c)]; }

// Length of the span [b, e) as a setter argument; spans longer than INT_MAX
// (only possible in bParseHostinfo's unbounded text) are cut, which the
// setters' caps make harmless.
inline int nSpan(const char* b, const char* e) {
  const ptrdiff_t n = e - b;
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

inline size_t nLen(const char* b, const char* e) { return static_cast<size_t>(e - b); }

// True when "://" begins at one of the positions 0 to 7 of `text`, whose
// length is n: that is exactly when the first occurrence starts there, so
// no more than the first ten characters are ever looked at. With ten or
// more, the eight candidate positions are tested at once, a byte per
// position: x holds the bytes at 0..7, y those at 1..8, z those at 2..9.
// Byte k of each word comes from the same offset k in either byte order,
// and the zero-byte test below only asks whether any byte is zero, which
// the borrow between bytes cannot change, so the answer does not depend
// on the byte order.
bool bSchemeMarkEarly(const char* text, size_t n) {
  if (n >= 10) {
    constexpr uint64_t kOnes = 0x0101010101010101u;
    uint64_t x;
    uint64_t y;
    uint64_t z;
    memcpy(&x, text, 8);
    memcpy(&y, text + 1, 8);
    memcpy(&z, text + 2, 8);
    // A zero byte in t marks a position where ':', '/', '/' all matched.
    const uint64_t t = (x ^ (':' * kOnes)) | (y ^ ('/' * kOnes)) | (z ^ ('/' * kOnes));
    return ((t - kOnes) & ~t & (0x80u * kOnes)) != 0;
  }
  for (size_t i = 0; i < 8 && i + 2 < n; ++i) {
    if (text[i] == ':' && text[i + 1] == '/' && text[i + 2] == '/') return true;
  }
  return false;
}

// Converts port text as a base-10 signed number: leading white space
// (space, tab, vertical tab, form feed, carriage return), one optional sign,
// then as many digits as follow. A value beyond the signed 64-bit range is
// clamped to it. Returns the value's 64 bits; *clean is true when digits
// were found and nothing follows them. No signed arithmetic is involved, so
// any number of digits is safe.
//   "8080" -> 8080, clean    " 81" -> 81, clean      "-1" -> -1, clean
//   "80x"  -> 80, not clean  ":1"  -> 0, not clean   ""   -> 0, not clean
uint64_t nPortValue(const char* s, bool* clean) {
  while (*s == ' ' || *s == '\t' || *s == '\v' || *s == '\f' || *s == '\r') ++s;
  bool negative = false;
  if (*s == '+' || *s == '-') negative = (*s++ == '-');
  const uint64_t limit = negative ? (uint64_t{1} << 63) : (uint64_t{1} << 63) - 1;
  uint64_t value = 0;
  const char* digits = s;
  for (; *s >= '0' && *s <= '9'; ++s) {
    const unsigned d = static_cast<unsigned>(*s - '0');
    value = (value > (limit - d) / 10) ? limit : value * 10 + d;
  }
  *clean = (s != digits && *s == '\0');
  return negative ? (uint64_t{0} - value) : value;
}

// Field stores from the working copy. A span of up to 32 characters whose
// next 32 bytes all lie inside the working copy is moved as one fixed
// 32-byte block: the bytes past its end land after the field's terminator,
// inside the field, where they mean nothing. One well-predicted test then
// replaces the size classes of a variable copy for most URL parts. Every
// field holds far more than 32 bytes.
constexpr size_t kBlock = 32;
static_assert(ZU_SCHEME_SIZE > kBlock && ZU_USER_SIZE > kBlock && ZU_PASSWORD_SIZE > kBlock &&
                  ZU_PORT_STR_SIZE > kBlock,
              "fields hold a whole block");

inline bool bWholeBlock(const cZuUrl& u, const char* src, size_t len) {
  return len <= kBlock && src + kBlock <= u.url + ZU_URL_SIZE;
}

inline size_t nStoreField(const cZuUrl& u, char* dst, size_t cap, const char* src, size_t len) {
  if (bWholeBlock(u, src, len)) {
    memcpy(dst, src, kBlock);
    dst[len] = '\0';
    return len;
  }
  return urlkeys::common::nStoreSpan(dst, cap, src, len);
}

inline size_t nStoreLowerField(const cZuUrl& u, char* dst, size_t cap, const char* src,
                               size_t len) {
  if (bWholeBlock(u, src, len)) {
    urlkeys::common::vCopyLower(dst, src, kBlock);
    dst[len] = '\0';
    return len;
  }
  return urlkeys::common::nStoreLowerSpan(dst, cap, src, len);
}

// Stores a host name span (no NUL inside) as bSetHostname does: cut at
// 1023 characters, trailing spaces dropped, lower-cased. Returns the length
// stored.
inline size_t nStoreHostname(cZuUrl& u, const char* src, size_t len) {
  size_t k = nStoreLowerField(u, u.hostname, ZU_HOSTNAME_SIZE - 1, src, len);
  if (k > 0 && u.hostname[k - 1] == ' ') {
    while (k > 0 && u.hostname[k - 1] == ' ') --k;
    u.hostname[k] = '\0';
  }
  return k;
}

// Copies `text` into the working copy `u.url` and percent-decodes it there;
// returns the decoded length (the text ends at its first NUL). The `url` field must end
// up holding the decoded text anyway, so the text is copied, decoded and
// split right there. The copy also finds the first byte that needs decoding;
// most URLs have none. A text with no "://" near its start is read as an
// authority: "//" + text, within the same 4095 characters.
inline size_t nDecodeIntoRecord(cZuUrl& u, const char* text) {
  char* const p = u.url;
  size_t n = strnlen(text, ZU_URL_SIZE - 1);
  size_t off = 0;
  if (!bSchemeMarkEarly(text, n)) {
    if (n > ZU_URL_SIZE - 3) n = ZU_URL_SIZE - 3;
    off = 2;
  }
  size_t first;  // first byte the decoder must look at
  const uintptr_t t = reinterpret_cast<uintptr_t>(text);
  const uintptr_t w = reinterpret_cast<uintptr_t>(p);
  if (t < w + ZU_URL_SIZE && w < t + n) {
    // The text lies in the working copy itself (a caller passed `url`).
    memmove(p + off, text, n);
    if (off != 0) {
      p[0] = '/';
      p[1] = '/';
    }
    first = static_cast<size_t>(urlkeys::url::pFindEscape(p, p + off, p + off + n) - p);
  } else {
    first = off + urlkeys::url::nCopyFindEscape(p + off, text, n);
    if (off != 0) {
      p[0] = '/';
      p[1] = '/';
    }
  }
  n += off;
  p[n] = '\0';
  size_t escapes = 0;
  return urlkeys::url::nUnescapeFrom(p, n, first, &escapes);
}

// Stores the scheme of the decoded text [p, e) and returns where its
// authority starts: after "scheme://", after a leading "//" not followed by
// a third '/', or null when there is no authority.
inline const char* pParseScheme(cZuUrl& u, const char* p, const char* e) {
  if (p[0] == '/') return p[1] == '/' && p[2] != '/' ? p + 2 : nullptr;
  if (bAnyDelim(p[0])) return nullptr;
  const char* q = urlkeys::url::pFindSchemeEnd(p, p + 1, e);
  if (q[0] != ':' || q[1] != '/' || q[2] != '/') return nullptr;
  nStoreLowerField(u, u.scheme, ZU_SCHEME_SIZE - 1, p, nLen(p, q));
  return q + 3;
}

// Where the host part of an authority starts, and its first ':' (or null).
struct HostPart {
  const char* host;
  const char* colon;
};

// Stores the user information of the authority [auth, end): up to the last
// '@'; the user ends at its first ':'. Without an '@' the host part is the
// whole authority, and its first ':' is the one the scan found.
inline HostPart oParseUserInfo(cZuUrl& u, const char* auth, const char* end,
                               const urlkeys::url::AuthorityScan& scan) {
  if (!scan.has_at) return {auth, scan.first_colon};
  const char* at = urlkeys::common::pFindLastByte(auth, nLen(auth, end), '@');
  const char* colon = static_cast<const char*>(memchr(auth, ':', nLen(auth, at)));
  if (colon != nullptr) {
    nStoreField(u, u.user, ZU_USER_SIZE - 1, auth, nLen(auth, colon));
    nStoreField(u, u.password, ZU_PASSWORD_SIZE - 1, colon + 1, nLen(colon + 1, at));
  } else {
    nStoreField(u, u.user, ZU_USER_SIZE - 1, auth, nLen(auth, at));
  }
  const char* host = at + 1;
  return {host, static_cast<const char*>(memchr(host, ':', nLen(host, end)))};
}

// Stores the port text [port_text, end) and its value; false when the text
// is not a clean number. An empty port ("host:") takes the scheme's default.
inline bool bParsePort(cZuUrl& u, const char* port_text, const char* end) {
  nStoreField(u, u.port_str, ZU_PORT_STR_SIZE - 1, port_text, nLen(port_text, end));
  if (port_text == end) {
    u.port = u.nPortOfScheme(u.scheme);
    return true;
  }
  bool clean = false;
  // The value is read from the stored, capped text and kept even when bad.
  u.port = static_cast<int>(static_cast<uint32_t>(nPortValue(u.port_str, &clean)));
  return clean;
}

// Stores the hostname of the host part [hp.host, end) and sets *port_text
// to where its port text starts (null without a port); false for a '['
// host without ']'.
inline bool bParseHost(cZuUrl& u, HostPart hp, const char* end, urlkeys::url::FieldLengths& lengths,
                       const char** port_text) {
  const char* const host = hp.host;
  if (*host == '[') {
    const char* close = static_cast<const char*>(memchr(host, ']', nLen(host, end)));
    if (close == nullptr) return false;
    if (close[1] == ':') {
      lengths.hostname = nStoreHostname(u, host + 1, nLen(host + 1, close));
      *port_text = close + 2;
    } else {
      // Without a port the brackets are taken to be the host part's first
      // and last characters, whatever the last one is: "[::1]xyz" -> "::1]xy".
      lengths.hostname = nStoreHostname(u, host + 1, nLen(host + 1, end - 1));
    }
  } else if (hp.colon != nullptr) {
    lengths.hostname = nStoreHostname(u, host, nLen(host, hp.colon));
    *port_text = hp.colon + 1;
  } else {
    lengths.hostname = nStoreHostname(u, host, nLen(host, end));
  }
  return true;
}

// Stores the path that starts at `cur` (just after the authority, or the
// text's start; never past e) in the decoded text [p, e), if there is one;
// returns where the query or fragment starts (e when neither follows).
inline const char* pParsePath(cZuUrl& u, const char* p, const char* cur, const char* e,
                              urlkeys::url::FieldLengths& lengths) {
  if (cur == e || *cur == '?' || *cur == '#') return cur;
  const char* end = urlkeys::url::pFindPathEnd(p, cur, e);
  // As bSetPath: one leading '/' or backslash goes. The rest of the span
  // is at most 4094 characters, within the path's cap.
  const char* from = (*cur == '/' || *cur == '\\') ? cur + 1 : cur;
  lengths.path = nStoreField(u, u.path, ZU_PATH_SIZE - 1, from, nLen(from, end));
  return end;
}

// Stores the query and fragment of [cur, e), where cur is a '?' or '#'.
inline void vParseQueryFragment(cZuUrl& u, const char* p, const char* cur, const char* e) {
  const char* rest = cur + 1;
  if (*cur == '?') {
    const char* hash = urlkeys::common::pFindByte(p, rest, e, '#');
    if (hash != e) nStoreField(u, u.fragment, ZU_FRAGMENT_SIZE - 1, hash + 1, nLen(hash + 1, e));
    nStoreField(u, u.query, ZU_QUERY_SIZE - 1, rest, nLen(rest, hash));
  } else {  // '#': the fragment is the whole rest, '?' included
    nStoreField(u, u.fragment, ZU_FRAGMENT_SIZE - 1, rest, nLen(rest, e));
  }
}

// bParseUrl on the record `u`. The spans it stores all lie inside the
// decoded copy in `u.url`, which holds no NUL before its end, so they are
// stored with plain bounded copies; the results are those of the setters.
int nParseInto(cZuUrl& u, const char* text, urlkeys::url::FieldLengths& lengths) {
  if (text == nullptr) text = "";
  const char* const p = u.url;
  const char* const e = p + nDecodeIntoRecord(u, text);
  const char* cur = p;  // where the path starts
  if (const char* auth = pParseScheme(u, p, e); auth != nullptr) {
    const urlkeys::url::AuthorityScan scan = urlkeys::url::oScanAuthority(p, auth, e);
    nStoreField(u, u.hostinfo, ZU_HOSTINFO_SIZE - 1, auth, nLen(auth, scan.end));
    const char* port_text = nullptr;
    if (!bParseHost(u, oParseUserInfo(u, auth, scan.end, scan), scan.end, lengths, &port_text))
      return 1;
    if (port_text != nullptr && !bParsePort(u, port_text, scan.end)) return 2;
    cur = scan.end;
  }
  cur = pParsePath(u, p, cur, e, lengths);
  if (cur < e) vParseQueryFragment(u, p, cur, e);
  return 0;
}

}  // namespace

cZuUrl::cZuUrl(const char* text)
    : port(0), reserved(nullptr), initialised(0), reserved_flag1(0), reserved_flag2(0) {
  // init(), bParseUrl(text) and bSetErrors(result), without the calls
  // through the exported entry points.
  urlkeys::url::vInitRecord(*this);
  urlkeys::url::FieldLengths lengths;
  urlkeys::url::nAddErrors(*this, nParseInto(*this, text, lengths));
}

int cZuUrl::bParseUrl(const char* text) {
  urlkeys::url::FieldLengths lengths;
  return nParseInto(*this, text, lengths);
}

int urlkeys::url::nParseKeepingLengths(cZuUrl& u, const char* text, FieldLengths& lengths) {
  return nParseInto(u, text, lengths);
}

int cZuUrl::bParseHostinfo(const char* text) {
  if (text == nullptr) text = "";
  bSetHostinfo(text);

  const char* sep;
  if (text[0] == '[') {
    const char* close = strchr(text, ']');
    if (close == nullptr || close[1] != ':') return 1;
    bSetHostname(text + 1, nSpan(text + 1, close));
    sep = close + 1;
  } else {
    sep = strchr(text, ':');
    if (sep == nullptr) return 2;
    bSetHostname(text, nSpan(text, sep));
  }

  bSetPort_str(sep + 1);
  if (sep[1] == '\0') return 3;
  bool clean = false;
  bSetPort(static_cast<long>(nPortValue(port_str, &clean) & 0xFFFFu));
  return clean ? 0 : 3;
}
