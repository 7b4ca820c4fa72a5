// The url record cZuUrl: construction and emptying, the bounded field
// setters, the scheme port table, the error flags and their messages, and
// the diagnostic dump.
#include "urlkeys/url.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/ascii.h"
#include "common/text_scan.h"
#include "url/record_ops.h"

namespace {

using urlkeys::common::cLower;
using urlkeys::common::vLowerAscii;

struct SchemePort {
  const char* name;
  int port;
};

// Default ports, searched in order; the search stops at the null name.
constexpr SchemePort kSchemePorts[] = {
    {"http", 80},     {"ftp", 21},    {"https", 443},   {"gopher", 70},   {"ldap", 389},
    {"nntp", 119},    {"snews", 563}, {"imap", 143},    {"pop", 110},     {"sip", 5060},
    {"rtsp", 554},    {"wais", 210},  {"z39.50r", 210}, {"z39.50s", 210}, {"prospero", 191},
    {"nfs", 2049},    {"tip", 3372},  {"acap", 674},    {"telnet", 23},   {"ssh", 22},
    {nullptr, 65535},
};

struct ErrorMessage {
  unsigned int flag;
  const char* text;
};

// Walked from the top: the lowest flag that is set names the error.
constexpr ErrorMessage kErrorMessages[] = {
    {ZU_ERR_GENERAL, "general parsing error"},
    {ZU_ERR_HOST1, "host parsing error 1"},
    {ZU_ERR_HOST2, "host parsing error 2"},
    {ZU_ERR_HOST3, "host parsing error 3"},
    {ZU_ERR_NO_AUTHORITY, "parsing error no authority"},
    {ZU_ERR_NO_SCHEME, "parsing error no scheme"},
    {0, nullptr},
};

// Copies at most min(len, cap) bytes of `src` into `dst`, stopping early at
// a NUL in the source, and terminates `dst` after them. Reads no more than
// min(len, cap) bytes of `src`; a negative length or a null source copies
// nothing. The regions may overlap. Returns the number of bytes copied.
size_t nCopyField(char* dst, size_t cap, const char* src, long len) {
  size_t k = 0;
  if (src != nullptr && len > 0) {
    k = static_cast<size_t>(len) < cap ? static_cast<size_t>(len) : cap;
    k = strnlen(src, k);
    memmove(dst, src, k);
  }
  dst[k] = '\0';
  return k;
}

// Length of a NUL-terminated source, never more than `cap` (the bytes past
// the cap are never looked at).
inline long nSourceLen(const char* src, size_t cap) {
  return src == nullptr ? 0 : static_cast<long>(strnlen(src, cap));
}

// Prints "<label><field>\n" for a non-empty field, never reading past the
// field's array even if a caller left it unterminated.
void vPrintField(const char* label, const char* field, size_t size) {
  if (field[0] == '\0') return;
  printf("%s%.*s\n", label, static_cast<int>(strnlen(field, size)), field);
}

}  // namespace

cZuUrl::cZuUrl()
    : port(0), reserved(nullptr), initialised(0), reserved_flag1(0), reserved_flag2(0) {
  // Also leave the record empty with no errors, so that a record read before
  // init() holds empty strings instead of stack garbage (a few byte writes).
  urlkeys::url::vEmptyFields(*this);
  errors = 0;
}

cZuUrl::~cZuUrl() { freemem(); }

void cZuUrl::init() { urlkeys::url::vInitRecord(*this); }

void cZuUrl::freemem() {
  urlkeys::url::vEmptyFields(*this);
  initialised = 0;
}

int cZuUrl::bSetUrl(const char* src) {
  nCopyField(url, ZU_URL_SIZE - 1, src, nSourceLen(src, ZU_URL_SIZE - 1));
  return 0;
}

int cZuUrl::bSetHostinfo(const char* src, int len) {
  nCopyField(hostinfo, ZU_HOSTINFO_SIZE - 1, src, len);
  return 0;
}

int cZuUrl::bSetHostinfo(const char* src) {
  nCopyField(hostinfo, ZU_HOSTINFO_SIZE - 1, src, nSourceLen(src, ZU_HOSTINFO_SIZE - 1));
  return 0;
}

int cZuUrl::bSetScheme(const char* src, int len) {
  vLowerAscii(scheme, nCopyField(scheme, ZU_SCHEME_SIZE - 1, src, len));
  return 0;
}

int cZuUrl::bSetUser(const char* src, int len) {
  nCopyField(user, ZU_USER_SIZE - 1, src, len);
  return 0;
}

int cZuUrl::bSetPassword(const char* src, int len) {
  nCopyField(password, ZU_PASSWORD_SIZE - 1, src, len);
  return 0;
}

int cZuUrl::bSetHostname(const char* src, int len) {
  const size_t cap = ZU_HOSTNAME_SIZE - 1;
  size_t n = nCopyField(hostname, cap, src, len);
  // Trailing spaces go only when the copy filled all min(len, cap) positions:
  // a source that ended early keeps its trailing spaces.
  const size_t want =
      len > 0 ? (static_cast<size_t>(len) < cap ? static_cast<size_t>(len) : cap) : 0;
  if (n == want) {
    while (n > 0 && hostname[n - 1] == ' ') hostname[--n] = '\0';
  }
  vLowerAscii(hostname, n);
  return 0;
}

int cZuUrl::bSetPort_str(const char* src, int len) {
  nCopyField(port_str, ZU_PORT_STR_SIZE - 1, src, len);
  return 0;
}

int cZuUrl::bSetPort_str(const char* src) {
  nCopyField(port_str, ZU_PORT_STR_SIZE - 1, src, nSourceLen(src, ZU_PORT_STR_SIZE - 1));
  return 0;
}

int cZuUrl::bSetQuery(const char* src, int len) {
  nCopyField(query, ZU_QUERY_SIZE - 1, src, len);
  return 0;
}

int cZuUrl::bSetQuery(const char* src) {
  nCopyField(query, ZU_QUERY_SIZE - 1, src, nSourceLen(src, ZU_QUERY_SIZE - 1));
  return 0;
}

int cZuUrl::bSetPath(const char* src, int len) {
  const size_t cap = ZU_PATH_SIZE - 1;
  if (src != nullptr && (src[0] == '/' || src[0] == '\\')) {
    // NOTE: the count is not reduced for the skipped separator, so the copy
    // may take the byte just after the span (the parser's '?', '#' or NUL),
    // which the check below then drops.
    ++src;
  }
  const size_t n = nCopyField(path, cap, src, len);
  const size_t want =
      len > 0 ? (static_cast<size_t>(len) < cap ? static_cast<size_t>(len) : cap) : 0;
  if (n > 0 && n == want && (path[n - 1] == '?' || path[n - 1] == '#')) path[n - 1] = '\0';
  return 0;
}

int cZuUrl::bSetFragment(const char* src) {
  nCopyField(fragment, ZU_FRAGMENT_SIZE - 1, src, nSourceLen(src, ZU_FRAGMENT_SIZE - 1));
  return 0;
}

int cZuUrl::bSetPort(long value) {
  port = static_cast<int>(static_cast<uint32_t>(value));
  return 0;
}

int cZuUrl::nPortOfScheme(const char* name) {
  if (name == nullptr) return 0;
  for (const SchemePort* row = kSchemePorts; row->name != nullptr; ++row) {
    // Whole-name match, ASCII case ignored; stops at the shorter text's end.
    const char* a = row->name;
    const char* b = name;
    while (*a != '\0' && *a == cLower(*b)) {
      ++a;
      ++b;
    }
    if (*a == '\0' && *b == '\0') return row->port;
  }
  return 0;
}

int cZuUrl::bSetErrors(int code) { return urlkeys::url::nAddErrors(*this, code); }

const char* cZuUrl::strGetError() {
  if (errors == 0) return nullptr;
  for (const ErrorMessage* row = kErrorMessages; row->flag != 0; ++row) {
    if ((row->flag & errors) != 0) return row->text;
  }
  return nullptr;
}

int cZuUrl::bDebugPrint() {
  vPrintField("url: ", url, sizeof url);
  if (scheme[0] != '\0') {
    printf("scheme: %.*s (%d)\n", static_cast<int>(strnlen(scheme, sizeof scheme)), scheme,
           nPortOfScheme(scheme));
  }
  vPrintField("hostinfo: ", hostinfo, sizeof hostinfo);
  vPrintField("hostname: ", hostname, sizeof hostname);
  vPrintField("auth_rev: ", auth_rev, sizeof auth_rev);
  vPrintField("user: ", user, sizeof user);
  vPrintField("pw: ", password, sizeof password);
  if (port_str[0] != '\0') {
    printf("port: %.*s (%d)\n", static_cast<int>(strnlen(port_str, sizeof port_str)), port_str,
           port);
  }
  vPrintField("query: ", query, sizeof query);
  vPrintField("path: ", path, sizeof path);
  vPrintField("frag: ", fragment, sizeof fragment);
  return 0;
}
