// Block-wise text helpers over spans of known length: searches, ASCII
// lower-casing, bounded copies and stores, and the '.' and '/' marks of a
// text. Private to the library.
#ifndef URLKEYS_COMMON_TEXT_SCAN_H
#define URLKEYS_COMMON_TEXT_SCAN_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/ascii.h"
#include "common/simd.h"

namespace urlkeys::common {

// Every search and copy below is written once over a block layer
// (common/simd.h) and takes it as the template argument Ops; callers use
// the default, the build's native layer. All layers give the same results.

// A compare result marking the bytes of v equal to any of the characters.
template <class Ops, class... More>
inline typename Ops::Block vEqAny(typename Ops::Block v, char c, More... more) {
  if constexpr (sizeof...(more) == 0) {
    return Ops::vEq(v, c);
  } else {
    return Ops::vOr(Ops::vEq(v, c), vEqAny<Ops>(v, more...));
  }
}

// Returns the first position in [p, e) whose byte `byte_hit` accepts, or e.
// `block_hits` gives, for 16 bytes loaded at once, the Mask of the bytes
// that would be accepted. Every load lies inside [base, e): whole blocks
// from p, then one block that ends exactly at e (reaching back before p
// when base allows it, with the bytes before p shifted out); spans too
// short for that are walked byte by byte.
template <class Ops, class BlockHits, class ByteHit>
inline const char* pFindFirst(const char* base, const char* p, const char* e, BlockHits block_hits,
                              ByteHit byte_hit) {
  for (; e - p >= 16; p += 16) {
    const typename Ops::Mask m = block_hits(Ops::vLoad(p));
    if (m != 0) return p + Ops::nFirst(m);
  }
  if (p == e) return e;
  if (e - base >= 16) {
    const char* q = e - 16;
    const typename Ops::Mask m = Ops::nDrop(block_hits(Ops::vLoad(q)), static_cast<size_t>(p - q));
    return m != 0 ? p + Ops::nFirst(m) : e;
  }
  while (p < e && !byte_hit(static_cast<unsigned char>(*p))) ++p;
  return p;
}

// First occurrence of `c` in [p, e).
template <class Ops = NativeOps>
inline const char* pFindByte(const char* base, const char* p, const char* e, char c) {
  return pFindFirst<Ops>(
      base, p, e, [c](typename Ops::Block v) { return Ops::nMask(Ops::vEq(v, c)); },
      [c](unsigned char x) { return x == static_cast<unsigned char>(c); });
}

// Lower-cases n bytes from src into dst (the same place, or regions that
// do not overlap). Spans of 16 and more go a block at a time, the last
// block overlapping the one before (lower-casing twice changes nothing);
// shorter ones as two overlapping halves of 8 or 4 bytes.
template <class Ops = NativeOps>
inline void vCopyLower(char* dst, const char* src, size_t n) {
  if (n >= 16) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) Ops::vStore(dst + i, Ops::vLower(Ops::vLoad(src + i)));
    if (i < n) Ops::vStore(dst + n - 16, Ops::vLower(Ops::vLoad(src + n - 16)));
  } else if (n >= 8) {
    Ops::vCopyLower8(dst, src);
    Ops::vCopyLower8(dst + n - 8, src + n - 8);
  } else if (n >= 4) {
    Ops::vCopyLower4(dst, src);
    Ops::vCopyLower4(dst + n - 4, src + n - 4);
  } else {
    for (size_t i = 0; i < n; ++i) dst[i] = cLower(src[i]);
  }
}

// Lower-cases the ASCII letters of s[0..n) in place.
inline void vLowerAscii(char* s, size_t n) { vCopyLower(s, s, n); }

// Copies n bytes between regions that do not overlap. Spans of up to 32
// bytes, the usual size of URL parts, are moved with two overlapping loads
// and stores of the largest width that fits; longer ones a block at a time.
// (A memcpy of a size the compiler can bound may be expanded into a string
// instruction, rep movs, whose start-up cost exceeds the whole copy of a
// URL part.)
template <class Ops = NativeOps>
inline void vCopyBytes(char* dst, const char* src, size_t n) {
  if (n >= 16) {
    if (n > 32) {
      size_t i = 0;
      for (; i + 16 < n; i += 16) {
        Ops::vStore(dst + i, Ops::vLoad(src + i));
#if defined(__GNUC__)
        // Hides the loop's stride from the compiler, which would otherwise
        // turn the loop back into that string instruction.
        __asm__("" : "+r"(i));
#endif
      }
      Ops::vStore(dst + n - 16, Ops::vLoad(src + n - 16));
      return;
    }
    const typename Ops::Block a = Ops::vLoad(src);
    const typename Ops::Block b = Ops::vLoad(src + n - 16);
    Ops::vStore(dst, a);
    Ops::vStore(dst + n - 16, b);
  } else if (n >= 8) {
    uint64_t a;
    uint64_t b;
    memcpy(&a, src, 8);
    memcpy(&b, src + n - 8, 8);
    memcpy(dst, &a, 8);
    memcpy(dst + n - 8, &b, 8);
  } else if (n >= 4) {
    uint32_t a;
    uint32_t b;
    memcpy(&a, src, 4);
    memcpy(&b, src + n - 4, 4);
    memcpy(dst, &a, 4);
    memcpy(dst + n - 4, &b, 4);
  } else if (n > 0) {
    // 1 to 3 bytes: the first, the middle and the last cover them all.
    dst[0] = src[0];
    dst[n / 2] = src[n / 2];
    dst[n - 1] = src[n - 1];
  }
}

// Stores the span [src, src + len), which holds no NUL and does not overlap
// `dst`, cut at `cap` characters, terminated. Returns the characters stored.
template <class Ops = NativeOps>
inline size_t nStoreSpan(char* dst, size_t cap, const char* src, size_t len) {
  const size_t k = len < cap ? len : cap;
  vCopyBytes<Ops>(dst, src, k);
  dst[k] = '\0';
  return k;
}

// The same, lower-casing the ASCII letters.
template <class Ops = NativeOps>
inline size_t nStoreLowerSpan(char* dst, size_t cap, const char* src, size_t len) {
  const size_t k = len < cap ? len : cap;
  vCopyLower<Ops>(dst, src, k);
  dst[k] = '\0';
  return k;
}

// ------------------------------------------------------------------ marks

// The Mask of a block as one bit per byte: bit i set when byte i is a hit.
template <class Ops>
inline uint32_t nByteBits(typename Ops::Mask m) {
  if constexpr (Ops::kBitsPerByte == 1) {
    return static_cast<uint32_t>(m);
  } else {
    static_assert(Ops::kBitsPerByte == 4, "a Mask has 1 or 4 bits per byte");
    // A nibble per byte, all set for a hit: keep one bit of each and close
    // the gaps in three steps.
    uint64_t x = static_cast<uint64_t>(m) & 0x1111111111111111u;
    x = (x | (x >> 3)) & 0x0303030303030303u;
    x = (x | (x >> 6)) & 0x000F000F000F000Fu;
    x = (x | (x >> 12)) & 0x000000FF000000FFu;
    return static_cast<uint32_t>((x | (x >> 24)) & 0xFFFFu);
  }
}

// Marks the '.' and '/' bytes of text[0, n): bit i % 64 of dot_bits[i / 64]
// (slash_bits[i / 64]) is set when byte i is a '.' ('/'); the words that
// cover the text are written, the first n / 64 + 1 at most. Returns whether
// the text holds a '%': one pass gives all three. Loads stay inside the
// text: 64 bytes at a time, then the rest (under 64 bytes) as one word of
// four blocks, which are the text's last 64 bytes when it has that many
// (their marks shifted down to the word's start), else blocks at 0, 16, 32
// and 48, each moved back to end at n at the latest (overlapping blocks
// give the same marks twice). Texts under 16 bytes go through a zeroed
// 16-byte copy.
template <class Ops = NativeOps>
inline bool bMarkText(const char* text, size_t n, uint64_t* dot_bits, uint64_t* slash_bits) {
  uint64_t percent = 0;
  size_t word = 0;
  size_t at = 0;
  auto mark = [&](const char* p, unsigned shift, uint64_t& dots, uint64_t& slashes) {
    const typename Ops::Block v = Ops::vLoad(p);
    dots |= static_cast<uint64_t>(nByteBits<Ops>(Ops::nMask(Ops::vEq(v, '.')))) << shift;
    slashes |= static_cast<uint64_t>(nByteBits<Ops>(Ops::nMask(Ops::vEq(v, '/')))) << shift;
    percent |= static_cast<uint64_t>(Ops::nMask(Ops::vEq(v, '%')));
  };
  for (; n - at >= 64; ++word, at += 64) {
    uint64_t dots = 0;
    uint64_t slashes = 0;
    for (size_t k = 0; k < 4; ++k) {
      mark(text + at + 16 * k, static_cast<unsigned>(16 * k), dots, slashes);
    }
    dot_bits[word] = dots;
    slash_bits[word] = slashes;
  }
  if (at < n) {
    uint64_t dots = 0;
    uint64_t slashes = 0;
    unsigned down = 0;
    if (n >= 64) {
      for (size_t k = 0; k < 4; ++k) {
        mark(text + n - 64 + 16 * k, static_cast<unsigned>(16 * k), dots, slashes);
      }
      down = static_cast<unsigned>(64 - (n - at));
    } else if (n >= 16) {
      for (size_t k = 0; k < 4; ++k) {
        const size_t from = 16 * k + 16 <= n ? 16 * k : n - 16;
        mark(text + from, static_cast<unsigned>(from), dots, slashes);
      }
    } else {
      char last[16] = {};
      vCopyBytes<Ops>(last, text, n);
      mark(last, 0, dots, slashes);
    }
    dot_bits[word] = dots >> down;
    slash_bits[word] = slashes >> down;
  }
  return percent != 0;
}

// First marked position in [lo, hi) of marks made by bMarkText, or hi.
inline size_t nFirstMark(const uint64_t* bits, size_t lo, size_t hi) {
  while (lo < hi) {
    const size_t word = lo / 64;
    const uint64_t w = bits[word] & (~uint64_t{0} << (lo % 64));
    if (w != 0) {
      const size_t at = word * 64 + nLowestBit(w);
      return at < hi ? at : hi;
    }
    lo = (word + 1) * 64;
  }
  return hi;
}

// Last marked position in [lo, hi) of marks made by bMarkText, or SIZE_MAX.
inline size_t nLastMark(const uint64_t* bits, size_t lo, size_t hi) {
  while (lo < hi) {
    const size_t word = (hi - 1) / 64;
    const unsigned top = static_cast<unsigned>((hi - 1) % 64);
    const uint64_t w = bits[word] & (~uint64_t{0} >> (63 - top));
    if (w != 0) {
      const size_t at = word * 64 + 63 - nLeadingZeros(w);
      return at >= lo ? at : SIZE_MAX;
    }
    hi = word * 64;
  }
  return SIZE_MAX;
}

}  // namespace urlkeys::common

#endif
