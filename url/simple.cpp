// Read operations on a parsed record: the numeric-host test, the reversed
// host (cached in auth_rev) and the simplified URL.
#include "urlkeys/domain.h"
#include "urlkeys/ip.h"
#include "urlkeys/url.h"

#include <cstdint>
#include <cstring>

#if defined(__SSE2__) && !defined(URLKEYS_PORTABLE_SCAN)
#include <emmintrin.h>
#endif

#include "url/text_scan.h"

namespace {

static_assert(ZU_SCHEME_SIZE > 32 && ZU_PORT_STR_SIZE > 32 && ZU_HOSTNAME_SIZE > 32 &&
                  ZU_PATH_SIZE > 32,
              "the field reads and copies below take 32 bytes of a field");

// Length of the text in a record field of `size` bytes, at most size - 1:
// a field a caller left unterminated cannot make a copy run past it. Reads
// the field a word at a time, inside its array.
inline size_t nFieldLength(const char* field, size_t size) {
  const size_t cap = size - 1;
#if defined(__SSE2__) && !defined(URLKEYS_PORTABLE_SCAN)
  // Most fields end within their first 32 bytes: one test finds the end
  // there. Every field holds at least 256 bytes.
  const __m128i zero16 = _mm_setzero_si128();
  const unsigned m =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(field)), zero16))) |
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(
          _mm_loadu_si128(reinterpret_cast<const __m128i*>(field + 16)), zero16)))
          << 16;
  if (m != 0) return static_cast<size_t>(__builtin_ctz(m));
  size_t i = 32;
#else
  size_t i = 0;
#endif
  for (; i + 8 <= cap; i += 8) {
    uint64_t w;
    memcpy(&w, field + i, 8);
    // The lowest flagged byte is exactly the first zero byte.
    const uint64_t zero = (w - 0x0101010101010101u) & ~w & 0x8080808080808080u;
    if (zero != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      return i + static_cast<size_t>(__builtin_clzll(zero)) / 8;
#else
      return i + static_cast<size_t>(__builtin_ctzll(zero)) / 8;
#endif
    }
  }
  while (i < cap && field[i] != '\0') ++i;
  return i;
}

// Copies n bytes of a record field (of at least 256 bytes) to `out`, which
// has room for 32 bytes from here on: up to 32 as one fixed block, whose
// bytes past n are overwritten by what follows or lie past the result's
// terminator.
inline void vCopyFromField(char* out, const char* field, size_t n) {
  if (n <= 32) {
    memcpy(out, field, 32);
  } else {
    urlkeys_url::vCopyBytes(out, field, n);
  }
}

// Appends the text of a record field to `out` and returns the new end.
inline char* sAppendField(char* out, const char* field, size_t size) {
  const size_t n = nFieldLength(field, size);
  vCopyFromField(out, field, n);
  return out + n;
}

}  // namespace

int cZuUrl::bIsIp() {
  if (!initialised) return 0;
  return bIsAuthIp(hostname);
}

char* cZuUrl::bGetAuthRev() {
  if (auth_rev[0] != '\0') return auth_rev;
  *sAppendField(auth_rev, hostname, sizeof hostname) = '\0';
  bReverseDomain(auth_rev);
  return auth_rev;
}

int cZuUrl::bGetSimpleUrl(char* out) {
  int too_many_dots = 0;
  char* o = out;
  if (scheme[0] != '\0') {
    o = sAppendField(o, scheme, sizeof scheme);
    memcpy(o, "://", 3);
    o += 3;
  }
  if (hostname[0] != '\0') {
    if (initialised && bIsAuthIp(hostname)) {  // bIsIp()
      char quad[32];
      const long ip = lGetIpFromAuth(hostname, &too_many_dots);
      bGetIpStr(ip, quad);
      const size_t n = strnlen(quad, 15);
      memcpy(o, quad, n);
      o += n;
    } else {
      o = sAppendField(o, hostname, sizeof hostname);
    }
  }
  if (port_str[0] != '\0') {
    *o++ = ':';
    o = sAppendField(o, port_str, sizeof port_str);
  }
  if (path[0] != '\0') {
    // '/' and the path without its trailing slashes; a path of slashes only
    // adds nothing and the removal goes on into what is already written, as
    // far back as the start of `out` (so "http:////" ends as "http:").
    size_t n = nFieldLength(path, sizeof path);
    while (n > 0 && path[n - 1] == '/') --n;
    if (n > 0) {
      *o++ = '/';
      vCopyFromField(o, path, n);
      o += n;
    } else {
      while (o > out && o[-1] == '/') --o;
    }
  }
  *o = '\0';
  return too_many_dots;
}
