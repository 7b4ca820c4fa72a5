// Block-wise text helpers of the url family: SSE2 searches over spans of
// known length, ASCII lower-casing, bounded field stores, and the decoder
// core shared by zuUrlUnescape and the parser. Private to the library.
#ifndef URLKEYS_URL_TEXT_SCAN_H
#define URLKEYS_URL_TEXT_SCAN_H

#include <emmintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace urlkeys_url {

// Returns the first position in [p, e) whose byte `byte_hit` accepts, or e.
// `block_hits` gives, for 16 bytes loaded at once, the movemask of the bytes
// that would be accepted (bit i for byte i). Every load lies inside
// [base, e): whole blocks from p, then one block that ends exactly at e
// (reaching back before p when base allows it, with the bytes before p
// shifted out); spans too short for that are walked byte by byte.
template <class BlockHits, class ByteHit>
inline const char* pFindFirst(const char* base, const char* p, const char* e, BlockHits block_hits,
                              ByteHit byte_hit) {
  for (; e - p >= 16; p += 16) {
    const unsigned m = block_hits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    if (m != 0) return p + __builtin_ctz(m);
  }
  if (p == e) return e;
  if (e - base >= 16) {
    const char* q = e - 16;
    const unsigned m = block_hits(_mm_loadu_si128(reinterpret_cast<const __m128i*>(q))) >> (p - q);
    return m != 0 ? p + __builtin_ctz(m) : e;
  }
  while (p < e && !byte_hit(static_cast<unsigned char>(*p))) ++p;
  return p;
}

inline unsigned nHits(__m128i v, char c) {
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(c))));
}

// Bytes the decoder must look at: '%', '+' and those of 0x80 and above
// (whose own high bit goes straight into the mask).
inline unsigned nEscapeHits(__m128i v) {
  const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, _mm_set1_epi8('%')),
                                   _mm_cmpeq_epi8(v, _mm_set1_epi8('+')));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(hit, v)));
}

// First byte that the decoder must look at. Everything before it decodes
// to itself.
inline const char* pFindEscape(const char* base, const char* p, const char* e) {
  return pFindFirst(base, p, e, nEscapeHits,
                    [](unsigned char c) { return c == '%' || c == '+' || c >= 0x80; });
}

// First byte that ends a scheme name within text free of NULs: ':', '/',
// '?', '#' or a line feed.
inline const char* pFindSchemeEnd(const char* base, const char* p, const char* e) {
  return pFindFirst(
      base, p, e,
      [](__m128i v) {
        return nHits(v, ':') | nHits(v, '/') | nHits(v, '?') | nHits(v, '#') | nHits(v, '\n');
      },
      [](unsigned char c) { return c == ':' || c == '/' || c == '?' || c == '#' || c == '\n'; });
}

// What one pass over an authority finds.
struct AuthorityScan {
  const char* end;          // first '/', '?', '#' or line feed; e when none
  const char* first_colon;  // first ':' before `end`, or null
  bool has_at;              // an '@' lies before `end`
};

// Scans the authority starting at p within text free of NULs that ends at
// e; loads stay inside [base, e) as in pFindFirst.
inline AuthorityScan oScanAuthority(const char* base, const char* p, const char* e) {
  AuthorityScan r{e, nullptr, false};
  // Takes the hit masks of 16 bytes from `at`; true when the end was found.
  auto block = [&r](const char* at, unsigned end_m, unsigned colon_m, unsigned at_m) {
    if (end_m != 0) {
      const unsigned before = (end_m & (0u - end_m)) - 1u;  // bits below the end
      colon_m &= before;
      at_m &= before;
      r.end = at + __builtin_ctz(end_m);
    }
    if (r.first_colon == nullptr && colon_m != 0) r.first_colon = at + __builtin_ctz(colon_m);
    if (at_m != 0) r.has_at = true;
    return end_m != 0;
  };
  auto end_hits = [](__m128i v) { return nHits(v, '/') | nHits(v, '?') | nHits(v, '#') | nHits(v, '\n'); };
  for (; e - p >= 16; p += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    if (block(p, end_hits(v), nHits(v, ':'), nHits(v, '@'))) return r;
  }
  if (p == e) return r;
  if (e - base >= 16) {
    const char* q = e - 16;
    const unsigned shift = static_cast<unsigned>(p - q);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
    block(p, end_hits(v) >> shift, nHits(v, ':') >> shift, nHits(v, '@') >> shift);
    return r;
  }
  for (; p < e; ++p) {
    const char c = *p;
    if (c == '/' || c == '?' || c == '#' || c == '\n') {
      r.end = p;
      return r;
    }
    if (c == ':' && r.first_colon == nullptr) r.first_colon = p;
    if (c == '@') r.has_at = true;
  }
  return r;
}

// First byte that ends a path within text free of NULs: '?' or '#'.
inline const char* pFindPathEnd(const char* base, const char* p, const char* e) {
  return pFindFirst(
      base, p, e, [](__m128i v) { return nHits(v, '?') | nHits(v, '#'); },
      [](unsigned char c) { return c == '?' || c == '#'; });
}

// First occurrence of `c` in [p, e).
inline const char* pFindByte(const char* base, const char* p, const char* e, char c) {
  return pFindFirst(
      base, p, e, [c](__m128i v) { return nHits(v, c); },
      [c](unsigned char x) { return x == static_cast<unsigned char>(c); });
}

inline char cLowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

inline __m128i vLower16(__m128i v) {
  // v - ('A' + 128) as signed bytes is below -128 + 26 exactly for 'A'..'Z'.
  const __m128i t = _mm_sub_epi8(v, _mm_set1_epi8(static_cast<char>('A' + 128)));
  const __m128i upper = _mm_cmplt_epi8(t, _mm_set1_epi8(static_cast<char>(-128 + 26)));
  return _mm_or_si128(v, _mm_and_si128(upper, _mm_set1_epi8(0x20)));
}

// Lower-cases n bytes from src into dst (the same place, or regions that
// do not overlap). Spans of 16 and more go a block at a time, the last
// block overlapping the one before (lower-casing twice changes nothing);
// shorter ones as two overlapping halves of 8 or 4 bytes.
inline void vCopyLower(char* dst, const char* src, size_t n) {
  if (n >= 16) {
    size_t i = 0;
    for (; i + 16 <= n; i += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), vLower16(v));
    }
    if (i < n) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n - 16));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n - 16), vLower16(v));
    }
  } else if (n >= 8) {
    const __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src));
    const __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + n - 8));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst), vLower16(a));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(dst + n - 8), vLower16(b));
  } else if (n >= 4) {
    int32_t a;
    int32_t b;
    memcpy(&a, src, 4);
    memcpy(&b, src + n - 4, 4);
    a = _mm_cvtsi128_si32(vLower16(_mm_cvtsi32_si128(a)));
    b = _mm_cvtsi128_si32(vLower16(_mm_cvtsi32_si128(b)));
    memcpy(dst, &a, 4);
    memcpy(dst + n - 4, &b, 4);
  } else {
    for (size_t i = 0; i < n; ++i) dst[i] = cLowerAscii(src[i]);
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
inline void vCopyBytes(char* dst, const char* src, size_t n) {
  if (n >= 16) {
    if (n > 32) {
      size_t i = 0;
      for (; i + 16 < n; i += 16) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i)));
        // Hides the loop's stride from the compiler, which would otherwise
        // turn the loop back into that string instruction.
        __asm__("" : "+r"(i));
      }
      _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n - 16),
                       _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n - 16)));
      return;
    }
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst), a);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n - 16), b);
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
inline size_t nStoreSpan(char* dst, size_t cap, const char* src, size_t len) {
  const size_t k = len < cap ? len : cap;
  vCopyBytes(dst, src, k);
  dst[k] = '\0';
  return k;
}

// The same, lower-casing the ASCII letters.
inline size_t nStoreLowerSpan(char* dst, size_t cap, const char* src, size_t len) {
  const size_t k = len < cap ? len : cap;
  vCopyLower(dst, src, k);
  dst[k] = '\0';
  return k;
}

// Copies n bytes (no NUL among them) from src to dst, which do not overlap,
// and returns the offset of the first byte the decoder must look at ('%',
// '+' or 0x80 and above), or n when there is none: one pass for both.
inline size_t nCopyFindEscape(char* dst, const char* src, size_t n) {
  if (n < 16) {
    vCopyBytes(dst, src, n);
    return static_cast<size_t>(pFindEscape(dst, dst, dst + n) - dst);
  }
  size_t first = n;
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v);
    if (first == n) {
      const unsigned m = nEscapeHits(v);
      if (m != 0) first = i + __builtin_ctz(m);
    }
  }
  if (i < n) {
    // The last block ends at n and reaches back over bytes already done.
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + n - 16));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + n - 16), v);
    if (first == n) {
      const unsigned m = nEscapeHits(v) >> (16 - (n - i));
      if (m != 0) first = i + __builtin_ctz(m);
    }
  }
  return first;
}

// Decodes s[0..n) in place, where s[n] is a NUL, no NUL lies before it, and
// the bytes before `first` decode to themselves: %XX escapes, '+' and UTF-8
// folding, exactly as zuUrlUnescape. Adds the escapes decoded to *escapes
// and returns the length of the decoded text (up to its first NUL, which
// may come before the end of the output).
size_t nUnescapeFrom(char* s, size_t n, size_t first, size_t* escapes);

}  // namespace urlkeys_url

#endif
