// The few 16-byte block operations the text scans and copies are written
// against, in three forms with identical results:
//   Sse2Ops      x86-64 (and any target with SSE2),
//   NeonOps      little-endian AArch64,
//   PortableOps  every other target: 8-byte words and plain C++.
// NativeOps is the form this build uses; defining URLKEYS_PORTABLE_SCAN
// makes it PortableOps on any target. Private to the library.
//
// A block is 16 bytes loaded from memory, byte i from address p + i. A
// compare result (vEq, vOr of compare results) marks a byte as a hit;
// nMask turns it into a Mask, nTopBits turns any block into the Mask of its
// bytes of 0x80 and above. In a Mask, byte i owns kBitsPerByte bits from bit
// i * kBitsPerByte, all set for a hit: so the lowest set bit gives the first
// hit (nFirst), a shift right by k bytes drops the first k (nDrop), and
// (m & -m) - 1 covers exactly the bytes before the first hit.
#ifndef URLKEYS_COMMON_SIMD_H
#define URLKEYS_COMMON_SIMD_H

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/byte_order.h"

#if !defined(URLKEYS_PORTABLE_SCAN) && (defined(__SSE2__) || defined(_M_X64))
#define URLKEYS_SCAN_SSE2 1
#include <emmintrin.h>
#elif !defined(URLKEYS_PORTABLE_SCAN) && defined(__aarch64__) && defined(__ARM_NEON) && \
    defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define URLKEYS_SCAN_NEON 1
#include <arm_neon.h>
#endif

namespace urlkeys::common {

// Index of the lowest set bit of m, which is not 0.
inline unsigned nLowestBit(uint64_t m) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctzll(m));
#else
  return static_cast<unsigned>(std::countr_zero(m));
#endif
}
inline unsigned nLowestBit(uint32_t m) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_ctz(m));
#else
  return static_cast<unsigned>(std::countr_zero(m));
#endif
}

// Number of zero bits above the highest set bit of m, which is not 0.
inline unsigned nLeadingZeros(uint64_t m) {
#if defined(__GNUC__)
  return static_cast<unsigned>(__builtin_clzll(m));
#else
  return static_cast<unsigned>(std::countl_zero(m));
#endif
}

// ASCII lower-casing of every byte of a word at once: each byte is its own
// lane (no carry crosses a byte), so the byte order does not matter.
template <class Word>
constexpr Word nLowerWord(Word w) {
  constexpr Word kOnes = static_cast<Word>(~Word{0}) / 0xFF;
  constexpr Word kHigh = kOnes * 0x80;
  const Word low7 = w & static_cast<Word>(kOnes * 0x7F);
  const Word from_a = low7 + kOnes * (0x80 - 'A');      // top bit set when >= 'A'
  const Word past_z = low7 + kOnes * (0x80 - 'Z' - 1);  // top bit set when > 'Z'
  const Word upper = from_a & ~past_z & ~w & kHigh;     // 'A'..'Z' (w's top bit clear)
  return w | (upper >> 2);                              // 0x80 >> 2 is 0x20
}

// ------------------------------------------------------------- portable

struct PortableOps {
  struct Block {
    uint64_t w[2];  // bytes 0-7 and 8-15 as they lie in memory
  };
  using Mask = uint32_t;
  static constexpr unsigned kBitsPerByte = 1;
  static constexpr uint64_t kOnes = 0x0101010101010101u;
  static constexpr uint64_t kHigh = 0x8080808080808080u;

  static Block vLoad(const char* p) {
    Block b;
    memcpy(b.w, p, 16);
    return b;
  }
  static void vStore(char* p, Block b) { memcpy(p, b.w, 16); }

  // 0x80 in the bytes equal to c, 0 elsewhere (exact: no borrow between
  // bytes, unlike the shorter has-zero-byte test).
  static uint64_t nEqWord(uint64_t w, char c) {
    const uint64_t x = w ^ (kOnes * static_cast<unsigned char>(c));
    return ~(((x & ~kHigh) + ~kHigh) | x) & kHigh;
  }
  static Block vEq(Block b, char c) { return Block{{nEqWord(b.w[0], c), nEqWord(b.w[1], c)}}; }
  static Block vOr(Block a, Block b) { return Block{{a.w[0] | b.w[0], a.w[1] | b.w[1]}}; }

  // The top bits of the 8 bytes of w, byte i (in memory order) to bit i.
  static uint32_t nTopBitsWord(uint64_t w) {
    if constexpr (kBigEndianHost) w = nSwapBytes64(w);
    // Bit 8i (byte i's top bit, moved down) lands at bit 56 + i; no two
    // partial products share a bit, so nothing carries into the top byte.
    return static_cast<uint32_t>((((w & kHigh) >> 7) * 0x0102040810204080u) >> 56);
  }
  static Mask nTopBits(Block b) { return nTopBitsWord(b.w[0]) | nTopBitsWord(b.w[1]) << 8; }
  static Mask nMask(Block cmp) { return nTopBits(cmp); }

  static Block vLower(Block b) { return Block{{nLowerWord(b.w[0]), nLowerWord(b.w[1])}}; }
  static void vCopyLower8(char* dst, const char* src) {
    uint64_t w;
    memcpy(&w, src, 8);
    w = nLowerWord(w);
    memcpy(dst, &w, 8);
  }
  static void vCopyLower4(char* dst, const char* src) {
    uint32_t w;
    memcpy(&w, src, 4);
    w = nLowerWord(w);
    memcpy(dst, &w, 4);
  }

  static unsigned nFirst(Mask m) { return nLowestBit(m); }
  static Mask nDrop(Mask m, size_t bytes) { return m >> bytes; }
};

// ----------------------------------------------------------------- SSE2

#if URLKEYS_SCAN_SSE2
struct Sse2Ops {
  using Block = __m128i;
  using Mask = uint32_t;
  static constexpr unsigned kBitsPerByte = 1;

  static Block vLoad(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
  static void vStore(char* p, Block b) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), b); }
  static Block vEq(Block b, char c) { return _mm_cmpeq_epi8(b, _mm_set1_epi8(c)); }
  static Block vOr(Block a, Block b) { return _mm_or_si128(a, b); }
  static Mask nTopBits(Block b) { return static_cast<Mask>(_mm_movemask_epi8(b)); }
  static Mask nMask(Block cmp) { return nTopBits(cmp); }

  static Block vLower(Block v) {
    // v - ('A' + 128) as signed bytes is below -128 + 26 exactly for 'A'..'Z'.
    const __m128i t = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>('A' + 128)));
    const __m128i upper = _mm_cmplt_epi8(t, _mm_set1_epi8(static_cast<char>(-128 + 26)));
    return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
  }
  static void vCopyLower8(char* dst, const char* src) {
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), vLower(v));
  }
  static void vCopyLower4(char* dst, const char* src) {
    int32_t w;
    memcpy(&w, src, 4);
    w = _mm_cvtsi128_si32(vLower(_mm_cvtsi32_si128(w)));
    memcpy(dst, &w, 4);
  }

  static unsigned nFirst(Mask m) { return nLowestBit(m); }
  static Mask nDrop(Mask m, size_t bytes) { return m >> bytes; }
};
#endif

// ----------------------------------------------------------------- NEON

#if URLKEYS_SCAN_NEON
struct NeonOps {
  using Block = uint8x16_t;
  // NEON has no byte movemask: a shift right by 4 of each 16-bit lane,
  // narrowed to 8 bits, keeps 4 bits of every byte, so a compare result
  // (bytes 0x00 or 0xFF) becomes a 64-bit mask with a nibble per byte.
  using Mask = uint64_t;
  static constexpr unsigned kBitsPerByte = 4;

  static Block vLoad(const char* p) { return vld1q_u8(reinterpret_cast<const uint8_t*>(p)); }
  static void vStore(char* p, Block b) { vst1q_u8(reinterpret_cast<uint8_t*>(p), b); }
  static Block vEq(Block b, char c) { return vceqq_u8(b, vdupq_n_u8(static_cast<uint8_t>(c))); }
  static Block vOr(Block a, Block b) { return vorrq_u8(a, b); }
  static Mask nMask(Block cmp) {
    const uint8x8_t nibbles = vshrn_n_u16(vreinterpretq_u16_u8(cmp), 4);
    return vget_lane_u64(vreinterpret_u64_u8(nibbles), 0);
  }
  static Mask nTopBits(Block b) {
    // Spreads each byte's top bit over the byte (arithmetic shift) first.
    return nMask(vreinterpretq_u8_s8(vshrq_n_s8(vreinterpretq_s8_u8(b), 7)));
  }

  static Block vLower(Block v) {
    const uint8x16_t upper = vcltq_u8(vsubq_u8(v, vdupq_n_u8('A')), vdupq_n_u8(26));
    return vorrq_u8(v, vandq_u8(upper, vdupq_n_u8(0x20)));
  }
  static void vCopyLower8(char* dst, const char* src) {
    const uint8x8_t v = vld1_u8(reinterpret_cast<const uint8_t*>(src));
    const uint8x8_t upper = vclt_u8(vsub_u8(v, vdup_n_u8('A')), vdup_n_u8(26));
    vst1_u8(reinterpret_cast<uint8_t*>(dst), vorr_u8(v, vand_u8(upper, vdup_n_u8(0x20))));
  }
  static void vCopyLower4(char* dst, const char* src) { PortableOps::vCopyLower4(dst, src); }

  static unsigned nFirst(Mask m) { return nLowestBit(m) >> 2; }
  static Mask nDrop(Mask m, size_t bytes) { return m >> (4 * bytes); }
};
#endif

#if URLKEYS_SCAN_SSE2
using NativeOps = Sse2Ops;
#elif URLKEYS_SCAN_NEON
using NativeOps = NeonOps;
#else
using NativeOps = PortableOps;
#endif

}  // namespace urlkeys::common

#endif
