// Host and path reduction: label reversal, one-step domain and path
// shortening, and the bParseDomain diagnostic.
#include "urlkeys/domain.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/find_last.h"
#include "urlkeys/tld.h"

namespace {

constexpr size_t kPathSize = ZU_LCP_PATH_SIZE;
// Capacity of one label and of the label pair kept by bParseDomain, NUL included.
constexpr size_t kLabelSize = ZU_DOMAIN_PAIR_SIZE;
// The key test refuses any longer name, so longer rests need not be
// measured to the end.
constexpr size_t kKeyTestMaxLen = ZU_TLD_KEY_MAX_LEN;

// Per thread: callers on different threads never share a result; on one
// thread a result lives until that thread's next call.
thread_local char tl_sPath[kPathSize];
thread_local char tl_sDomainPair[kLabelSize];

// Writes n spaces to standard output.
void vPrintSpaces(uint64_t n) {
  static const char kSpaces[] =
      "                                                                "
      "                                                                "
      "                                                                "
      "                                                                ";
  constexpr uint64_t kChunk = sizeof kSpaces - 1;
  while (n != 0) {
    const uint64_t k = n < kChunk ? n : kChunk;
    if (std::fwrite(kSpaces, 1, static_cast<size_t>(k), stdout) != k) return;
    n -= k;
  }
}

// Appends at most `room` bytes of [p, p + len) at dst; returns the new end.
char* sAppendCut(char* dst, const char* p, size_t len, size_t room) {
  const size_t k = len < room ? len : room;
  std::memcpy(dst, p, k);
  return dst + k;
}

}  // namespace

int bReverseDomain(char* name) {
  char* const end = name + std::strlen(name);
  std::reverse(name, end);
  // Each label now reads backwards; turn each one round again.
  for (char* label = name;;) {
    char* dot = static_cast<char*>(std::memchr(label, '.', static_cast<size_t>(end - label)));
    std::reverse(label, dot ? dot : end);
    if (!dot) break;
    label = dot + 1;
  }
  return 0;
}

char* sLcpDomain(const char* domain, char sep, int n, bool* more) {
  *more = false;
  // A NUL separator would match the terminator and step past the string.
  if (sep == '\0') return nullptr;
  if (n < 1) n = 1;
  const char* rest = domain;
  for (int i = 0; i < n; ++i) {
    const char* hit = std::strchr(rest, sep);
    if (!hit) return nullptr;
    rest = hit + 1;
  }
  if (*rest != '\0' && std::strchr(rest, sep) != nullptr) {
    // Lengths past the key test's limit all give false; cap the count there.
    const int len = static_cast<int>(strnlen(rest, kKeyTestMaxLen + 1));
    *more = !bIsTLD2(const_cast<char*>(rest), len);
  }
  return const_cast<char*>(rest);
}

char* sLcpPath(const char* path, char sep, bool* more) {
  *more = false;
  // A longer path is read as its first 4095 characters, so that its leading
  // prefixes are still handed out; dropping the last segment of the cut text
  // drops the piece the cut went through.
  const size_t len = strnlen(path, kPathSize - 1);
  std::memcpy(tl_sPath, path, len);
  tl_sPath[len] = '\0';
  // A NUL separator is never part of the text: nothing to drop.
  if (sep == '\0') return nullptr;
  char* last = urlkeys::common::pFindLastByte(tl_sPath, len, sep);
  if (!last) return nullptr;
  *last = '\0';
  *more = std::memchr(tl_sPath, sep, static_cast<size_t>(last - tl_sPath)) != nullptr;
  return tl_sPath;
}

bool bParseDomain(const char* domain, int /*unused*/) {
  // One pass: count the labels and remember where the last two begin.
  uint64_t labels = 1;
  const char* prev = nullptr;  // start of the last-but-one label
  const char* last = domain;   // start of the last label
  const char* p = domain;
  for (; *p != '\0'; ++p) {
    if (*p == '.') {
      ++labels;
      prev = last;
      last = p + 1;
    }
  }
  if (labels >= 2) {
    // Each label is cut to 255 characters, then "prev.last" to 255 in all.
    constexpr size_t kMax = kLabelSize - 1;
    const size_t prev_len = std::min(static_cast<size_t>(last - 1 - prev), kMax);
    const size_t last_len = std::min(static_cast<size_t>(p - last), kMax);
    char* out = tl_sDomainPair;
    out = sAppendCut(out, prev, prev_len, kMax);
    out = sAppendCut(out, ".", 1, kMax - static_cast<size_t>(out - tl_sDomainPair));
    out = sAppendCut(out, last, last_len, kMax - static_cast<size_t>(out - tl_sDomainPair));
    *out = '\0';
  }
  // Groups 1, 2, ..., L-1 of three spaces: L*(L-1)/2 in all. Unsigned, and a
  // name long enough to wrap this could not be printed anyway.
  vPrintSpaces(3 * (labels * (labels - 1) / 2));
  return true;
}
