// Numeric IPv4 hosts: decoding dotted decimal, octal and hexadecimal forms
// into an address value (lGetIpFromAuth), and writing a value as a dotted
// quad (bGetIpStr). All arithmetic is unsigned 64-bit and wraps.
#include <cstdint>
#include <cstring>

#include "common/ascii.h"
#include "ip/quad_text.h"
#include "urlkeys/ip.h"

namespace {

// Longest host and longest part that are decoded; longer ones are not numeric.
constexpr std::size_t kMaxHostLength = 1023;
constexpr std::size_t kMaxPartLength = 255;
// A host has at most this many dots, so at most four parts.
constexpr int kMaxDots = 3;

using urlkeys::common::bIsDigit;
using urlkeys::common::cLower;

// Characters allowed after the first: the dot, digits, a-f and x, in either case.
constexpr bool bIsAdmitted(char c) {
  const char l = cLower(c);
  return l == '.' || bIsDigit(l) || (l >= 'a' && l <= 'f') || l == 'x';
}

// Value of the leading run of decimal digits of s[0..n), 0 when s begins
// with a letter; modulo 2^64.
std::uint64_t nDecimalValue(const char* s, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < n && bIsDigit(s[i]); ++i)
    v = v * 10 + static_cast<unsigned>(s[i] - '0');
  return v;
}

// Value of the octal digits s[0..n) (0 when n is 0), modulo 2^64, into
// *value. Returns false, leaving *value alone, when a character is not an
// octal digit 0-7 ("08", "0x" and "01a" all fail).
bool bGetOctalValue(const char* s, std::size_t n, std::uint64_t* value) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (s[i] < '0' || s[i] > '7') return false;
    v = (v << 3) + static_cast<unsigned>(s[i] - '0');
  }
  *value = v;
  return true;
}

// Value of the hexadecimal digits s[0..n) (0 when n is 0), modulo 2^64.
// Digits are 0-9 and a-f in either case; an "x" (the only other character
// the scan admits) holds its place as the digit 0, so "1x" is 0x10.
std::uint64_t nHexValue(const char* s, std::size_t n) {
  std::uint64_t v = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = cLower(s[i]);
    unsigned d = 0;
    if (bIsDigit(c)) {
      d = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<unsigned>(c - 'a' + 10);
    }
    v = (v << 4) + d;
  }
  return v;
}

// Value of one part s[0..n) of a host that passed the scan, by its length
// and its first two characters:
//   ""                      0
//   "7", "12", "1f0", "x1"  decimal: the leading digits, 0 without any
//   "0x", "07", "09"        octal on the second character; 0 if not 0-7
//   "0xff", "0x1x"          hexadecimal on what follows "0x"
//   "0377", "0400", "018"   octal on what follows the "0"; 0 if not all 0-7
std::uint64_t nPartValue(const char* s, std::size_t n) {
  if (n == 0) return 0;
  if (n == 1 || s[0] != '0') return nDecimalValue(s, n);
  if (n >= 3 && cLower(s[1]) == 'x') return nHexValue(s + 2, n - 2);
  std::uint64_t v = 0;
  return bGetOctalValue(s + 1, n - 1, &v) ? v : 0;
}

// The value of a part after the first: its low 32 bits as a signed number,
// widened again with the sign (2147483648 becomes -2147483648).
std::uint64_t nNarrowed(std::uint64_t v) {
  return static_cast<std::uint64_t>(
      static_cast<std::int64_t>(static_cast<std::int32_t>(static_cast<std::uint32_t>(v))));
}

}  // namespace

long lGetIpFromAuth(const char* host, int* too_many_dots) {
  *too_many_dots = 0;
  if (!bIsDigit(host[0])) return 0;  // also the empty host

  // Scan once: every character admitted, at most three dots, at most
  // kMaxHostLength characters. The first failing condition decides.
  std::size_t dots[kMaxDots];
  int ndots = 0;
  std::size_t len = 1;
  for (; host[len] != '\0'; ++len) {
    if (len == kMaxHostLength) return 0;
    const char c = host[len];
    if (c == '.') {
      if (ndots == kMaxDots) {
        // A fourth dot; an over-long host is refused without the flag.
        if (len + strnlen(host + len, kMaxHostLength + 1 - len) > kMaxHostLength) return 0;
        *too_many_dots = 1;
        return 0;
      }
      dots[ndots++] = len;
    } else if (!bIsAdmitted(c)) {
      return 0;
    }
  }

  std::uint64_t parts[kMaxDots + 1];
  std::size_t start = 0;
  for (int i = 0; i <= ndots; ++i) {
    const std::size_t end = (i < ndots) ? dots[i] : len;
    if (end - start > kMaxPartLength) return 0;
    parts[i] = nPartValue(host + start, end - start);
    start = end + 1;
  }

  // Parts are added, not or-ed, so an over-large part carries upward.
  std::uint64_t sum = parts[0];
  switch (ndots) {
    case 1:  // a.b
      sum = (parts[0] << 24) + nNarrowed(parts[1]);
      break;
    case 2:  // a.b.c
      sum = (parts[0] << 24) + (nNarrowed(parts[1]) << 16) + nNarrowed(parts[2]);
      break;
    case 3:  // a.b.c.d
      sum = (parts[0] << 24) + (nNarrowed(parts[1]) << 16) + (nNarrowed(parts[2]) << 8) +
            nNarrowed(parts[3]);
      break;
    default:  // a
      break;
  }
  return static_cast<long>(sum);
}

int bGetIpStr(long ip, char* out) {
  if (ip == 0) {
    std::memcpy(out, urlkeys::ip::kNoAddress, sizeof urlkeys::ip::kNoAddress);
    return 1;
  }
  const std::uint64_t v = static_cast<std::uint64_t>(ip);
  char* p = out;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const unsigned b = static_cast<unsigned>(v >> shift) & 0xFF;
    if (b >= 100) *p++ = static_cast<char>('0' + b / 100);
    if (b >= 10) *p++ = static_cast<char>('0' + b / 10 % 10);
    *p++ = static_cast<char>('0' + b % 10);
    *p++ = (shift != 0) ? '.' : '\0';
  }
  return 1;
}
