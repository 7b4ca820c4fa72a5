// The MD5 message digest (RFC 1321): an incremental context and a one-shot
// hex form. Internal to the library; vMd5FromUrl is the exported entry.
#ifndef URLKEYS_DIGEST_MD5_H
#define URLKEYS_DIGEST_MD5_H

#include <cstdint>

// Working context of one digest. Only the digest it produces is meaningful;
// the fields are laid out for speed.
struct Md5Context {
  uint64_t lCount;             // bytes fed so far, modulo 2^64
  uint32_t lState[4];          // chaining values A, B, C, D
  unsigned char sBuffer[64];   // the incomplete block, lCount % 64 bytes
};

// Starts a digest: no bytes counted, the RFC 1321 initial chaining values.
void Md5Init(Md5Context* ctx);

// Feeds `length` bytes of `data` (which may hold NUL bytes; may be null when
// `length` is 0). Whole blocks are compressed straight from `data`; only a
// trailing partial block is copied into the context.
void Md5Update(Md5Context* ctx, const void* data, uint64_t length);

// Pads, appends the bit length and writes the 16-byte digest. The context must
// be started again with Md5Init before it is reused.
void Md5Final(Md5Context* ctx, unsigned char digest[16]);

// One shot: the digest of `length` bytes of `data` as 32 lowercase hex
// characters and a NUL, written into `out` (exactly 33 bytes). Returns `out`.
// Allocates nothing and touches no shared state.
char* Md5Hex(const char* data, char* out, uint64_t length);

// Writes `digest` as 32 lowercase hex characters and a NUL (33 bytes).
void vMd5WriteHex(const unsigned char digest[16], char* out);

#endif
