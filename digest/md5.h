// The MD5 message digest (RFC 1321) of a byte span, in hex. Internal to the
// library; vMd5FromUrl is the exported entry.
#ifndef URLKEYS_DIGEST_MD5_H
#define URLKEYS_DIGEST_MD5_H

#include <cstdint>

// One shot: the digest of `length` bytes of `data` as 32 lowercase hex
// characters and a NUL, written into `out` (exactly 33 bytes). Returns `out`.
// Allocates nothing and touches no shared state.
char* Md5Hex(const char* data, char* out, uint64_t length);

// Writes `digest` as 32 lowercase hex characters and a NUL (33 bytes).
void vMd5WriteHex(const unsigned char digest[16], char* out);

#endif
