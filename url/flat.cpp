// One-call URL functions: each parses into a temporary record on its own
// stack and copies out what it needs.
#include "urlkeys/flat.h"

#include "urlkeys/ip.h"
#include "urlkeys/url.h"

#include <cstring>

#include "common/text_scan.h"
#include "ip/quad_text.h"

namespace {

// Copies a record field, whole and terminated, into a caller's buffer of at
// least the field's size. A null buffer is skipped.
inline void vCopyOut(char* dst, const char* field, size_t size) {
  if (dst == nullptr) return;
  const size_t n = strnlen(field, size - 1);
  urlkeys::common::vCopyBytes(dst, field, n);
  dst[n] = '\0';
}

}  // namespace

void vZuParseUrl(char* url, char* scheme, char* hostname, char* port, char* user, char* password,
                 char* path) {
  cZuUrl u(url);
  vCopyOut(scheme, u.scheme, sizeof u.scheme);
  vCopyOut(hostname, u.hostname, sizeof u.hostname);
  vCopyOut(port, u.port_str, sizeof u.port_str);
  vCopyOut(user, u.user, sizeof u.user);
  vCopyOut(password, u.password, sizeof u.password);
  vCopyOut(path, u.path, sizeof u.path);
}

int bIsUrlIp(char* url) {
  cZuUrl u(url);
  return bIsAuthIp(u.hostname);
}

int bDottedQuadIp(char* url, char* out) {
  cZuUrl u(url);
  if (bIsAuthIp(u.hostname)) {
    int too_many_dots = 0;  // not reported: such a host converts to 0
    return bGetIpStr(lGetIpFromAuth(u.hostname, &too_many_dots), out);
  }
  memcpy(out, urlkeys::ip::kNoAddress, sizeof urlkeys::ip::kNoAddress);
  return 0;
}
