// Internal view of the built-in TLD table: the names in table order, the
// comma string, and the two lookup tables built from them at compile time
// (tld/table.cpp). Shared by tld/lookup.cpp and the internal tests.
#ifndef URLKEYS_TLD_TLD_TABLE_H
#define URLKEYS_TLD_TLD_TABLE_H

#include <array>
#include <cstddef>
#include <cstdint>

#include "tld_table.inc"

namespace urlkeys::tld {

// Number of names in the table, and the length of the longest one.
inline constexpr int kNameCount = URLKEYS_TLD_COUNT;
inline constexpr std::size_t kLongestName = URLKEYS_TLD_LONGEST;
// Length of the comma string, without its NUL.
inline constexpr std::size_t kCommaLength = sizeof(URLKEYS_TLD_COMMA_LITERAL) - 1;

// The names in table order, then a null pointer.
extern const char* const g_apNames[kNameCount + 1];
// A comma, the names joined by commas, a comma; NUL-terminated.
extern const char g_sCommas[kCommaLength + 1];

// The TLD key of every name, sorted ascending (duplicates kept).
extern const std::array<std::uint64_t, kNameCount> g_anKeys;

// Open-addressing table of the names for whole-name lookups. A slot is 0
// when empty, else (offset << 8) | length: the name is the `length`
// characters of g_sCommas starting at `offset`. Probing is linear, starting
// at nNameHash(name, length) & kSlotMask.
inline constexpr int kSlotBits = 12;
inline constexpr std::uint32_t kSlotMask = (1u << kSlotBits) - 1;
extern const std::array<std::uint32_t, (1u << kSlotBits)> g_anSlots;

// Key of the first m bytes (0 <= m <= 8) of `name`: byte k of the key is
// ((name[2k] * 4) mod 256) | name[2k + 1], bytes taken raw, so only the low
// 32 bits can be set. Reads exactly m bytes.
constexpr std::uint64_t nTldKey(const char* name, int m) {
  std::uint64_t key = 0;
  for (int i = 0; i < m; ++i) {
    const std::uint64_t c = static_cast<unsigned char>(name[i]);
    const std::uint64_t b = (i % 2 == 0) ? ((c * 4) & 0xFF) : c;
    key |= b << (8 * (i / 2));
  }
  return key;
}

// Hash of a name for g_anSlots (32-bit FNV-1a), fed one byte at a time so
// that a caller can hash while it scans: start with kHashSeed and add each
// byte with nHashStep. The slot to start probing at is hash & kSlotMask.
inline constexpr std::uint32_t kHashSeed = 2166136261u;
constexpr std::uint32_t nHashStep(std::uint32_t h, char c) {
  return (h ^ static_cast<unsigned char>(c)) * 16777619u;
}
constexpr std::uint32_t nNameHash(const char* name, std::size_t len) {
  std::uint32_t h = kHashSeed;
  for (std::size_t i = 0; i < len; ++i) h = nHashStep(h, name[i]);
  return h;
}

}  // namespace urlkeys::tld

#endif
