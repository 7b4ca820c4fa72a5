// The URL parser: the parsing constructor, bParseUrl (scheme, authority,
// path, query, fragment) and bParseHostinfo (a bare "host:port").
#include "urlkeys/unescape.h"
#include "urlkeys/url.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Characters that end a scan, as bits of a byte-class table: the scheme
// scan stops at any of them; the authority at all but ':'; the path only at
// '?', '#' and the end. Every other byte (0x80 and above too) is in none.
enum : unsigned char { kAny = 1, kAuthEnd = 2, kPathEnd = 4 };

constexpr struct DelimTable {
  unsigned char cls[256] = {};
  constexpr DelimTable() {
    cls[static_cast<unsigned char>(':')] = kAny;
    cls[static_cast<unsigned char>('/')] = kAny | kAuthEnd;
    cls[static_cast<unsigned char>('\n')] = kAny | kAuthEnd;
    cls[static_cast<unsigned char>('?')] = kAny | kAuthEnd | kPathEnd;
    cls[static_cast<unsigned char>('#')] = kAny | kAuthEnd | kPathEnd;
    cls[0] = kAny | kAuthEnd | kPathEnd;
  }
} kDelims;

inline bool bIn(char c, unsigned char set) {
  return (kDelims.cls[static_cast<unsigned char>(c)] & set) != 0;
}
inline bool bAnyDelim(char c) { return bIn(c, kAny); }
inline bool bAuthorityEnd(char c) { return bIn(c, kAuthEnd); }
inline bool bPathEnd(char c) { return bIn(c, kPathEnd); }

// Length of the span [b, e) as a setter argument; spans longer than INT_MAX
// (only possible in bParseHostinfo's unbounded text) are cut, which the
// setters' caps make harmless.
inline int nSpan(const char* b, const char* e) {
  const ptrdiff_t n = e - b;
  return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

// True when "://" begins at one of the positions 0 to 7 of `text`: that is
// exactly when the first occurrence starts there, so no more than the first
// ten characters are ever looked at.
bool bSchemeMarkEarly(const char* text) {
  for (int i = 0; i < 8 && text[i] != '\0'; ++i) {
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

}  // namespace

cZuUrl::cZuUrl(const char* text)
    : port(0), reserved(nullptr), initialised(0), reserved_flag1(0), reserved_flag2(0) {
  init();
  bSetErrors(bParseUrl(text));
}

int cZuUrl::bParseUrl(const char* text) {
  if (text == nullptr) text = "";

  // The `url` field is the working copy: it must end up holding the decoded
  // text anyway, so the text is copied, decoded and split right there.
  // memmove keeps this right even when `text` points into the record.
  if (bSchemeMarkEarly(text)) {
    const size_t n = strnlen(text, ZU_URL_SIZE - 1);
    memmove(url, text, n);
    url[n] = '\0';
  } else {
    // Read as an authority: "//" + text, within the same 4095 characters.
    const size_t n = strnlen(text, ZU_URL_SIZE - 3);
    memmove(url + 2, text, n);
    url[0] = '/';
    url[1] = '/';
    url[n + 2] = '\0';
  }
  zuUrlUnescape(url);

  const char* const p = url;
  const char* cur = p;  // where the path starts, for every branch
  const char* auth = nullptr;
  if (p[0] == '/') {
    if (p[1] == '/' && p[2] != '/') auth = p + 2;
  } else if (!bAnyDelim(p[0])) {
    const char* q = p + 1;
    while (!bAnyDelim(*q)) ++q;
    if (q[0] == ':' && q[1] == '/' && q[2] == '/') {
      bSetScheme(p, nSpan(p, q));
      auth = q + 3;
    }
  }

  if (auth != nullptr) {
    const char* end = auth;
    while (!bAuthorityEnd(*end)) ++end;
    bSetHostinfo(auth, nSpan(auth, end));

    // User information: up to the last '@'; the user ends at its first ':'.
    const char* host = auth;
    const char* at = static_cast<const char*>(memrchr(auth, '@', static_cast<size_t>(end - auth)));
    if (at != nullptr) {
      const char* colon = static_cast<const char*>(memchr(auth, ':', static_cast<size_t>(at - auth)));
      if (colon != nullptr) {
        bSetUser(auth, nSpan(auth, colon));
        bSetPassword(colon + 1, nSpan(colon + 1, at));
      } else {
        bSetUser(auth, nSpan(auth, at));
      }
      host = at + 1;
    }

    const char* port_text = nullptr;
    if (*host == '[') {
      const char* close = static_cast<const char*>(memchr(host, ']', static_cast<size_t>(end - host)));
      if (close == nullptr) return 1;
      if (close[1] == ':') {
        bSetHostname(host + 1, nSpan(host + 1, close));
        port_text = close + 2;
      } else {
        // Without a port the brackets are taken to be the host part's first
        // and last characters, whatever the last one is: "[::1]xyz" -> "::1]xy".
        bSetHostname(host + 1, nSpan(host + 1, end - 1));
      }
    } else {
      const char* colon = static_cast<const char*>(memchr(host, ':', static_cast<size_t>(end - host)));
      if (colon != nullptr) {
        bSetHostname(host, nSpan(host, colon));
        port_text = colon + 1;
      } else {
        bSetHostname(host, nSpan(host, end));
      }
    }

    if (port_text != nullptr) {
      bSetPort_str(port_text, nSpan(port_text, end));
      if (port_text == end) {
        port = nPortOfScheme(scheme);  // "host:" takes the scheme's default
      } else {
        bool clean = false;
        bSetPort(static_cast<long>(nPortValue(port_str, &clean)));  // stored even when bad
        if (!clean) return 2;
      }
    }
    cur = end;
  }

  if (!bPathEnd(*cur)) {
    const char* end = cur;
    while (!bPathEnd(*end)) ++end;
    bSetPath(cur, nSpan(cur, end));
    cur = end;
  }

  if (*cur == '?') {
    const char* rest = cur + 1;
    const char* hash = strchr(rest, '#');
    if (hash != nullptr) {
      bSetFragment(hash + 1);
      bSetQuery(rest, nSpan(rest, hash));
    } else {
      bSetQuery(rest);
    }
  } else if (*cur == '#') {
    bSetFragment(cur + 1);
  }
  return 0;
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
