// Fuzz target for the block scans and copies of the url family: on every
// span [p, e) of the input (all of them for short inputs, those near both
// ends for long ones), each helper gives the same result through the
// build's native block layer (SSE2 or NEON) as through the plain one, and
// both agree with a byte-at-a-time model; so do the '.' and '/' marks of
// the text's ends and the searches over them. The text is held in a buffer of
// exactly its size, so the sanitizer reports any load outside it.
//
// Input: byte 0 is the character pFindByte looks for, byte 1 the cap of the
// bounded stores; the rest is the text.
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "common/find_last.h"
#include "common/text_scan.h"
#include "fuzz_common.h"
#include "url/text_scan.h"

using urlkeys::common::NativeOps;
using urlkeys::common::PortableOps;
using urlkeys::fuzz::vCheck;

namespace {

const char* pModelFirst(const char* p, const char* e, const char* set, bool high) {
  for (; p < e; ++p) {
    const unsigned char c = static_cast<unsigned char>(*p);
    if ((high && c >= 0x80) || std::memchr(set, c, std::strlen(set)) != nullptr) return p;
  }
  return e;
}

char cModelLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The searches over [p, e), with loads allowed back to `base`.
void vCheckSearches(const char* base, const char* p, const char* e, char c) {
  const char* want = pModelFirst(p, e, "%+", true);
  vCheck(urlkeys::url::pFindEscape<NativeOps>(base, p, e) == want, "pFindEscape native");
  vCheck(urlkeys::url::pFindEscape<PortableOps>(base, p, e) == want, "pFindEscape portable");

  want = pModelFirst(p, e, ":/?#\n", false);
  vCheck(urlkeys::url::pFindSchemeEnd<NativeOps>(base, p, e) == want, "pFindSchemeEnd native");
  vCheck(urlkeys::url::pFindSchemeEnd<PortableOps>(base, p, e) == want, "pFindSchemeEnd portable");

  want = pModelFirst(p, e, "?#", false);
  vCheck(urlkeys::url::pFindPathEnd<NativeOps>(base, p, e) == want, "pFindPathEnd native");
  vCheck(urlkeys::url::pFindPathEnd<PortableOps>(base, p, e) == want, "pFindPathEnd portable");

  want = p;
  while (want < e && *want != c) ++want;
  vCheck(urlkeys::common::pFindByte<NativeOps>(base, p, e, c) == want, "pFindByte native");
  vCheck(urlkeys::common::pFindByte<PortableOps>(base, p, e, c) == want, "pFindByte portable");

  urlkeys::url::AuthorityScan model{pModelFirst(p, e, "/?#\n", false), nullptr, false};
  for (const char* q = p; q < model.end; ++q) {
    if (*q == ':' && model.first_colon == nullptr) model.first_colon = q;
    if (*q == '@') model.has_at = true;
  }
  const urlkeys::url::AuthorityScan native = urlkeys::url::oScanAuthority<NativeOps>(base, p, e);
  const urlkeys::url::AuthorityScan plain = urlkeys::url::oScanAuthority<PortableOps>(base, p, e);
  vCheck(native.end == model.end && native.first_colon == model.first_colon &&
             native.has_at == model.has_at,
         "oScanAuthority native");
  vCheck(plain.end == model.end && plain.first_colon == model.first_colon &&
             plain.has_at == model.has_at,
         "oScanAuthority portable");

  const size_t n = static_cast<size_t>(e - p);
  const char* last = nullptr;
  for (const char* q = p; q < e; ++q) last = *q == c ? q : last;
  vCheck(urlkeys::common::pFindLastByte(p, n, c) == last, "pFindLastByte");
  vCheck(urlkeys::common::pFindLastBytePlain(p, n, c) == last, "pFindLastBytePlain");
}

// The copies of the n bytes at src, each into a buffer of exactly n bytes
// (n + 1 for the terminated stores).
void vCheckCopies(const char* src, size_t n, size_t cap) {
  std::string lower(src, n);
  for (char& ch : lower) ch = cModelLower(ch);
  const size_t k = n < cap ? n : cap;
  std::unique_ptr<char[]> a(new char[n + 1]);
  std::unique_ptr<char[]> b(new char[n + 1]);

  urlkeys::common::vCopyBytes<NativeOps>(a.get(), src, n);
  urlkeys::common::vCopyBytes<PortableOps>(b.get(), src, n);
  vCheck(std::memcmp(a.get(), src, n) == 0, "vCopyBytes native");
  vCheck(std::memcmp(b.get(), src, n) == 0, "vCopyBytes portable");

  urlkeys::common::vCopyLower<NativeOps>(a.get(), src, n);
  urlkeys::common::vCopyLower<PortableOps>(b.get(), src, n);
  vCheck(std::memcmp(a.get(), lower.data(), n) == 0, "vCopyLower native");
  vCheck(std::memcmp(b.get(), lower.data(), n) == 0, "vCopyLower portable");

  // In place, as vLowerAscii does it.
  std::memcpy(a.get(), src, n);
  std::memcpy(b.get(), src, n);
  urlkeys::common::vCopyLower<NativeOps>(a.get(), a.get(), n);
  urlkeys::common::vCopyLower<PortableOps>(b.get(), b.get(), n);
  vCheck(std::memcmp(a.get(), lower.data(), n) == 0, "vCopyLower in place native");
  vCheck(std::memcmp(b.get(), lower.data(), n) == 0, "vCopyLower in place portable");

  vCheck(urlkeys::common::nStoreSpan<NativeOps>(a.get(), cap, src, n) == k &&
             std::memcmp(a.get(), src, k) == 0 && a[k] == '\0',
         "nStoreSpan native");
  vCheck(urlkeys::common::nStoreSpan<PortableOps>(b.get(), cap, src, n) == k &&
             std::memcmp(b.get(), src, k) == 0 && b[k] == '\0',
         "nStoreSpan portable");
  vCheck(urlkeys::common::nStoreLowerSpan<NativeOps>(a.get(), cap, src, n) == k &&
             std::memcmp(a.get(), lower.data(), k) == 0 && a[k] == '\0',
         "nStoreLowerSpan native");
  vCheck(urlkeys::common::nStoreLowerSpan<PortableOps>(b.get(), cap, src, n) == k &&
             std::memcmp(b.get(), lower.data(), k) == 0 && b[k] == '\0',
         "nStoreLowerSpan portable");

  const size_t first = static_cast<size_t>(pModelFirst(src, src + n, "%+", true) - src);
  vCheck(urlkeys::url::nCopyFindEscape<NativeOps>(a.get(), src, n) == first &&
             std::memcmp(a.get(), src, n) == 0,
         "nCopyFindEscape native");
  vCheck(urlkeys::url::nCopyFindEscape<PortableOps>(b.get(), src, n) == first &&
             std::memcmp(b.get(), src, n) == 0,
         "nCopyFindEscape portable");
}

// Offsets worth trying in a text of n bytes: all of them when it is short,
// else those within 20 bytes of either end, which still gives every start
// and every span length modulo 16.
// The marks of the n bytes at src (n <= 4096) through both layers against
// a byte model, and the first and last mark of a few spans against it.
void vCheckMarks(const char* src, size_t n) {
  uint64_t dots[2][64], slashes[2][64];
  const bool pct[2] = {urlkeys::common::bMarkText<NativeOps>(src, n, dots[0], slashes[0]),
                       urlkeys::common::bMarkText<PortableOps>(src, n, dots[1], slashes[1])};
  const bool want_pct = std::memchr(src, '%', n) != nullptr;
  for (int form = 0; form < 2; ++form) {
    vCheck(pct[form] == want_pct, form == 0 ? "bMarkText '%' native" : "bMarkText '%' portable");
    for (size_t i = 0; i < n; ++i) {
      const bool dot = (dots[form][i / 64] >> (i % 64)) & 1;
      const bool slash = (slashes[form][i / 64] >> (i % 64)) & 1;
      vCheck(dot == (src[i] == '.') && slash == (src[i] == '/'),
             form == 0 ? "bMarkText native" : "bMarkText portable");
    }
    // Bits past the text in its last word stay clear.
    for (size_t i = n; i % 64 != 0; ++i) {
      vCheck(((dots[form][i / 64] | slashes[form][i / 64]) >> (i % 64) & 1) == 0,
             "bMarkText marks nothing past the text");
    }
  }
  for (size_t lo = 0; lo <= n; lo += 1 + lo / 2) {
    for (size_t hi = lo; hi <= n; hi += 1 + (hi - lo) / 2) {
      size_t first = hi, last = SIZE_MAX;
      for (size_t i = lo; i < hi; ++i) {
        if (src[i] == '.') {
          if (first == hi) first = i;
          last = i;
        }
      }
      vCheck(urlkeys::common::nFirstMark(dots[0], lo, hi) == first, "nFirstMark");
      vCheck(urlkeys::common::nLastMark(dots[0], lo, hi) == last, "nLastMark");
    }
  }
}

bool bTried(size_t at, size_t n) { return n <= 40 || at <= 20 || at + 20 >= n; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const char c = static_cast<char>(data[0]);
  const size_t cap = data[1];
  const size_t n = size - 2;
  // Exactly n bytes: no terminator the helpers could lean on.
  std::unique_ptr<char[]> text(new char[n == 0 ? 1 : n]);
  if (n != 0) std::memcpy(text.get(), data + 2, n);
  const char* base = text.get();

  for (size_t i = 0; i <= n; ++i) {
    if (!bTried(i, n)) continue;
    for (size_t j = i; j <= n; ++j) {
      if (!bTried(j, n)) continue;
      // Loads may reach back to the text's start, or not before p at all.
      vCheckSearches(base, base + i, base + j, c);
      vCheckSearches(base + i, base + i, base + j, c);
    }
    // Copies of the span from i to the end, and of its first bytes.
    vCheckCopies(base + i, n - i, cap);
    if (n - i > 16) vCheckCopies(base + i, 15 + i % 3, cap);
    if (n - i <= 4096 && i < 2) vCheckMarks(base + i, n - i);
  }
  return 0;
}
