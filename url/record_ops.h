// Inline forms of init, freemem's emptying and bSetErrors, and the parse
// that also gives field lengths: the parsing constructors in url/ and lcp/
// use them on their hot path. Private to the library.
#ifndef URLKEYS_URL_RECORD_OPS_H
#define URLKEYS_URL_RECORD_OPS_H

#include <cstddef>

#include "urlkeys/url.h"

namespace urlkeys::url {

// Empties the eleven text fields (their first bytes only).
inline void vEmptyFields(cZuUrl& u) {
  u.url[0] = '\0';
  u.hostinfo[0] = '\0';
  u.password[0] = '\0';
  u.hostname[0] = '\0';
  u.auth_rev[0] = '\0';
  u.port_str[0] = '\0';
  u.fragment[0] = '\0';
  u.scheme[0] = '\0';
  u.query[0] = '\0';
  u.user[0] = '\0';
  u.path[0] = '\0';
}

// What init() does: empty fields, initialised, no errors, port 0.
inline void vInitRecord(cZuUrl& u) {
  vEmptyFields(u);
  u.initialised = 1;
  u.reserved_flag1 = 0;
  u.reserved_flag2 = 0;
  u.reserved = nullptr;
  u.errors = 0;
  u.port = 0;
}

// What bSetErrors(code) does: adds the flag of parse code 1 to 3 and the
// no-scheme and no-authority flags; returns the error word.
inline int nAddErrors(cZuUrl& u, int code) {
  switch (code) {
    case 1: u.errors |= ZU_ERR_HOST1; break;
    case 2: u.errors |= ZU_ERR_HOST2; break;
    case 3: u.errors |= ZU_ERR_HOST3; break;
    default: break;
  }
  if (u.scheme[0] == '\0') u.errors |= ZU_ERR_NO_SCHEME;
  if (u.hostname[0] == '\0') u.errors |= ZU_ERR_NO_AUTHORITY;
  return static_cast<int>(u.errors);
}

// Lengths of the fields a parse stored, so that callers need not measure
// them again; a field the parse did not write keeps 0 (the record was
// initialised, so it is empty).
struct FieldLengths {
  size_t hostname = 0;
  size_t path = 0;
};

// bParseUrl on an initialised, empty record, also giving the lengths of the
// hostname and path it stored.
int nParseKeepingLengths(cZuUrl& u, const char* text, FieldLengths& lengths);

}  // namespace urlkeys::url

#endif
