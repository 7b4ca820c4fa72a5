// Test helpers for the url record: a one-line rendering of a whole record,
// so one table row pins every field.
#ifndef URLKEYS_TESTS_URL_RENDER_H
#define URLKEYS_TESTS_URL_RENDER_H

#include <cstdio>
#include <cstring>
#include <string>

#include "support.h"
#include "urlkeys/url.h"

namespace urlkeys::test {

// The n bytes at s, with '|', '\\' and bytes outside printable ASCII written
// as \xHH (a line feed is "\x0a").
inline std::string Escaped(const char* s, size_t n) {
  std::string out;
  for (const unsigned char c : std::string(s, n)) {
    char hex[5];
    snprintf(hex, sizeof hex, "\\x%02x", c);
    out += (c < 0x20 || c >= 0x7F || c == '|' || c == '\\') ? std::string(hex)
                                                            : std::string(1, static_cast<char>(c));
  }
  return out;
}

// "name=value|" for each non-empty text field in the order url, scheme,
// hostinfo, user, pw, host, port_str, path, query, frag, rev, then always
// "port=N|err=0xN", and "|uninit" when the initialised flag is clear.
inline std::string RenderUrl(const cZuUrl& u) {
  const struct {
    const char* name;
    const char* field;
    size_t size;
  } fields[] = {{"url", u.url, sizeof u.url},
                {"scheme", u.scheme, sizeof u.scheme},
                {"hostinfo", u.hostinfo, sizeof u.hostinfo},
                {"user", u.user, sizeof u.user},
                {"pw", u.password, sizeof u.password},
                {"host", u.hostname, sizeof u.hostname},
                {"port_str", u.port_str, sizeof u.port_str},
                {"path", u.path, sizeof u.path},
                {"query", u.query, sizeof u.query},
                {"frag", u.fragment, sizeof u.fragment},
                {"rev", u.auth_rev, sizeof u.auth_rev}};
  std::string s;
  for (const auto& f : fields) {
    const size_t n = strnlen(f.field, f.size);
    if (n != 0) s += std::string(f.name) + "=" + Escaped(f.field, n) + "|";
  }
  char tail[64];
  snprintf(tail, sizeof tail, "port=%d|err=0x%x%s", u.port, u.errors,
           u.initialised ? "" : "|uninit");
  return s + tail;
}

}  // namespace urlkeys::test

#endif
