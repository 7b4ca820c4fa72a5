// One-call URL functions for callers that hold no cZuUrl record. Each parses
// on its own stack (about 18 KiB), is reentrant and does not allocate.
#ifndef URLKEYS_FLAT_H
#define URLKEYS_FLAT_H

#include "export.h"
#include "ip.h"

// Parses `url` and copies its scheme (256 bytes), hostname (1024), port text
// (256), user (256), password (256) and path (4096) into the given buffers,
// each at least the size shown; empty components give empty strings. A null
// buffer is skipped.
URLKEYS_API void vZuParseUrl(char* url, char* scheme, char* hostname, char* port, char* user,
                             char* password, char* path);
// 1 when the host of `url` is written as an IPv4 number, else 0.
URLKEYS_API int bIsUrlIp(char* url);
// Writes the host of `url` as a dotted quad into `out` (ZU_DOTTED_QUAD_SIZE bytes) and
// returns 1; for a host that is not numeric writes "000.000.000.000", returns 0.
URLKEYS_API int bDottedQuadIp(char* url, char* out);

#endif
