// Block-wise text helpers of the url family: the searches that split a
// URL into its parts, the copy that finds the first escape, and the
// decoder core shared by zuUrlUnescape and the parser. Private to the
// library.
#ifndef URLKEYS_URL_TEXT_SCAN_H
#define URLKEYS_URL_TEXT_SCAN_H

#include <cstddef>
#include <cstdint>

#include "common/simd.h"
#include "common/text_scan.h"

namespace urlkeys::url {

// The searches and copies take a block layer (common/simd.h) as the
// template argument Ops, like those of common/text_scan.h.

// Bytes the decoder must look at: '%', '+' and those of 0x80 and above
// (whose own top bit goes straight into the mask).
template <class Ops>
inline typename Ops::Mask nEscapeHits(typename Ops::Block v) {
  return Ops::nTopBits(Ops::vOr(common::vEqAny<Ops>(v, '%', '+'), v));
}

// First byte that the decoder must look at. Everything before it decodes
// to itself.
template <class Ops = common::NativeOps>
inline const char* pFindEscape(const char* base, const char* p, const char* e) {
  return common::pFindFirst<Ops>(base, p, e, nEscapeHits<Ops>,
                                 [](unsigned char c) { return c == '%' || c == '+' || c >= 0x80; });
}

// First byte that ends a scheme name within text free of NULs: ':', '/',
// '?', '#' or a line feed.
template <class Ops = common::NativeOps>
inline const char* pFindSchemeEnd(const char* base, const char* p, const char* e) {
  return common::pFindFirst<Ops>(
      base, p, e,
      [](typename Ops::Block v) {
    return Ops::nMask(common::vEqAny<Ops>(v, ':', '/', '?', '#', '\n'));
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
template <class Ops = common::NativeOps>
inline AuthorityScan oScanAuthority(const char* base, const char* p, const char* e) {
  using Mask = typename Ops::Mask;
  AuthorityScan r{e, nullptr, false};
  // Takes the hit masks of 16 bytes from `at`; true when the end was found.
  auto block = [&r](const char* at, Mask end_m, Mask colon_m, Mask at_m) {
    if (end_m != 0) {
      const Mask before = (end_m & (Mask{0} - end_m)) - Mask{1};  // bytes before the end
      colon_m &= before;
      at_m &= before;
      r.end = at + Ops::nFirst(end_m);
    }
    if (r.first_colon == nullptr && colon_m != 0) r.first_colon = at + Ops::nFirst(colon_m);
    if (at_m != 0) r.has_at = true;
    return end_m != 0;
  };
  auto end_hits = [](typename Ops::Block v) {
    return Ops::nMask(common::vEqAny<Ops>(v, '/', '?', '#', '\n'));
  };
  for (; e - p >= 16; p += 16) {
    const typename Ops::Block v = Ops::vLoad(p);
    if (block(p, end_hits(v), Ops::nMask(Ops::vEq(v, ':')), Ops::nMask(Ops::vEq(v, '@')))) return r;
  }
  if (p == e) return r;
  if (e - base >= 16) {
    const char* q = e - 16;
    const size_t shift = static_cast<size_t>(p - q);
    const typename Ops::Block v = Ops::vLoad(q);
    block(p, Ops::nDrop(end_hits(v), shift), Ops::nDrop(Ops::nMask(Ops::vEq(v, ':')), shift),
          Ops::nDrop(Ops::nMask(Ops::vEq(v, '@')), shift));
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
template <class Ops = common::NativeOps>
inline const char* pFindPathEnd(const char* base, const char* p, const char* e) {
  return common::pFindFirst<Ops>(
      base, p, e,
      [](typename Ops::Block v) { return Ops::nMask(common::vEqAny<Ops>(v, '?', '#')); },
      [](unsigned char c) { return c == '?' || c == '#'; });
}

// Copies n bytes (no NUL among them) from src to dst, which do not overlap,
// and returns the offset of the first byte the decoder must look at ('%',
// '+' or 0x80 and above), or n when there is none: one pass for both.
template <class Ops = common::NativeOps>
inline size_t nCopyFindEscape(char* dst, const char* src, size_t n) {
  if (n < 16) {
    common::vCopyBytes<Ops>(dst, src, n);
    return static_cast<size_t>(pFindEscape<Ops>(dst, dst, dst + n) - dst);
  }
  size_t first = n;
  size_t i = 0;
  for (; i + 16 <= n; i += 16) {
    const typename Ops::Block v = Ops::vLoad(src + i);
    Ops::vStore(dst + i, v);
    if (first == n) {
      const typename Ops::Mask m = nEscapeHits<Ops>(v);
      if (m != 0) first = i + Ops::nFirst(m);
    }
  }
  if (i < n) {
    // The last block ends at n and reaches back over bytes already done.
    const typename Ops::Block v = Ops::vLoad(src + n - 16);
    Ops::vStore(dst + n - 16, v);
    if (first == n) {
      const typename Ops::Mask m = Ops::nDrop(nEscapeHits<Ops>(v), 16 - (n - i));
      if (m != 0) first = i + Ops::nFirst(m);
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

}  // namespace urlkeys::url

#endif
