// The MD5 (RFC 1321) digest of a URL as lowercase hex.
#ifndef URLKEYS_DIGEST_H
#define URLKEYS_DIGEST_H

#include "export.h"

// Writes the MD5 of the strlen(url) bytes of `url` as 32 lowercase hex
// characters and a NUL into `out` (33 bytes). Reentrant; does not allocate.
URLKEYS_API void vMd5FromUrl(const char* url, char* out);

#endif
