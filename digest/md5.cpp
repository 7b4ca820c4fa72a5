// MD5 (RFC 1321): block compression, incremental context, padding and the
// lowercase hex form of a digest.
#include "md5.h"

#include <cstddef>
#include <cstring>

#include "common/byte_order.h"

namespace {

// MD5 reads its message words and writes its length and digest
// little-endian on every host.
using urlkeys::common::nLoadLittle32;
using urlkeys::common::vStoreLittle32;
using urlkeys::common::vStoreLittle64;

// Rotation left by 1 to 31 bits; compiles to one instruction.
inline uint32_t nRotl(uint32_t v, int s) { return (v << s) | (v >> (32 - s)); }

// The four round functions, written so that the newest value (x) comes in
// as late as possible: the chain through it is what bounds the speed. G adds
// its two halves instead of or-ing them, which gives the same bits since they
// have no bit in common.
#define MD5_F(x, y, z) ((z) ^ ((x) & ((y) ^ (z))))
#define MD5_G(x, y, z) (((x) & (z)) + ((y) & ~(z)))
#define MD5_H(x, y, z) ((x) ^ ((y) ^ (z)))
#define MD5_I(x, y, z) ((y) ^ ((x) | ~(z)))

// The message word and constant are added first: they do not wait for b.
#define MD5_STEP(f, a, b, c, d, x, t, s) \
  (a) += (x) + static_cast<uint32_t>(t); \
  (a) += f((b), (c), (d));               \
  (a) = nRotl((a), (s));                 \
  (a) += (b)

// Compresses `blocks` consecutive 64-byte blocks at p into state. Keeping the
// loop here lets the chaining values stay in registers across blocks.
void vMd5Blocks(uint32_t state[4], const unsigned char* p, size_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks != 0; --blocks, p += 64) {
    const uint32_t x0 = nLoadLittle32(p), x1 = nLoadLittle32(p + 4), x2 = nLoadLittle32(p + 8),
                   x3 = nLoadLittle32(p + 12), x4 = nLoadLittle32(p + 16),
                   x5 = nLoadLittle32(p + 20), x6 = nLoadLittle32(p + 24),
                   x7 = nLoadLittle32(p + 28), x8 = nLoadLittle32(p + 32),
                   x9 = nLoadLittle32(p + 36), x10 = nLoadLittle32(p + 40),
                   x11 = nLoadLittle32(p + 44), x12 = nLoadLittle32(p + 48),
                   x13 = nLoadLittle32(p + 52), x14 = nLoadLittle32(p + 56),
                   x15 = nLoadLittle32(p + 60);
    const uint32_t aa = a, bb = b, cc = c, dd = d;

    MD5_STEP(MD5_F, a, b, c, d, x0, 0xd76aa478, 7);
    MD5_STEP(MD5_F, d, a, b, c, x1, 0xe8c7b756, 12);
    MD5_STEP(MD5_F, c, d, a, b, x2, 0x242070db, 17);
    MD5_STEP(MD5_F, b, c, d, a, x3, 0xc1bdceee, 22);
    MD5_STEP(MD5_F, a, b, c, d, x4, 0xf57c0faf, 7);
    MD5_STEP(MD5_F, d, a, b, c, x5, 0x4787c62a, 12);
    MD5_STEP(MD5_F, c, d, a, b, x6, 0xa8304613, 17);
    MD5_STEP(MD5_F, b, c, d, a, x7, 0xfd469501, 22);
    MD5_STEP(MD5_F, a, b, c, d, x8, 0x698098d8, 7);
    MD5_STEP(MD5_F, d, a, b, c, x9, 0x8b44f7af, 12);
    MD5_STEP(MD5_F, c, d, a, b, x10, 0xffff5bb1, 17);
    MD5_STEP(MD5_F, b, c, d, a, x11, 0x895cd7be, 22);
    MD5_STEP(MD5_F, a, b, c, d, x12, 0x6b901122, 7);
    MD5_STEP(MD5_F, d, a, b, c, x13, 0xfd987193, 12);
    MD5_STEP(MD5_F, c, d, a, b, x14, 0xa679438e, 17);
    MD5_STEP(MD5_F, b, c, d, a, x15, 0x49b40821, 22);

    MD5_STEP(MD5_G, a, b, c, d, x1, 0xf61e2562, 5);
    MD5_STEP(MD5_G, d, a, b, c, x6, 0xc040b340, 9);
    MD5_STEP(MD5_G, c, d, a, b, x11, 0x265e5a51, 14);
    MD5_STEP(MD5_G, b, c, d, a, x0, 0xe9b6c7aa, 20);
    MD5_STEP(MD5_G, a, b, c, d, x5, 0xd62f105d, 5);
    MD5_STEP(MD5_G, d, a, b, c, x10, 0x02441453, 9);
    MD5_STEP(MD5_G, c, d, a, b, x15, 0xd8a1e681, 14);
    MD5_STEP(MD5_G, b, c, d, a, x4, 0xe7d3fbc8, 20);
    MD5_STEP(MD5_G, a, b, c, d, x9, 0x21e1cde6, 5);
    MD5_STEP(MD5_G, d, a, b, c, x14, 0xc33707d6, 9);
    MD5_STEP(MD5_G, c, d, a, b, x3, 0xf4d50d87, 14);
    MD5_STEP(MD5_G, b, c, d, a, x8, 0x455a14ed, 20);
    MD5_STEP(MD5_G, a, b, c, d, x13, 0xa9e3e905, 5);
    MD5_STEP(MD5_G, d, a, b, c, x2, 0xfcefa3f8, 9);
    MD5_STEP(MD5_G, c, d, a, b, x7, 0x676f02d9, 14);
    MD5_STEP(MD5_G, b, c, d, a, x12, 0x8d2a4c8a, 20);

    MD5_STEP(MD5_H, a, b, c, d, x5, 0xfffa3942, 4);
    MD5_STEP(MD5_H, d, a, b, c, x8, 0x8771f681, 11);
    MD5_STEP(MD5_H, c, d, a, b, x11, 0x6d9d6122, 16);
    MD5_STEP(MD5_H, b, c, d, a, x14, 0xfde5380c, 23);
    MD5_STEP(MD5_H, a, b, c, d, x1, 0xa4beea44, 4);
    MD5_STEP(MD5_H, d, a, b, c, x4, 0x4bdecfa9, 11);
    MD5_STEP(MD5_H, c, d, a, b, x7, 0xf6bb4b60, 16);
    MD5_STEP(MD5_H, b, c, d, a, x10, 0xbebfbc70, 23);
    MD5_STEP(MD5_H, a, b, c, d, x13, 0x289b7ec6, 4);
    MD5_STEP(MD5_H, d, a, b, c, x0, 0xeaa127fa, 11);
    MD5_STEP(MD5_H, c, d, a, b, x3, 0xd4ef3085, 16);
    MD5_STEP(MD5_H, b, c, d, a, x6, 0x04881d05, 23);
    MD5_STEP(MD5_H, a, b, c, d, x9, 0xd9d4d039, 4);
    MD5_STEP(MD5_H, d, a, b, c, x12, 0xe6db99e5, 11);
    MD5_STEP(MD5_H, c, d, a, b, x15, 0x1fa27cf8, 16);
    MD5_STEP(MD5_H, b, c, d, a, x2, 0xc4ac5665, 23);

    MD5_STEP(MD5_I, a, b, c, d, x0, 0xf4292244, 6);
    MD5_STEP(MD5_I, d, a, b, c, x7, 0x432aff97, 10);
    MD5_STEP(MD5_I, c, d, a, b, x14, 0xab9423a7, 15);
    MD5_STEP(MD5_I, b, c, d, a, x5, 0xfc93a039, 21);
    MD5_STEP(MD5_I, a, b, c, d, x12, 0x655b59c3, 6);
    MD5_STEP(MD5_I, d, a, b, c, x3, 0x8f0ccc92, 10);
    MD5_STEP(MD5_I, c, d, a, b, x10, 0xffeff47d, 15);
    MD5_STEP(MD5_I, b, c, d, a, x1, 0x85845dd1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x8, 0x6fa87e4f, 6);
    MD5_STEP(MD5_I, d, a, b, c, x15, 0xfe2ce6e0, 10);
    MD5_STEP(MD5_I, c, d, a, b, x6, 0xa3014314, 15);
    MD5_STEP(MD5_I, b, c, d, a, x13, 0x4e0811a1, 21);
    MD5_STEP(MD5_I, a, b, c, d, x4, 0xf7537e82, 6);
    MD5_STEP(MD5_I, d, a, b, c, x11, 0xbd3af235, 10);
    MD5_STEP(MD5_I, c, d, a, b, x2, 0x2ad7d2bb, 15);
    MD5_STEP(MD5_I, b, c, d, a, x9, 0xeb86d391, 21);

    a += aa;
    b += bb;
    c += cc;
    d += dd;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

#undef MD5_STEP
#undef MD5_F
#undef MD5_G
#undef MD5_H
#undef MD5_I

// Finishes a digest: `r` (< 64) waiting bytes at `tail`, `count` bytes in all.
// Appends 0x80, zeros up to 8 bytes short of a block end (one more block when
// fewer than 9 bytes are left in this one) and the bit length, little-endian.
void vMd5Finish(uint32_t state[4], const unsigned char* tail, size_t r, uint64_t count) {
  unsigned char last[128];
  if (r != 0) std::memcpy(last, tail, r);
  last[r] = 0x80;
  const size_t total = r < 56 ? 64 : 128;
  std::memset(last + r + 1, 0, total - 8 - (r + 1));
  vStoreLittle64(last + total - 8, count << 3);
  vMd5Blocks(state, last, total / 64);
}

constexpr uint32_t kMd5Init[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};

// Two lowercase hex digits for each byte value.
constexpr char kHexPairs[] =
    "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f"
    "202122232425262728292a2b2c2d2e2f303132333435363738393a3b3c3d3e3f"
    "404142434445464748494a4b4c4d4e4f505152535455565758595a5b5c5d5e5f"
    "606162636465666768696a6b6c6d6e6f707172737475767778797a7b7c7d7e7f"
    "808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f"
    "a0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebf"
    "c0c1c2c3c4c5c6c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedf"
    "e0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3f4f5f6f7f8f9fafbfcfdfeff";

}  // namespace

void vMd5WriteHex(const unsigned char digest[16], char* out) {
  for (size_t i = 0; i < 16; ++i) std::memcpy(out + 2 * i, kHexPairs + 2 * size_t{digest[i]}, 2);
  out[32] = '\0';
}

char* Md5Hex(const char* data, char* out, uint64_t length) {
  // Whole blocks straight from `data`, then the padded tail. The byte count
  // is one 64-bit number, so the bit length wraps modulo 2^64 as RFC 1321 asks.
  uint32_t state[4] = {kMd5Init[0], kMd5Init[1], kMd5Init[2], kMd5Init[3]};
  const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
  const uint64_t whole = length / 64;
  vMd5Blocks(state, p, static_cast<size_t>(whole));
  vMd5Finish(state, p + whole * 64, static_cast<size_t>(length & 63), length);
  unsigned char digest[16];
  for (size_t i = 0; i < 4; ++i) vStoreLittle32(digest + 4 * i, state[i]);
  vMd5WriteHex(digest, out);
  return out;
}
