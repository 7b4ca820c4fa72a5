// cLcpParse: the numbered LCP element list of a URL text, scanned in place
// (repeated percent-decoding, host suffixes above the TLD, path prefixes).
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "tld/tld_table.h"
#include "url/text_scan.h"
#include "urlkeys/lcp.h"
#include "urlkeys/unescape.h"

namespace {

// Longest text the constructor reads; a longer text is cut there in place.
constexpr size_t kMaxText = 4095;
// Most candidates one construction keeps.
constexpr int kMaxCandidates = 20;
// Longest last label, or last two labels, given to the key test.
constexpr ptrdiff_t kMaxTldText = 255;
// Element slots: every candidate, the TLD element and, with a two-label TLD,
// the last label below it. The scan stops once the candidates reach 20, and
// the TLD element is at index 0 or 1, so at most 22 elements are stored.
constexpr int kSlots = kMaxCandidates + 2;

// Bytes one decoding pass may change: '%', '+' and bytes of 0x80 and above.
// Every other byte is copied unchanged and leaves the UTF-8 state alone.
inline bool bActive(unsigned char c) { return c == '%' || c == '+' || c >= 0x80; }

// The value the decoder gives a byte read as a hexadecimal digit.
inline int nNibble(unsigned char c) {
  c &= 0x7F;
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + ('a' - 'A'));
  return (c - 87) & 0x0F;
}

// True when decoding `len` bytes at `text` could write a NUL byte before its
// end: a raw 0x80 byte (it can close a sequence whose low byte is 0), or a
// '%' whose two following bytes spell 0x00 or 0x80. Every '%' is checked,
// whether or not the decoder takes it as an escape, so the answer errs
// towards yes. The caller guarantees that two bytes follow every '%'.
bool bMayWriteNul(const char* text, size_t len) {
  if (std::memchr(text, 0x80, len) != nullptr) return true;
  const char* end = text + len;
  for (const char* c = text; c < end; ++c) {
    c = static_cast<const char*>(std::memchr(c, '%', static_cast<size_t>(end - c)));
    if (c == nullptr) return false;
    if (nNibble(static_cast<unsigned char>(c[2])) == 0 &&
        (nNibble(static_cast<unsigned char>(c[1])) & 7) == 0)
      return true;
  }
  return false;
}


// Percent-decodes `text` (n <= 4095 characters) in place with zuUrlUnescape
// again and again while it holds a '%'; returns the resulting length. The
// result equals that of whole-text passes, without their quadratic cost on
// nested escapes ("%252525...2541" loses two characters a pass):
// - text[0, p) and text[q, n) hold no byte a pass can change, so a pass
//   leaves them as they are; only the window from the first changeable byte
//   to two characters past the last one is decoded;
// - the clean tail is moved, not decoded, unless the window reaches the end
//   of the text or may end early at a decoded NUL; then the pass runs in
//   place on text + p.
// Each pass costs the window plus one memmove of the tail.
size_t nDecodeWhilePercent(char* text, size_t n) {
  size_t p = 0;
  size_t q = n;
  char window[kMaxText + 1];
  for (;;) {
    if (std::memchr(text + p, '%', q - p) == nullptr) return n;
    while (!bActive(static_cast<unsigned char>(text[p]))) ++p;
    size_t r = q - 1;
    while (!bActive(static_cast<unsigned char>(text[r]))) --r;
    size_t end = r + 3;  // a '%' at r reads r + 1 and r + 2
    if (end >= n || bMayWriteNul(text + p, end - p)) {
      zuUrlUnescape(text + p);
      n = p + std::strlen(text + p);
      q = n;
      continue;
    }
    size_t w = end - p;
    urlkeys_url::vCopyBytes(window, text + p, w);
    window[w] = '\0';
    zuUrlUnescape(window);
    size_t m = std::strlen(window);
    std::memmove(text + p + m, text + end, n - end + 1);
    // Writes the decoded window back in the middle of the text, whose
    // terminator lies after it.
    std::memcpy(text + p, window, m);  // NOLINT(bugprone-not-null-terminated-result)
    n -= w - m;
    q = p + m;
  }
}

// Number of candidates of a construction, from what it stored: a run that
// stored the whole host, or stopped at the limit or the cap, has
// elements - tld - 1; every other run (no TLD, over-long label, empty host,
// no '.') has none.
int nCandidates(int elements, int tld_index, int auth_index, int limit) {
  if (elements == 0) return 0;
  int n = elements - tld_index - 1;
  return (auth_index > 0 || n >= limit || n >= kMaxCandidates) ? n : 0;
}

// Copies `len` bytes of `from` into `dst`, cut to `size` - 1, and terminates
// it. A negative length copies nothing; size <= 0 (or no dst) writes nothing.
inline void vCopyOut(char* dst, int size, const char* from, ptrdiff_t len) {
  if (dst == nullptr || size <= 0) return;
  if (len < 0) len = 0;
  if (len > size - 1) len = size - 1;
  urlkeys_url::vCopyBytes(dst, from, static_cast<size_t>(len));
  dst[len] = '\0';
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
      nSub(0) {
  static_assert(sizeof(pElement) / sizeof(pElement[0]) == kSlots, "element list size");
  count = 0;
  if (url == nullptr) return;
  size_t n = strnlen(url, kMaxText + 1);
  if (n > kMaxText) {
    // A longer text is read as its first 4095 characters, so padding the
    // end of a URL cannot hide its host; the cut also bounds the decoding.
    url[kMaxText] = '\0';
    n = kMaxText;
  }
  if (std::memchr(url, '%', n) != nullptr) n = nDecodeWhilePercent(url, n);

  // Scheme: "x://" counts only when the first '.' lies after the first '/'.
  char* slash = static_cast<char*>(std::memchr(url, '/', n));
  char* dot = static_cast<char*>(std::memchr(url, '.', n));
  if (dot == nullptr) return;
  char* host = url;
  if (slash != nullptr && dot > slash && slash[1] == '/' && slash > url && slash[-1] == ':')
    host = slash + 2;
  if (host[0] == 'w' && host[1] == 'w' && host[2] == 'w' && host[3] == '.') host += 4;

  size_t len = n - static_cast<size_t>(host - url);
  if (len > 0 && host[len - 1] == '/') host[--len] = '\0';  // one trailing '/' only
  nUrlLen = static_cast<int>(len);
  char* end = host + len;
  // The host's '/' is the text's first one, unless that one belonged to
  // "://" or was the trailing '/' just cut off.
  if (slash != nullptr && slash < host)
    slash = static_cast<char*>(std::memchr(host, '/', len));
  else if (slash == end)
    slash = nullptr;
  pHostEnd = slash != nullptr ? slash : end;
  if (pHostEnd == host) return;

  // Host suffixes, right to left; the key test sees the last one and two
  // labels only, and the limit is tested before it.
  bool tld_found = false;
  char* const second = host + 1;  // the host's first character is never examined
  for (char* c = pHostEnd; c > second;) {
    c = urlkeys_url::pFindLastByte(second, static_cast<size_t>(c - second), '.');
    if (c == nullptr) break;
    if (nElements == kSlots) return;
    pElement[nElements++] = c + 1;
    ++nSub;
    int k = nPath + nSub - nTldIndex - 1;
    if (k >= nLimit || k >= kMaxCandidates) {
      count = k;
      return;
    }
    if (nSub <= 2) {
      ptrdiff_t suffix = pHostEnd - (c + 1);
      if (suffix > kMaxTldText) return;
      if (urlkeys::tld::bIsKeyName(c + 1, static_cast<int>(suffix))) {
        tld_found = true;
        nTldIndex = nElements - 1;
      }
    }
  }
  if (!tld_found) return;

  if (nElements == kSlots) return;
  nAuthIndex = nElements;
  pElement[nElements++] = host;
  ++nSub;
  int k = nPath + nSub - nTldIndex - 1;
  if (k >= nLimit || k >= kMaxCandidates || slash == nullptr) {
    count = k;
    return;
  }

  // Path prefixes, left to right, then the whole text (not limit-tested:
  // the test after the previous element left room for it).
  for (char* c = slash + 1; c < end; ++c) {
    c = static_cast<char*>(std::memchr(c, '/', static_cast<size_t>(end - c)));
    if (c == nullptr) break;
    if (nElements == kSlots) return;
    pElement[nElements++] = c + 1;
    ++nPath;
    k = nPath + nSub - nTldIndex - 1;
    if (k >= nLimit || k >= kMaxCandidates) {
      count = k;
      return;
    }
  }
  if (nElements == kSlots) return;
  pElement[nElements++] = end;
  ++nPath;
  count = nPath + nSub - nTldIndex - 1;
}

int cLcpParse::nGetLcp(const char* src, char* dst) { return nGetLcp(src, dst, INT_MAX); }

int cLcpParse::nGetLcp(const char* src, char* dst, int size) {
  int candidates = nCandidates(nElements, nTldIndex, nAuthIndex, nLimit);
  if (candidates == 0 || nNext > candidates) {  // no walk, or walked past the TLD
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
  else
    vCopyOut(dst, size, "", 0);
  return 0;
}

int cLcpParse::GetTld1(const char* src, char* dst) { return GetTld1(src, dst, INT_MAX); }

int cLcpParse::GetTld1(const char*, char* dst, int size) {
  int index = nTldIndex + 1;
  if (index < nElements)
    vCopyOut(dst, size, pElement[index], pHostEnd - pElement[index]);
  else
    vCopyOut(dst, size, "", 0);
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
