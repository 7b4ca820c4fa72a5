// The tests against the built-in TLD table: the list test bIsTLD, the host
// test bCheckTLD and the key test bIsTLD2. All read constant data only.
#include <cstring>

#include "tld/tld_table.h"
#include "urlkeys/tld.h"

namespace {

using namespace urlkeys::tld;

// Names longer than this are never accepted by the list test.
constexpr std::size_t kListLimit = 256;
// Names longer than this are never accepted by the key test.
constexpr int kKeyLimit = 10;
// The key covers at most this many leading bytes of a name.
constexpr int kKeyChars = 8;

// Finds the table entry equal to the `len` bytes at `s`, where `hash` is
// nNameHash(s, len). Returns the entry's offset in g_sCommas (never 0, the
// string starts with a comma), or 0 when no entry is equal.
inline std::size_t nFindEntry(const char* s, std::size_t len, std::uint32_t hash) {
  for (std::uint32_t at = hash & kSlotMask;; at = (at + 1) & kSlotMask) {
    const std::uint32_t slot = g_anSlots[at];
    if (slot == 0) return 0;
    if ((slot & 0xFF) == len && std::memcmp(g_sCommas + (slot >> 8), s, len) == 0) return slot >> 8;
  }
}

}  // namespace

// Answers as a search for "," name "," in the comma string would: a name
// without commas must be one whole entry; a name with commas must spell
// consecutive entries, which stand next to each other in the comma string,
// so it is enough to find its first piece and compare the rest in place.
bool bIsTLD(char* name) {
  // Hash the first piece (up to a comma or the end) while it can still be
  // an entry; n ends as its length, or kLongestName + 1 when it is longer.
  std::uint32_t h = kHashSeed;
  std::size_t n = 0;
  while (n <= kLongestName && name[n] != '\0' && name[n] != ',') h = nHashStep(h, name[n++]);

  std::size_t len = n;
  if (name[n] != '\0') len += strnlen(name + n, kListLimit + 1 - n);
  if (len > kListLimit) return false;
  if (name[0] == 'x' && name[1] == 'n' && name[2] == '-' && name[3] == '-') return true;
  if (n == 0 || n > kLongestName) return false;

  const std::size_t off = nFindEntry(name, n, h);
  if (off == 0) return false;
  if (len == n) return true;
  return off + len < kCommaLength && std::memcmp(g_sCommas + off, name, len) == 0 &&
         g_sCommas[off + len] == ',';
}

bool bCheckTLD(char* host) {
  char* dot = std::strrchr(host, '.');
  return dot != nullptr && bIsTLD(dot + 1);
}

bool bIsTLD2(char* name, int len) {
  if (len > kKeyLimit || len <= 0) return false;  // no entry has the key of the empty name
  const std::uint64_t key = nTldKey(name, len < kKeyChars ? len : kKeyChars);

  // Bisection for the last key not above `key`.
  const std::uint64_t* base = g_anKeys.data();
  std::size_t n = g_anKeys.size();
  while (n > 1) {
    const std::size_t half = n / 2;
    if (base[half] <= key) base += half;
    n -= half;
  }
  return *base == key;
}
