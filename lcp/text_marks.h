// Marks of the '.' and '/' bytes of a text, made in one block pass, and
// searches over them: the LCP scans find every label and path segment by
// bit arithmetic instead of a search per element. Private to the library.
#ifndef URLKEYS_LCP_TEXT_MARKS_H
#define URLKEYS_LCP_TEXT_MARKS_H

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) && !defined(URLKEYS_PORTABLE_SCAN)
#include <emmintrin.h>
#endif

#include "url/text_scan.h"

namespace urlkeys_lcp {

// Where the '.' and '/' bytes of a text lie: bit i of word i / 64 for the
// byte at i. Only the words that cover the text are written.
// Bytes is the longest text the marks may cover.
template <size_t Bytes>
struct Marks {
  uint64_t anDot[(Bytes + 63) / 64];
  uint64_t anSlash[(Bytes + 63) / 64];
};

#if defined(__SSE2__) && !defined(URLKEYS_PORTABLE_SCAN)
inline uint64_t nBlockHits(__m128i v, char c) {
  return static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}
#endif

// Marks the '.' and '/' bytes of text[0, n) in one pass, into dots and
// slashes (n / 64 + 1 words each), and tells whether the text holds a '%'.
// Reads no byte past text[n - 1].
inline bool bMarkText(const char* text, size_t n, uint64_t* dot_bits, uint64_t* slash_bits) {
  bool percent = false;
  size_t word = 0;
  size_t at = 0;
#if defined(__SSE2__) && !defined(URLKEYS_PORTABLE_SCAN)
  for (; n - at >= 64; ++word, at += 64) {
    const char* p = text + at;
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
    auto hits = [&](char x) {
      return nBlockHits(a, x) | nBlockHits(b, x) << 16 | nBlockHits(c, x) << 32 |
             nBlockHits(d, x) << 48;
    };
    dot_bits[word] = hits('.');
    slash_bits[word] = hits('/');
    const __m128i pct = _mm_set1_epi8('%');
    const __m128i any = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(a, pct), _mm_cmpeq_epi8(b, pct)),
                                     _mm_or_si128(_mm_cmpeq_epi8(c, pct), _mm_cmpeq_epi8(d, pct)));
    percent = percent || _mm_movemask_epi8(any) != 0;
  }
  if (at < n) {
    // The rest, under 64 bytes, as one word of four loads that all lie in
    // the text: with 64 bytes or more before the end they are the last 64
    // bytes, whose marks are shifted down to the word's start; otherwise
    // blocks at 0, 16, 32 and 48, each moved back to end at n at the
    // latest (overlapping bytes give the same marks twice).
    const char* blocks[4] = {};
    unsigned shifts[4] = {};
    unsigned down = 0;
    if (n >= 64) {
      for (unsigned k = 0; k < 4; ++k) {
        blocks[k] = text + n - 64 + 16 * k;
        shifts[k] = 16 * k;
      }
      down = static_cast<unsigned>(64 - (n - at));
    } else if (n >= 16) {
      for (unsigned k = 0; k < 4; ++k) {
        const size_t from = 16 * k + 16 <= n ? 16 * k : n - 16;
        blocks[k] = text + from;
        shifts[k] = static_cast<unsigned>(from);
      }
    }
    uint64_t dots = 0;
    uint64_t slashes = 0;
    uint64_t pcts = 0;
    if (n >= 16) {
      for (unsigned k = 0; k < 4; ++k) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks[k]));
        dots |= nBlockHits(v, '.') << shifts[k];
        slashes |= nBlockHits(v, '/') << shifts[k];
        pcts |= nBlockHits(v, '%');
      }
    } else {
      alignas(16) char last[16] = {};
      urlkeys_url::vCopyBytes(last, text, n);
      const __m128i v = _mm_load_si128(reinterpret_cast<const __m128i*>(last));
      dots = nBlockHits(v, '.');
      slashes = nBlockHits(v, '/');
      pcts = nBlockHits(v, '%');
    }
    dot_bits[word] = dots >> down;
    slash_bits[word] = slashes >> down;
    percent = percent || pcts != 0;
  }
#else
  for (; at < n; ++word) {
    uint64_t dots = 0;
    uint64_t slashes = 0;
    for (unsigned bit = 0; bit < 64 && at < n; ++bit, ++at) {
      const char c = text[at];
      dots |= static_cast<uint64_t>(c == '.') << bit;
      slashes |= static_cast<uint64_t>(c == '/') << bit;
      percent = percent || c == '%';
    }
    dot_bits[word] = dots;
    slash_bits[word] = slashes;
  }
#endif
  return percent;
}

// The same, into a Marks.
template <size_t Bytes>
inline bool bMarkText(const char* text, size_t n, Marks<Bytes>& marks) {
  return bMarkText(text, n, marks.anDot, marks.anSlash);
}

// First marked position in [lo, hi), or hi.
inline size_t nFirstMark(const uint64_t* bits, size_t lo, size_t hi) {
  while (lo < hi) {
    const size_t word = lo / 64;
    const uint64_t w = bits[word] & (~uint64_t{0} << (lo % 64));
    const size_t next = (word + 1) * 64;
    if (w != 0) {
      const size_t at = word * 64 + static_cast<size_t>(__builtin_ctzll(w));
      return at < hi ? at : hi;
    }
    lo = next;
  }
  return hi;
}

// Last marked position in [lo, hi), or SIZE_MAX.
inline size_t nLastMark(const uint64_t* bits, size_t lo, size_t hi) {
  while (lo < hi) {
    const size_t word = (hi - 1) / 64;
    const unsigned top = static_cast<unsigned>((hi - 1) % 64);
    const uint64_t w = bits[word] & (~uint64_t{0} >> (63 - top));
    if (w != 0) {
      const size_t at = word * 64 + 63 - static_cast<size_t>(__builtin_clzll(w));
      return at >= lo ? at : SIZE_MAX;
    }
    hi = word * 64;
  }
  return SIZE_MAX;
}

}  // namespace urlkeys_lcp

#endif
