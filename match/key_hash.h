// The key store's hash: a multiply-fold hash over little-endian words, the
// same value on every host, so that a serialized table is valid anywhere.
// Inline: lookups and inserts hash every key they see.
#ifndef URLKEYS_MATCH_KEY_HASH_H
#define URLKEYS_MATCH_KEY_HASH_H

#include <cstddef>
#include <cstdint>

#include "common/byte_order.h"

namespace urlkeys::match {

// The high and low halves of the 128-bit product a * b.
inline void Multiply(uint64_t a, uint64_t b, uint64_t* hi, uint64_t* lo) {
#ifdef __SIZEOF_INT128__
  unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
  *hi = static_cast<uint64_t>(r >> 64);
  *lo = static_cast<uint64_t>(r);
#else
  uint64_t a_lo = a & 0xFFFFFFFF, a_hi = a >> 32, b_lo = b & 0xFFFFFFFF, b_hi = b >> 32;
  uint64_t ll = a_lo * b_lo, lh = a_lo * b_hi, hl = a_hi * b_lo, hh = a_hi * b_hi;
  uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFF) + (hl & 0xFFFFFFFF);
  *hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
  *lo = (mid << 32) | (ll & 0xFFFFFFFF);
#endif
}

inline uint64_t Fold(uint64_t a, uint64_t b) {
  uint64_t hi, lo;
  Multiply(a, b, &hi, &lo);
  return hi ^ lo;
}

inline constexpr uint64_t kMix0 = 0xa0761d6478bd642f;
inline constexpr uint64_t kMix1 = 0xe7037ed1a0b428db;
inline constexpr uint64_t kMix2 = 0x8ebc6af09c88c6e3;

inline uint64_t HashBytes(const unsigned char* p, size_t n) {
  using common::nLoadLittle32;
  using common::nLoadLittle64;
  uint64_t seed = kMix0 ^ Fold(n ^ kMix0, kMix1);
  uint64_t a = 0, b = 0;
  if (n <= 16) {
    if (n >= 4) {
      size_t step = (n >> 3) << 2;  // 0 below 8 bytes, 4 from 8 on
      a = (uint64_t{nLoadLittle32(p)} << 32) | nLoadLittle32(p + step);
      b = (uint64_t{nLoadLittle32(p + n - 4)} << 32) | nLoadLittle32(p + n - 4 - step);
    } else if (n > 0) {
      a = (uint64_t{p[0]} << 16) | (uint64_t{p[n >> 1]} << 8) | p[n - 1];
    }
  } else {
    size_t left = n;
    while (left > 16) {
      seed = Fold(nLoadLittle64(p) ^ kMix1, nLoadLittle64(p + 8) ^ seed);
      p += 16;
      left -= 16;
    }
    a = nLoadLittle64(p + left - 16);
    b = nLoadLittle64(p + left - 8);
  }
  return Fold(kMix2 ^ n, Fold(a ^ kMix1, b ^ seed));
}

}  // namespace urlkeys::match

#endif
