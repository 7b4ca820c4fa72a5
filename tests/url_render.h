// Test helpers for the url record: a one-line rendering of a whole record,
// so one table row pins every field, and exact-size heap copies of inputs.
#ifndef URLKEYS_TESTS_URL_RENDER_H
#define URLKEYS_TESTS_URL_RENDER_H

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "urlkeys/url.h"

namespace urlkeys_test {

// The n bytes at s, with '|', '\\' and bytes outside printable ASCII written
// as \xHH (a line feed is "\x0a").
inline std::string Escaped(const char* s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x20 || c >= 0x7F || c == '|' || c == '\\') {
      char hex[5];
      snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

inline void AppendField(std::string& out, const char* name, const char* field, size_t size) {
  const size_t n = strnlen(field, size);
  if (n == 0) return;
  out += name;
  out += '=';
  out += Escaped(field, n);
  out += '|';
}

// "name=value|" for each non-empty text field in the order url, scheme,
// hostinfo, user, pw, host, port_str, path, query, frag, rev, then always
// "port=N|err=0xN", and "|uninit" when the initialised flag is clear.
inline std::string RenderUrl(const cZuUrl& u) {
  std::string s;
  AppendField(s, "url", u.url, sizeof u.url);
  AppendField(s, "scheme", u.scheme, sizeof u.scheme);
  AppendField(s, "hostinfo", u.hostinfo, sizeof u.hostinfo);
  AppendField(s, "user", u.user, sizeof u.user);
  AppendField(s, "pw", u.password, sizeof u.password);
  AppendField(s, "host", u.hostname, sizeof u.hostname);
  AppendField(s, "port_str", u.port_str, sizeof u.port_str);
  AppendField(s, "path", u.path, sizeof u.path);
  AppendField(s, "query", u.query, sizeof u.query);
  AppendField(s, "frag", u.fragment, sizeof u.fragment);
  AppendField(s, "rev", u.auth_rev, sizeof u.auth_rev);
  char tail[64];
  snprintf(tail, sizeof tail, "port=%d|err=0x%x%s", u.port, u.errors,
           u.initialised ? "" : "|uninit");
  return s + tail;
}

// A heap copy of the first n bytes of `text` plus a NUL, in exactly n + 1
// bytes, so that a read past the terminator is caught by AddressSanitizer.
inline std::unique_ptr<char[]> ExactCopy(const char* text, size_t n) {
  std::unique_ptr<char[]> copy(new char[n + 1]);
  memcpy(copy.get(), text, n);
  copy[n] = '\0';
  return copy;
}
inline std::unique_ptr<char[]> ExactCopy(const char* text) { return ExactCopy(text, strlen(text)); }

}  // namespace urlkeys_test

#endif
