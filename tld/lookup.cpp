// The tests against the built-in TLD table: the list test bIsTLD, the host
// test bCheckTLD and the key test bIsTLD2. All read constant data only.
#include <cstring>

#include "tld/tld_table.h"
#include "urlkeys/tld.h"

namespace urlkeys::tld {

namespace {

constexpr std::size_t kListLimit = ZU_TLD_LIST_MAX_LEN;
// A text longer than the longest name can only be accepted through "xn--"
// or through a comma within its first kLongestName + 1 bytes; those bytes
// are checked with two 8-byte loads.
static_assert(kLongestName >= 8 && kLongestName + 1 <= 16, "comma check covers two words");

constexpr std::uint32_t kXnPrefix = 'x' | 'n' << 8 | '-' << 16 | '-' << 24;

inline bool bHasXnPrefix(const char* s, std::size_t len) {
  if (len < 4) return false;
  return common::nLoadLittle32(s) == kXnPrefix;
}

// The 8 bytes at s in the target's byte order: only tested with bHasByte,
// which does not depend on it.
inline std::uint64_t nLoad8(const char* s) {
  std::uint64_t w;
  std::memcpy(&w, s, 8);
  return w;
}

// Index in table order of the name packed into lo/hi, or -1.
inline int nFindName(std::uint64_t lo, std::uint64_t hi) {
  const std::uint32_t hash = nNameHash(lo, hi);
  const std::uint32_t tag = (hash >> kNameSlotBits) & kNameTagMask;
  for (std::uint32_t at = hash & kNameSlotMask;; at = (at + 1) & kNameSlotMask) {
    const std::uint32_t slot = g_anNameSet[at];
    if (slot == 0) return -1;
    if ((slot >> kNameIndexBits) == tag) {
      const int index = static_cast<int>(slot & kNameIndexMask) - 1;
      const cPackedName& name = g_aoPacked[static_cast<std::size_t>(index)];
      if (name.lo == lo && name.hi == hi) return index;
    }
  }
}

// Index of the entry equal to the len (1..16) bytes at s, or -1.
inline int nFindSpan(const char* s, std::size_t len) {
  const std::uint64_t lo = nPackUpTo8(s, len < 8 ? len : 8);
  const std::uint64_t hi = len > 8 ? nPackUpTo8(s + 8, len - 8) : 0;
  return nFindName(lo, hi);
}

// The list test for a name holding a comma among its first
// kLongestName + 1 bytes: its first piece must be a whole entry, and the
// rest must follow that entry in the comma string, which lists every name
// once.
bool bListWithComma(const char* name, std::size_t len) {
  if (len > kListLimit) return false;
  if (bHasXnPrefix(name, len)) return true;
  const std::size_t comma =
      static_cast<std::size_t>(static_cast<const char*>(std::memchr(name, ',', len)) - name);
  if (comma == 0 || comma > kLongestName) return false;
  const int index = nFindSpan(name, comma);
  if (index < 0) return false;
  const std::size_t off = g_anOffsets[static_cast<std::size_t>(index)];
  return off + len < kCommaLength && std::memcmp(g_sCommas + off, name, len) == 0 &&
         g_sCommas[off + len] == ',';
}

}  // namespace

bool bIsListName(const char* name, std::size_t len) {
  if (len == 0) return false;
  if (len <= kLongestName) {
    const std::uint64_t lo = nPackUpTo8(name, len < 8 ? len : 8);
    const std::uint64_t hi = len > 8 ? nPackUpTo8(name + 8, len - 8) : 0;
    // Zero padding never reads as a comma, so this looks at the name only.
    if (bHasByte(lo, ',') || bHasByte(hi, ',')) {
      return bListWithComma(name, len);
    }
    return nFindName(lo, hi) >= 0 || bHasXnPrefix(name, len);
  }
  // Too long for one entry: a comma among the first kLongestName + 1 bytes
  // may still make it a run of entries.
  if (bHasByte(nLoad8(name), ',') || bHasByte(nLoad8(name + kLongestName + 1 - 8), ',')) {
    return bListWithComma(name, len);
  }
  return len <= kListLimit && bHasXnPrefix(name, len);
}

}  // namespace urlkeys::tld

using namespace urlkeys::tld;

bool bIsTLD(char* name) {
  // Only the first kLongestName + 1 bytes decide, unless the name begins
  // with "xn--" or holds a comma there; then its length up to the limit
  // counts as well.
  std::size_t n = 0;
  while (n <= kLongestName && name[n] != '\0') ++n;
  if (n <= kLongestName) return bIsListName(name, n);
  if (!bHasXnPrefix(name, n) && !bHasByte(nLoad8(name), ',') &&
      !bHasByte(nLoad8(name + kLongestName + 1 - 8), ','))
    return false;
  return bIsListName(name, n + strnlen(name + n, kListLimit + 1 - n));
}

bool bCheckTLD(char* host) {
  char* dot = std::strrchr(host, '.');
  return dot != nullptr && bIsTLD(dot + 1);
}

bool bIsTLD2(char* name, int len) { return bIsKeyName(name, len); }
