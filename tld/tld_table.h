// Internal view of the built-in TLD table: the names in table order, the
// comma string, the two lookup sets built from them at compile time
// (tld/table.cpp), and the length-taking forms of the list and key tests.
// Shared by tld/, lcp/ and the internal tests.
#ifndef URLKEYS_TLD_TLD_TABLE_H
#define URLKEYS_TLD_TLD_TABLE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/byte_order.h"
#include "tld_table.inc"
#include "urlkeys/tld.h"

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

// ---------------------------------------------------------------- packing

// The packed names and keys below hold byte 0 of a name lowest, on any
// target.

// The m bytes at `s` (1 <= m <= 8) as a little-endian word, zero above
// them. Reads exactly those m bytes, with at most two loads. Every caller
// has at least one byte to pack.
inline std::uint64_t nPackUpTo8(const char* s, std::size_t m) {
  if (m >= 4) {
    const std::uint32_t lo = common::nLoadLittle32(s);
    const std::uint32_t hi =
        common::nLoadLittle32(s + m - 4);  // overlaps lo when m < 8: same bytes, OR is harmless
    return lo | (static_cast<std::uint64_t>(hi) << (8 * (m - 4)));
  }
  const std::size_t mid = m >> 1;  // 0, 1, 1 for m = 1, 2, 3
  return static_cast<std::uint64_t>(static_cast<unsigned char>(s[0])) |
         static_cast<std::uint64_t>(static_cast<unsigned char>(s[mid])) << (8 * mid) |
         static_cast<std::uint64_t>(static_cast<unsigned char>(s[m - 1])) << (8 * (m - 1));
}

// Compile-time form of nPackUpTo8, one byte at a time.
constexpr std::uint64_t nPackBytes(const char* s, std::size_t m) {
  std::uint64_t w = 0;
  for (std::size_t i = 0; i < m; ++i)
    w |= static_cast<std::uint64_t>(static_cast<unsigned char>(s[i])) << (8 * i);
  return w;
}

// True when any byte of w equals c (exact, for any w, and so for either
// byte order of the load that filled w).
constexpr bool bHasByte(std::uint64_t w, unsigned char c) {
  const std::uint64_t v = w ^ (0x0101010101010101ull * c);
  return ((v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull) != 0;
}

// ------------------------------------------------------------------- keys

// The TLD key of a name whose first m (<= 8) bytes are packed into w, zero
// above them: byte k of the key is ((name[2k] * 4) mod 256) | name[2k + 1],
// so only the low 32 bits can be set.
constexpr std::uint64_t nKeyOfWord(std::uint64_t w) {
  constexpr std::uint64_t kLow = 0x00FF00FF00FF00FFull;
  std::uint64_t v = (((w & kLow) << 2) & kLow) | ((w >> 8) & kLow);  // key byte k in 16-bit lane k
  v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
  return (v | (v >> 16)) & 0xFFFFFFFFull;
}

// Key of the first m bytes (0 <= m <= 8) of `name`. Reads exactly m bytes.
constexpr std::uint64_t nTldKey(const char* name, int m) {
  return nKeyOfWord(nPackBytes(name, static_cast<std::size_t>(m)));
}

// The distinct keys of the table as an open-addressing set: 0 marks an
// empty slot (no name has the key 0), probing is linear from nKeySlot(key).
inline constexpr int kKeySlotBits = 11;
inline constexpr std::uint32_t kKeySlotMask = (1u << kKeySlotBits) - 1;
extern const std::array<std::uint32_t, (1u << kKeySlotBits)> g_anKeySet;

constexpr std::uint32_t nKeySlot(std::uint64_t key) {
  return static_cast<std::uint32_t>((key * 0x9E3779B97F4A7C15ull) >> (64 - kKeySlotBits));
}

// The key test on the `len` bytes at `name`: false when len is outside
// 1..ZU_TLD_KEY_MAX_LEN, else whether the key of the first min(len, 8) bytes
// is a table key. Reads exactly min(len, 8) bytes (none when len is outside).
inline bool bIsKeyName(const char* name, int len) {
  if (len <= 0 || len > ZU_TLD_KEY_MAX_LEN) return false;
  const std::size_t m = len < 8 ? static_cast<std::size_t>(len) : 8;
  const std::uint64_t key = nKeyOfWord(nPackUpTo8(name, m));
  if (key == 0) return false;  // "@", NUL bytes, ...: 0 is the empty-slot mark
  for (std::uint32_t at = nKeySlot(key);; at = (at + 1) & kKeySlotMask) {
    const std::uint32_t slot = g_anKeySet[at];
    if (slot == key) return true;
    if (slot == 0) return false;
  }
}

// ------------------------------------------------------------------ names

// Every name packed into two words (bytes 0-7 and 8-15, zero-padded), in
// table order. Names hold no NUL, so two names are equal exactly when their
// words are.
struct cPackedName {
  std::uint64_t lo;
  std::uint64_t hi;
};
extern const std::array<cPackedName, kNameCount> g_aoPacked;
// Offset of every name in g_sCommas (its first character), in table order.
extern const std::array<std::uint16_t, kNameCount> g_anOffsets;

// Open-addressing set of the names, 8 KB: a slot is 0 when empty, else
// (index + 1) | tag << kNameIndexBits, where index is the name's place in
// table order and tag the hash bits above the slot bits, which spares most
// probes a look at the packed name. Probing is linear from the hash's low
// kNameSlotBits.
inline constexpr int kNameSlotBits = 12;
inline constexpr std::uint32_t kNameSlotMask = (1u << kNameSlotBits) - 1;
inline constexpr int kNameIndexBits = 11;
inline constexpr std::uint32_t kNameIndexMask = (1u << kNameIndexBits) - 1;
inline constexpr std::uint32_t kNameTagMask = (1u << (16 - kNameIndexBits)) - 1;
extern const std::array<std::uint16_t, (1u << kNameSlotBits)> g_anNameSet;

constexpr std::uint32_t nNameHash(std::uint64_t lo, std::uint64_t hi) {
  const std::uint64_t mixed = (lo * 0x9E3779B97F4A7C15ull) ^ (hi * 0xC2B2AE3D27D4EB4Full);
  return static_cast<std::uint32_t>(mixed >> 32);
}

// List test on the `len` bytes at `name`, which need not be terminated: true
// when ',' name ',' occurs in the comma string (one whole entry, or
// consecutive entries when name holds commas) or name begins with "xn--";
// false when len > 256. Reads at most the first min(len, 14) bytes when the
// name holds no comma among them, else at most len bytes.
bool bIsListName(const char* name, std::size_t len);

}  // namespace urlkeys::tld

#endif
