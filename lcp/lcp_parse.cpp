// cLcpParse: the numbered LCP element list of a URL text, scanned in place
// (repeated percent-decoding, host suffixes above the TLD, path prefixes).
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/ascii.h"
#include "common/text_scan.h"
#include "tld/tld_table.h"
#include "url/text_scan.h"
#include "urlkeys/lcp.h"
#include "urlkeys/unescape.h"

namespace {

// Longest text the constructor reads; a longer text is cut there in place.
constexpr size_t kMaxText = LCP_TEXT_SIZE - 1;
constexpr int kMaxCandidates = LCP_MAX_CANDIDATES;
// Longest last label, or last two labels, given to the key test.
constexpr ptrdiff_t kMaxTldText = 255;
// The scan stops once the candidates reach their most, and the TLD element
// is at index 0 or 1, so the slots always suffice.
constexpr int kSlots = LCP_ELEMENT_SLOTS;

// Bytes one decoding pass may change: '%', '+' and bytes of 0x80 and above.
// Every other byte is copied unchanged and leaves the UTF-8 state alone.
inline bool bActive(unsigned char c) { return c == '%' || c == '+' || c >= 0x80; }

// True when the escape at c (two bytes follow it) decodes to 0x00 or 0x80.
inline bool bEscapeMayGiveNul(const char* c) {
  using urlkeys::common::nHexValue;
  return nHexValue(static_cast<unsigned char>(c[2])) == 0 &&
         (nHexValue(static_cast<unsigned char>(c[1])) & 7) == 0;
}

// True when decoding `len` bytes at `text` could write a NUL byte before its
// end: a raw 0x80 byte (it can close a sequence whose low byte is 0), or a
// '%' whose two following bytes spell 0x00 or 0x80. Every '%' is checked,
// whether or not the decoder takes it as an escape, so the answer errs
// towards yes. The caller guarantees that two bytes follow every '%'.
bool bMayWriteNul(const char* text, size_t len) {
  using Ops = urlkeys::common::NativeOps;
  if (len >= 16) {
    // A block at a time, the last one ending at len and reaching back over
    // bytes already seen (seeing them again gives the same answer).
    for (size_t at = 0; at < len; at += 16) {
      const size_t from = len - at >= 16 ? at : len - 16;
      const Ops::Block v = Ops::vLoad(text + from);
      if (Ops::nMask(Ops::vEq(v, '\x80')) != 0) return true;
      for (uint32_t m = urlkeys::common::nByteBits<Ops>(Ops::nMask(Ops::vEq(v, '%'))); m != 0;
           m &= m - 1) {
        if (bEscapeMayGiveNul(text + from + urlkeys::common::nLowestBit(m))) return true;
      }
    }
    return false;
  }
  for (size_t i = 0; i < len; ++i) {
    if (text[i] == '\x80' || (text[i] == '%' && bEscapeMayGiveNul(text + i))) return true;
  }
  return false;
}

// Position of the last byte in [lo, hi) that a decoding pass may change;
// the caller knows there is one.
inline size_t nLastActive(const char* text, size_t lo, size_t hi) {
  using Ops = urlkeys::common::NativeOps;
  while (hi - lo >= 16) {
    const uint32_t m =
        urlkeys::common::nByteBits<Ops>(urlkeys::url::nEscapeHits<Ops>(Ops::vLoad(text + hi - 16)));
    if (m != 0) return hi - 16 + 63 - urlkeys::common::nLeadingZeros(m);
    hi -= 16;
  }
  size_t r = hi - 1;
  while (r > lo && !bActive(static_cast<unsigned char>(text[r]))) --r;
  return r;
}

// Percent-decodes `text` (n <= 4095 characters) in place with zuUrlUnescape
// again and again while it holds a '%'; returns the resulting length. The
// result equals that of whole-text passes, without their quadratic cost on
// nested escapes ("%252525...2541" loses two characters a pass):
// - text[0, p) and text[q, n) hold no byte a pass can change, so a pass
//   leaves them as they are; only the window from the first changeable byte
//   to two characters past the last one is decoded, where it lies (decoding
//   never writes ahead of what it reads, and the window holds an escape, so
//   its output ends inside it);
// - the clean tail is moved, not decoded, unless the window reaches the end
//   of the text or may end early at a decoded NUL; then the pass runs in
//   place on text + p.
// Each pass costs the window plus one memmove of the tail.
size_t nDecodeWhilePercent(char* text, size_t n) {
  size_t p = 0;
  size_t q = n;
  for (;;) {
    const char* pct = urlkeys::common::pFindByte(text, text + p, text + q, '%');
    if (pct == text + q) return n;
    p = static_cast<size_t>(urlkeys::url::pFindEscape(text, text + p, pct) - text);
    const size_t r = nLastActive(text, p, q);
    size_t end = r + 3;  // a '%' at r reads r + 1 and r + 2
    if (end >= n || bMayWriteNul(text + p, end - p)) {
      zuUrlUnescape(text + p);
      n = p + std::strlen(text + p);
      q = n;
      continue;
    }
    size_t escapes = 0;
    const size_t m = urlkeys::url::nUnescapeFrom(text + p, end - p, 0, &escapes);
    std::memmove(text + p + m, text + end, n - end + 1);
    n -= end - p - m;
    q = p + m;
  }
}

// Copies `len` bytes of `from` into `dst`, cut to `size` - 1, and terminates
// it. A negative length copies nothing; size <= 0 (or no dst) writes nothing.
inline void vCopyOut(char* dst, int size, const char* from, ptrdiff_t len) {
  if (dst == nullptr || size <= 0) return;
  if (len < 0) len = 0;
  if (len > size - 1) len = size - 1;
  urlkeys::common::vCopyBytes(dst, from, static_cast<size_t>(len));
  dst[len] = '\0';
}

// Words of the '.' and '/' marks of a text, a bit per byte.
constexpr size_t kMarkWords = (kMaxText + 63) / 64;

// Cuts `url` at kMaxText characters (a longer text is read as its first
// 4095, so padding the end of a URL cannot hide its host; the cut also
// bounds the decoding), decodes it while it holds a '%', and marks its '.'
// and '/' bytes. Returns its length. Decoding changes the text, so a
// decoded text is marked again.
inline size_t nReadText(char* url, uint64_t* dots, uint64_t* slashes) {
  size_t n = strnlen(url, kMaxText + 1);
  if (n > kMaxText) {
    url[kMaxText] = '\0';
    n = kMaxText;
  }
  if (urlkeys::common::bMarkText(url, n, dots, slashes)) {
    n = nDecodeWhilePercent(url, n);
    urlkeys::common::bMarkText(url, n, dots, slashes);
  }
  return n;
}

// Where the host starts and ends in the text, where the text ends, and the
// '/' that ends the host (null when none does).
struct HostSpan {
  char* host;
  char* end;
  char* slash;
};

// Finds the host of the marked text `url` of length n (n > 0 and it holds
// a '.'): after "x://" when the first '.' lies after the first '/', then
// after a leading "www."; one trailing '/' is cut off in place.
inline HostSpan oFindHost(char* url, size_t n, const uint64_t* slashes, size_t first_dot) {
  const size_t first_slash = urlkeys::common::nFirstMark(slashes, 0, n);
  char* slash = first_slash < n ? url + first_slash : nullptr;
  char* host = url;
  if (slash != nullptr && first_dot > first_slash && slash[1] == '/' && slash > url &&
      slash[-1] == ':')
    host = slash + 2;
  if (urlkeys::common::bHasWwwPrefix(host)) host += 4;

  const size_t host_at = static_cast<size_t>(host - url);
  size_t len = n - host_at;
  if (len > 0 && host[len - 1] == '/') host[--len] = '\0';  // one trailing '/' only
  char* end = host + len;
  // The host's '/' is the text's first one, unless that one belonged to
  // "://" or was the trailing '/' just cut off.
  if (slash != nullptr && slash < host) {
    const size_t end_at = host_at + len;
    const size_t at = urlkeys::common::nFirstMark(slashes, host_at, end_at);
    slash = at < end_at ? url + at : nullptr;
  } else if (slash == end) {
    slash = nullptr;
  }
  return {host, end, slash};
}

// The constructor's view of the element list it fills: references to the
// object's own counters, so that the steps below are plain functions.
struct ElementList {
  char** slots;
  int& used;       // elements stored
  int& sub;        // host elements among them
  int& path;       // path elements among them
  int& tld_index;  // index of the TLD element
  int limit;

  bool bFull() const { return used == kSlots; }
  void vAdd(char* element) { slots[used++] = element; }
  // Candidates so far: the elements above the TLD.
  int nCandidates() const { return path + sub - tld_index - 1; }
  // True when the candidates have reached the limit or their most: the
  // scan then stops with that count.
  bool bAtLimit() const {
    const int k = nCandidates();
    return k >= limit || k >= kMaxCandidates;
  }
};

// Stores the host suffixes below `host_end`, right to left (the host's
// first character is never examined), and finds the TLD among them: the
// key test sees the last one and two labels only, and the limit is tested
// before it. Returns false when the scan stops here (limit reached, slots
// full, last labels too long): *stopped_at_limit tells the first case.
inline bool bAddHostSuffixes(ElementList& list, char* url, size_t host_at, char* host_end,
                             const uint64_t* dots, bool* tld_found, bool* stopped_at_limit) {
  for (size_t at = static_cast<size_t>(host_end - url);;) {
    at = urlkeys::common::nLastMark(dots, host_at + 1, at);
    if (at == SIZE_MAX) return true;
    char* const c = url + at;
    if (list.bFull()) return false;
    list.vAdd(c + 1);
    ++list.sub;
    if (list.bAtLimit()) {
      *stopped_at_limit = true;
      return false;
    }
    if (list.sub <= 2) {
      const ptrdiff_t suffix = host_end - (c + 1);
      if (suffix > kMaxTldText) return false;
      if (urlkeys::tld::bIsKeyName(c + 1, static_cast<int>(suffix))) {
        *tld_found = true;
        list.tld_index = list.used - 1;
      }
    }
  }
}

// Stores the path prefixes after the host's '/' at `host_end`, left to
// right, then the whole text ending at `end` (not limit-tested: the test
// after the previous element left room for it). Returns false when the scan
// stops early: *stopped_at_limit tells whether at the limit.
inline bool bAddPathPrefixes(ElementList& list, char* url, char* host_end, char* end,
                             const uint64_t* slashes, bool* stopped_at_limit) {
  const size_t end_at = static_cast<size_t>(end - url);
  for (size_t at = static_cast<size_t>(host_end - url) + 1;; ++at) {
    at = urlkeys::common::nFirstMark(slashes, at, end_at);
    if (at == end_at) break;
    if (list.bFull()) return false;
    list.vAdd(url + at + 1);
    ++list.path;
    if (list.bAtLimit()) {
      *stopped_at_limit = true;
      return false;
    }
  }
  if (list.bFull()) return false;
  list.vAdd(end);
  ++list.path;
  return true;
}

}  // namespace

cLcpParse::cLcpParse(char* url, int limit, int& count)
    : pHostEnd(nullptr),
      nElements(0),
      nAuthIndex(0),
      nTldIndex(0),
      nUrlLen(0),
      nNext(0),
      nPath(0),
      nLimit(limit),
      nSub(0),
      nCount(0) {
  static_assert(sizeof(pElement) / sizeof(pElement[0]) == kSlots, "element list size");
  count = 0;
  if (url == nullptr) return;
  uint64_t dots[kMarkWords];
  uint64_t slashes[kMarkWords];
  const size_t n = nReadText(url, dots, slashes);
  const size_t first_dot = urlkeys::common::nFirstMark(dots, 0, n);
  if (first_dot == n) return;
  const HostSpan span = oFindHost(url, n, slashes, first_dot);
  nUrlLen = static_cast<int>(span.end - span.host);
  pHostEnd = span.slash != nullptr ? span.slash : span.end;
  if (pHostEnd == span.host) return;

  ElementList list{pElement, nElements, nSub, nPath, nTldIndex, nLimit};
  bool tld_found = false;
  bool at_limit = false;
  const size_t host_at = static_cast<size_t>(span.host - url);
  if (!bAddHostSuffixes(list, url, host_at, pHostEnd, dots, &tld_found, &at_limit)) {
    if (at_limit) nCount = count = list.nCandidates();
    return;
  }
  if (!tld_found || list.bFull()) return;
  nAuthIndex = nElements;
  list.vAdd(span.host);
  ++nSub;
  if (!list.bAtLimit() && span.slash != nullptr &&
      !bAddPathPrefixes(list, url, pHostEnd, span.end, slashes, &at_limit) && !at_limit)
    return;  // the slots ran out
  nCount = count = list.nCandidates();
}

int cLcpParse::nGetLcp(const char* src, char* dst) { return nGetLcp(src, dst, INT_MAX); }

int cLcpParse::nGetLcp(const char* src, char* dst, int size) {
  if (nCount == 0 || nNext > nCount) {  // no walk, or walked past the TLD
    vCopyOut(dst, size, "", 0);
    return 0;
  }
  int index = nElements - 1 - nNext;
  const char* element = pElement[index];
  // A host element runs to the host's end; a path prefix from src up to the
  // element, without the '/' before it.
  const bool host = element < pHostEnd;
  const char* from = host ? element : src;
  ptrdiff_t len = host ? pHostEnd - element : element - src;
  if (!host && len > 0 && src[len - 1] == '/') --len;
  vCopyOut(dst, size, from, len);
  ++nNext;
  return index != nTldIndex ? 1 : 0;
}

int cLcpParse::GetAuth(const char* src, char* dst) { return GetAuth(src, dst, INT_MAX); }

int cLcpParse::GetAuth(const char*, char* dst, int size) {
  if (nAuthIndex < nElements)
    vCopyOut(dst, size, pElement[nAuthIndex], pHostEnd - pElement[nAuthIndex]);
  else vCopyOut(dst, size, "", 0);
  return 0;
}

int cLcpParse::GetTld1(const char* src, char* dst) { return GetTld1(src, dst, INT_MAX); }

int cLcpParse::GetTld1(const char*, char* dst, int size) {
  int index = nTldIndex + 1;
  if (index < nElements) vCopyOut(dst, size, pElement[index], pHostEnd - pElement[index]);
  else vCopyOut(dst, size, "", 0);
  return 0;
}

void cLcpParse::vReset() { nNext = 0; }

int cLcpParse::PrintAll(const char* src, char* dst) { return PrintAll(src, dst, INT_MAX); }

int cLcpParse::PrintAll(const char* src, char* dst, int size) {
  std::printf("LCP found %d elements : %d sub %d path \n", nSub + nPath, nSub, nPath);
  // With no room in dst every line shows an empty text.
  bool room = dst != nullptr && size > 0;
  const char* shown = room ? dst : "";

  // Path lines: one copy of the longest prefix, then a NUL over the '/'
  // before each shorter element.
  ptrdiff_t copied = 0;
  for (int i = nElements - 1; i >= nSub; --i) {
    const char* element = pElement[i];
    if (i == nElements - 1) {
      ptrdiff_t len = element - src;
      vCopyOut(dst, size, src, len);
      copied = !room || len < 0 ? 0 : (len < size - 1 ? len : size - 1);
    } else {
      ptrdiff_t at = element - 1 - src;
      if (at >= 0 && at < copied) {
        dst[at] = '\0';
        copied = at;
      }
    }
    int number = i - nTldIndex;
    std::printf("%d: %s ", number, shown);
    if (number == nLimit) std::fputs(" (LCP LIMIT) ", stdout);
    std::putchar('\n');
  }

  // Host lines, from the whole host down to the TLD and below it.
  for (int i = nSub - 1; i >= 0; --i) {
    vCopyOut(dst, size, pElement[i], pHostEnd - pElement[i]);
    int number = i - nTldIndex;
    std::printf("%d: %s ", number, shown);
    if (number == nLimit) std::fputs(" (LCP LIMIT) ", stdout);
    if (i == nTldIndex) std::fputs(" (TLD) ", stdout);
    std::putchar('\n');
  }
  return 0;
}
