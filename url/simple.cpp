// Read operations on a parsed record: the numeric-host test, the reversed
// host (cached in auth_rev) and the simplified URL.
#include "urlkeys/domain.h"
#include "urlkeys/ip.h"
#include "urlkeys/url.h"

#include <cstdint>
#include <cstring>

#include "common/text_scan.h"

namespace {

static_assert(ZU_SIMPLE_URL_SIZE == 5634, "stored simplified URLs keep their size");
static_assert(ZU_SCHEME_SIZE > 32 && ZU_PORT_STR_SIZE > 32 && ZU_HOSTNAME_SIZE > 32 &&
                  ZU_PATH_SIZE > 32,
              "the field reads and copies below take 32 bytes of a field");

// Length of the text in a record field of `size` bytes, at most size - 1:
// a field a caller left unterminated cannot make a copy run past it. Reads
// only inside the field's array.
inline size_t nFieldLength(const char* field, size_t size) {
  const size_t cap = size - 1;
  // Most fields end within their first 32 bytes: one test finds the end
  // there. Every field holds at least 256 bytes.
  using Ops = urlkeys::common::NativeOps;
  const uint32_t m =
      urlkeys::common::nByteBits<Ops>(Ops::nMask(Ops::vEq(Ops::vLoad(field), '\0'))) |
      urlkeys::common::nByteBits<Ops>(Ops::nMask(Ops::vEq(Ops::vLoad(field + 16), '\0'))) << 16;
  if (m != 0) return urlkeys::common::nLowestBit(m);
  return 32 + strnlen(field + 32, cap - 32);
}

// Copies n bytes of a record field (of at least 256 bytes) to `out`, which
// has room for 32 bytes from here on: up to 32 as one fixed block, whose
// bytes past n are overwritten by what follows or lie past the result's
// terminator.
inline void vCopyFromField(char* out, const char* field, size_t n) {
  if (n <= 32) {
    memcpy(out, field, 32);
  } else {
    urlkeys::common::vCopyBytes(out, field, n);
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
      char quad[ZU_DOTTED_QUAD_SIZE];
      const long ip = lGetIpFromAuth(hostname, &too_many_dots);
      bGetIpStr(ip, quad);
      const size_t n = strnlen(quad, ZU_DOTTED_QUAD_SIZE - 1);
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
