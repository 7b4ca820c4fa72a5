// The MD5 (RFC 1321) digest of a URL as lowercase hex.
#ifndef URLKEYS_DIGEST_H
#define URLKEYS_DIGEST_H

#include "export.h"

// Size of a digest buffer: 32 hex characters and a NUL.
#define ZU_MD5_HEX_SIZE 33

// Writes the MD5 of the strlen(url) bytes of `url` (exactly as given: no
// decoding or case folding) as 32 lowercase hex characters and a NUL into
// `out`, which must hold ZU_MD5_HEX_SIZE bytes; nothing past them is written. Neither
// pointer may be null. Reentrant; does not allocate.
URLKEYS_API void vMd5FromUrl(const char* url, char* out);

#endif
