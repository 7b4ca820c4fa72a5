// Tests on host text: whether it has the form of a numeric IPv4 host
// (bIsAuthIp), and whether a dotted quad lies in a private, loopback or
// this-network range (bIsPrivateIp). Neither decodes numbers.
#include "urlkeys/ip.h"

#include "common/ascii.h"

namespace {

using urlkeys::common::bIsDigit;

constexpr bool bIsOctal(char c) { return c >= '0' && c <= '7'; }
constexpr bool bIsHexGroupChar(char c) { return bIsDigit(c) || (c >= 'a' && c <= 'f') || c == 'x'; }

// True when `text` begins with `prefix`. Stops at the first difference, so
// it never reads past the end of a shorter text.
bool bHasPrefix(const char* text, const char* prefix) {
  for (; *prefix != '\0'; ++text, ++prefix) {
    if (*text != *prefix) return false;
  }
  return true;
}

}  // namespace

int bIsAuthIp(const char* host) {
  const char* p = host;
  bool dotted = false;
  for (;;) {
    // p is at the first character of a group.
    if (!bIsDigit(*p)) return 0;
    if (p[0] == '0' && p[1] == 'x') {
      p += 2;  // hexadecimal: may be just "0x"
      while (bIsHexGroupChar(*p)) ++p;
    } else if (p[0] == '0') {
      ++p;
      while (bIsOctal(*p)) ++p;
    } else {
      ++p;
      while (bIsDigit(*p)) ++p;
    }
    if (*p == '\0') return dotted ? 1 : 0;
    if (*p != '.') return 0;
    dotted = true;
    ++p;
    if (*p == '\0') return 1;  // one dot at the very end is allowed
  }
}

int bIsPrivateIp(const char* quad) {
  if (bHasPrefix(quad, "0.") || bHasPrefix(quad, "10.") || bHasPrefix(quad, "127.0.0.") ||
      bHasPrefix(quad, "192.168.")) {
    return 1;
  }
  // "172.16." to "172.31.", compared as text.
  if (!bHasPrefix(quad, "172.")) return 0;
  const char d1 = quad[4];
  if (d1 < '1' || d1 > '3') return 0;
  const char d2 = quad[5];
  const bool in_range = (d1 == '1' && d2 >= '6' && d2 <= '9') || (d1 == '2' && bIsDigit(d2)) ||
                        (d1 == '3' && (d2 == '0' || d2 == '1'));
  return (in_range && quad[6] == '.') ? 1 : 0;
}
