// Fuzz target for the numeric-host functions: bIsAuthIp against its grammar,
// lGetIpFromAuth against the C library's inet_aton where both define the
// value, bGetIpStr's text and bounds, and bIsPrivateIp on its prefixes and on
// the address ranges of canonical dotted quads.
#include <arpa/inet.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "urlkeys/ip.h"

using urlkeys::fuzz::cText;
using urlkeys::fuzz::vCheck;

namespace {

constexpr unsigned char kMarker = 0xA7;

bool bDigit(char c) { return c >= '0' && c <= '9'; }
bool bOctal(char c) { return c >= '0' && c <= '7'; }
bool bHexChar(char c) { return bDigit(c) || (c >= 'a' && c <= 'f') || c == 'x'; }

// The numeric-host grammar: dot-separated groups, each a decimal, octal
// ("0" then 0-7) or hexadecimal ("0x" then 0-9, a-f, x) number; at least
// one dot; a single dot may end the text.
int nGrammar(const char* s) {
  if (!bDigit(s[0])) return 0;
  bool dot = false;
  size_t i = 0;
  for (;;) {
    if (!bDigit(s[i])) return 0;
    if (s[i] == '0' && s[i + 1] == 'x') {
      i += 2;
      while (bHexChar(s[i])) ++i;
    } else if (s[i] == '0') {
      ++i;
      while (bOctal(s[i])) ++i;
    } else {
      ++i;
      while (bDigit(s[i])) ++i;
    }
    if (s[i] == '\0') return dot ? 1 : 0;
    if (s[i] != '.') return 0;
    dot = true;
    ++i;
    if (s[i] == '\0') return 1;
  }
}

// Value of one group when it is a plain number: decimal, octal with its
// leading 0, or hexadecimal with at least one digit after "0x" and no
// further 'x'. False for anything else, or a value above 2^32.
bool bGroupValue(const std::string& g, unsigned long long* v) {
  if (g.empty() || g.size() > 40) return false;
  unsigned base = 10;
  size_t i = 0;
  if (g.size() >= 2 && g[0] == '0' && g[1] == 'x') {
    base = 16;
    i = 2;
    if (g.size() == 2) return false;
  } else if (g[0] == '0') {
    base = 8;
  }
  unsigned long long val = 0;
  for (; i < g.size(); ++i) {
    const char c = g[i];
    unsigned d;
    if (bDigit(c)) {
      d = static_cast<unsigned>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      d = static_cast<unsigned>(c - 'a' + 10);
    } else {
      return false;
    }
    if (d >= base) return false;
    val = val * base + d;
    if (val > 0xFFFFFFFFull) return false;
  }
  *v = val;
  return true;
}

// For a host the grammar accepts, with 2 to 4 groups that are all plain
// numbers and each within the bytes it fills, sets `addr` to the address
// and returns true; inet_aton defines the same value for these hosts.
bool bPlainAddress(const char* s, unsigned long* addr) {
  if (std::strlen(s) > 1023) return false;
  std::vector<std::string> groups;
  std::string cur;
  for (const char* p = s;; ++p) {
    if (*p == '.' || *p == '\0') {
      groups.push_back(cur);
      cur.clear();
      if (*p == '\0') break;
    } else {
      cur.push_back(*p);
    }
  }
  if (groups.size() < 2 || groups.size() > 4) return false;
  unsigned long long v[4];
  for (size_t i = 0; i < groups.size(); ++i) {
    if (!bGroupValue(groups[i], &v[i])) return false;
  }
  const size_t n = groups.size();
  for (size_t i = 0; i + 1 < n; ++i) {
    if (v[i] > 255) return false;
  }
  const unsigned long long last_max = 0xFFFFFFFFull >> (8 * (n - 1));
  if (v[n - 1] > last_max) return false;
  unsigned long long a = 0;
  for (size_t i = 0; i + 1 < n; ++i) a |= v[i] << (24 - 8 * i);
  *addr = static_cast<unsigned long>(a | v[n - 1]);
  return true;
}

// Private, loopback or this-network range of an address, by its bytes.
bool bPrivateRange(unsigned long a) {
  const unsigned b0 = (a >> 24) & 255, b1 = (a >> 16) & 255, b2 = (a >> 8) & 255;
  return b0 == 0 || b0 == 10 || (b0 == 127 && b1 == 0 && b2 == 0) || (b0 == 192 && b1 == 168) ||
         (b0 == 172 && b1 >= 16 && b1 <= 31);
}

bool bPrivatePrefix(const char* s) {
  static const char* const kPrefixes[] = {"0.", "10.", "127.0.0.", "192.168."};
  for (const char* p : kPrefixes) {
    if (std::strncmp(s, p, std::strlen(p)) == 0) return true;
  }
  if (std::strncmp(s, "172.", 4) != 0) return false;
  for (int b = 16; b <= 31; ++b) {
    char pre[8];
    std::snprintf(pre, sizeof pre, "%d.", b);
    if (std::strncmp(s + 4, pre, 3) == 0) return true;
  }
  return false;
}

// bGetIpStr into a marked buffer: returns the text after checking the
// result, the terminator and that nothing past the buffer size was written.
std::string sQuad(long v) {
  unsigned char out[40];
  std::memset(out, kMarker, sizeof out);
  vCheck(bGetIpStr(v, reinterpret_cast<char*>(out)) == 1, "bGetIpStr returns 1");
  for (size_t i = ZU_DOTTED_QUAD_SIZE; i < sizeof out; ++i)
    vCheck(out[i] == kMarker, "bGetIpStr overran its buffer");
  vCheck(std::memchr(out, 0, ZU_DOTTED_QUAD_SIZE) != nullptr, "dotted quad unterminated");
  const std::string s(reinterpret_cast<char*>(out));
  char want[ZU_DOTTED_QUAD_SIZE] = "000.000.000.000";
  if (v != 0) {
    const unsigned long u = static_cast<unsigned long>(v);
    std::snprintf(want, sizeof want, "%lu.%lu.%lu.%lu", (u >> 24) & 255, (u >> 16) & 255,
                  (u >> 8) & 255, u & 255);
  }
  vCheck(s == want, "bGetIpStr writes the low 32 bits as a dotted quad");
  return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const cText text(data, size);
  const char* host = text.get();

  const int is_ip = bIsAuthIp(host);
  vCheck(is_ip == nGrammar(host), "bIsAuthIp follows the numeric-host grammar");

  int dots = -1;
  const long value = lGetIpFromAuth(host, &dots);
  vCheck(dots == 0 || dots == 1, "too-many-dots flag is 0 or 1");
  if (dots == 1) {
    vCheck(value == 0, "a fourth dot gives 0");
    int seen = 0;
    for (const char* p = host; *p != '\0'; ++p) seen += *p == '.' ? 1 : 0;
    vCheck(seen >= 4, "the flag needs a fourth dot");
  }
  if (!bDigit(host[0]) || std::strlen(host) > 1023) vCheck(value == 0, "not a numeric host");

  unsigned long addr = 0;
  if (is_ip == 1 && bPlainAddress(host, &addr)) {
    struct in_addr libc;
    vCheck(inet_aton(host, &libc) != 0, "inet_aton accepts a plain numeric host");
    vCheck(ntohl(libc.s_addr) == addr, "model agrees with inet_aton");
    vCheck(dots == 0, "no flag for at most four parts");
    vCheck(static_cast<unsigned long>(value) == addr, "lGetIpFromAuth agrees with inet_aton");
    const std::string quad = sQuad(value);
    if (value != 0) {
      char ntop[INET_ADDRSTRLEN];
      vCheck(inet_ntop(AF_INET, &libc, ntop, sizeof ntop) != nullptr, "inet_ntop");
      vCheck(quad == ntop, "dotted quad agrees with inet_ntop");
      vCheck(bIsPrivateIp(quad.c_str()) == (bPrivateRange(addr) ? 1 : 0),
             "bIsPrivateIp on a canonical quad follows the address ranges");
    }
  }
  sQuad(value);

  // Any 64-bit value, from the first bytes of the input.
  long any = 0;
  if (size != 0) std::memcpy(&any, data, size < sizeof any ? size : sizeof any);
  const std::string any_quad = sQuad(any);
  if (any_quad != "000.000.000.000") {
    vCheck(
        bIsPrivateIp(any_quad.c_str()) == (bPrivateRange(static_cast<unsigned long>(any)) ? 1 : 0),
        "bIsPrivateIp follows the address ranges");
  }

  vCheck(bIsPrivateIp(host) == (bPrivatePrefix(host) ? 1 : 0), "bIsPrivateIp tests its prefixes");
  return 0;
}
