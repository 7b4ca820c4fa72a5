// The url record cZuUrl: a URL split into fixed-size, NUL-terminated fields,
// with its parser, error flags, simplified URL and reversed host.
//
// Lifetime and objects rules of urlkeys.h: a change is a setter, init,
// freemem or a parse, and bGetAuthRev also writes (a cache). The record
// never allocates; it takes about 18 KiB.
#ifndef URLKEYS_URL_H
#define URLKEYS_URL_H

#include "export.h"

// Error flags of cZuUrl::errors, with the message strGetError gives for each.
// When several are set, the lowest flag's message wins.
#define ZU_ERR_GENERAL 0x01      /* "general parsing error" (never set by the library) */
#define ZU_ERR_HOST1 0x02        /* "host parsing error 1": '[' host without ']' */
#define ZU_ERR_HOST2 0x04        /* "host parsing error 2": port is not a number */
#define ZU_ERR_HOST3 0x08        /* "host parsing error 3": bParseHostinfo code 3 */
#define ZU_ERR_NO_AUTHORITY 0x10 /* "parsing error no authority": empty hostname */
#define ZU_ERR_NO_SCHEME 0x20    /* "parsing error no scheme": empty scheme */

// Field capacities in bytes (each field holds at most capacity - 1 characters).
#define ZU_URL_SIZE 4096
#define ZU_HOSTINFO_SIZE 1024
#define ZU_PASSWORD_SIZE 256
#define ZU_HOSTNAME_SIZE 1024
#define ZU_AUTH_REV_SIZE 1024
#define ZU_PORT_STR_SIZE 256
#define ZU_FRAGMENT_SIZE 4096
#define ZU_SCHEME_SIZE 256
#define ZU_QUERY_SIZE 2048
#define ZU_USER_SIZE 256
#define ZU_PATH_SIZE 4096

// Minimum size of the buffer given to cZuUrl::bGetSimpleUrl (5634): the
// longest scheme, "://", hostname, ':', port text, '/', path, and the NUL.
#define ZU_SIMPLE_URL_SIZE                                                              \
  ((ZU_SCHEME_SIZE - 1) + 3 + (ZU_HOSTNAME_SIZE - 1) + 1 + (ZU_PORT_STR_SIZE - 1) + 1 + \
   (ZU_PATH_SIZE - 1) + 1)

class URLKEYS_API cZuUrl {
 public:
  int port;                       // numeric port; 0 when the URL names none
  void* reserved;                 // always null; read by nothing
  unsigned char initialised : 1;  // set by init, cleared by freemem
  unsigned char reserved_flag1 : 1;
  unsigned char reserved_flag2 : 1;
  char url[ZU_URL_SIZE];            // the URL after percent-decoding
  char hostinfo[ZU_HOSTINFO_SIZE];  // the whole authority
  char password[ZU_PASSWORD_SIZE];
  char hostname[ZU_HOSTNAME_SIZE];  // lower-case, no trailing spaces
  char auth_rev[ZU_AUTH_REV_SIZE];  // hostname labels reversed (bGetAuthRev cache)
  char port_str[ZU_PORT_STR_SIZE];  // port as written
  char fragment[ZU_FRAGMENT_SIZE];
  char scheme[ZU_SCHEME_SIZE];  // lower-case
  char query[ZU_QUERY_SIZE];
  char user[ZU_USER_SIZE];
  char path[ZU_PATH_SIZE];  // without its leading '/'
  unsigned int errors;      // ZU_ERR_* flags; 0 means no error

  // Empty record (text fields empty, errors and port 0), not initialised:
  // call init() before use.
  cZuUrl();
  // Initialises, parses `text` (bParseUrl) and records the outcome in `errors`.
  explicit cZuUrl(const char* text);
  ~cZuUrl();

  // Empties every text field and sets `initialised`; errors and port become 0.
  void init();
  // Empties every text field and clears `initialised`; errors and port stay.
  void freemem();

  // Setters copy at most the field's capacity - 1 characters (fewer when the
  // source ends first) and terminate the field; all return 0. They read no
  // more than min(len, capacity - 1) bytes, so the source need not be
  // terminated after `len` bytes. A negative length copies nothing and a
  // null source counts as empty text. The source may lie inside the record.
  int bSetUrl(const char* src);
  int bSetHostinfo(const char* src, int len);
  int bSetHostinfo(const char* src);
  int bSetScheme(const char* src, int len);  // lower-cases the field
  int bSetUser(const char* src, int len);
  int bSetPassword(const char* src, int len);
  // Lower-cases and drops trailing spaces (all of them, so "   " stores an
  // empty name), but only when the copy took all min(len, 1023) characters:
  // a source that ends before `len` keeps its trailing spaces.
  int bSetHostname(const char* src, int len);
  int bSetPort_str(const char* src, int len);
  int bSetPort_str(const char* src);
  int bSetQuery(const char* src, int len);
  int bSetQuery(const char* src);
  // Skips one leading '/' or '\\', then copies min(len, 4095) characters and
  // drops a final '?' or '#' (so it may read one byte past the span).
  int bSetPath(const char* src, int len);
  int bSetFragment(const char* src);
  int bSetPort(long value);  // stores the low 32 bits, signed

  // Default port of a scheme name (case-insensitive), or 0; null gives 0.
  int nPortOfScheme(const char* scheme);
  // ORs into `errors` the flag for parse code 1-3 and the no-scheme and
  // no-authority flags; returns the error word. Flags are never removed.
  int bSetErrors(int code);
  // Message of the lowest error flag set, or null. Constant text.
  const char* strGetError();
  // Prints each non-empty field on its own line to standard output; returns 0.
  int bDebugPrint();

  // Parses URL text into the (initialised, empty) record; writes only the
  // fields it finds. Returns 0, 1 ('[' host without ']') or 2 (bad port).
  // Text without "://" in its first 8 characters is read as "//" + text.
  // The parse works on a copy of at most 4095 characters, held in `url`:
  // the first 4095 characters of text with a scheme, else "//" and the
  // first 4093. A null text parses as empty text. The port text is read as
  // a decimal number after leading blanks (space, \t, \v, \f, \r) and one
  // sign, clamped to the signed 64-bit range; its low 32 bits, signed,
  // become `port`. An empty port ("host:") takes the scheme's default port.
  int bParseUrl(const char* text);
  // Parses a bare "host:port" authority. Returns 0, 1 (bad brackets),
  // 2 (no ':') or 3 (empty port, or text after the port digits). The port
  // is read as in bParseUrl, but its low 16 bits are kept (0 to 65535).
  int bParseHostinfo(const char* text);

  // 1 when the record is initialised and its hostname is a numeric IPv4 host.
  int bIsIp();
  // The hostname with its labels reversed, cached in `auth_rev` on first use.
  char* bGetAuthRev();
  // Writes scheme "://", canonical host, ":" port_str and "/" path (trailing
  // slashes removed) into `out`, which must hold ZU_SIMPLE_URL_SIZE
  // bytes. Returns 1 when a numeric host had more than four parts, else 0.
  int bGetSimpleUrl(char* out);
};

#endif
