// Read operations on a parsed record: the numeric-host test, the reversed
// host (cached in auth_rev) and the simplified URL.
#include "urlkeys/domain.h"
#include "urlkeys/ip.h"
#include "urlkeys/url.h"

#include <cstring>

#include "url/text_scan.h"

namespace {

// Appends the text of a record field to `out` and returns the new end. The
// length is bounded by the field's array, so a field a caller left
// unterminated cannot make the copy run past it.
inline char* sAppendField(char* out, const char* field, size_t size) {
  const size_t n = strnlen(field, size - 1);
  urlkeys_url::vCopyBytes(out, field, n);
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
    size_t n = strnlen(path, sizeof path - 1);
    while (n > 0 && path[n - 1] == '/') --n;
    if (n > 0) {
      *o++ = '/';
      urlkeys_url::vCopyBytes(o, path, n);
      o += n;
    } else {
      while (o > out && o[-1] == '/') --o;
    }
  }
  *o = '\0';
  return too_many_dots;
}
