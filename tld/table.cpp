// The built-in TLD table: the names and the comma string generated from
// tld/tld_names.txt, and the lookup sets that are computed from them while
// the library compiles (the sorted keys, the key set, the packed names and
// the name set), so that no lookup ever waits for, races with or allocates
// a table. Also ZuCreateTldHashTable.
#include "tld/tld_table.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "urlkeys/tld.h"

namespace urlkeys::tld {

constexpr const char* const g_apNames[kNameCount + 1] = {URLKEYS_TLD_NAME_LITERALS nullptr};
constexpr char g_sCommas[kCommaLength + 1] = URLKEYS_TLD_COMMA_LITERAL;

namespace {

// The key table covers this many leading characters of a name.
constexpr std::size_t kKeyChars = 8;
// ZuCreateTldHashTable warns about names longer than this.
constexpr std::size_t kWarnLength = 16;
// Longest run of slots any lookup may probe in either set.
constexpr int kMaxProbe = 16;

constexpr std::size_t nLength(const char* s) {
  std::size_t n = 0;
  while (s[n] != '\0') ++n;
  return n;
}

// True when the comma string is exactly a comma, the names joined by commas,
// and a comma, and no name is empty or holds a comma.
constexpr bool bCommasMatchNames() {
  std::size_t pos = 0;
  if (g_sCommas[pos++] != ',') return false;
  for (int i = 0; i < kNameCount; ++i) {
    const char* name = g_apNames[i];
    if (name == nullptr || name[0] == '\0') return false;
    for (const char* p = name; *p != '\0'; ++p) {
      if (*p == ',' || pos >= kCommaLength || g_sCommas[pos++] != *p) return false;
    }
    if (pos >= kCommaLength || g_sCommas[pos++] != ',') return false;
  }
  return pos == kCommaLength && g_apNames[kNameCount] == nullptr;
}
static_assert(bCommasMatchNames(), "the TLD comma string does not match the name list");
static_assert(kLongestName <= 16, "packed names hold at most 16 characters");
static_assert(kCommaLength <= 0xFFFF, "name offsets are 16 bits");
static_assert(kNameCount < static_cast<int>(kNameIndexMask), "name indexes too narrow");

constexpr std::array<std::uint64_t, kNameCount> BuildKeys() {
  std::array<std::uint64_t, kNameCount> keys{};
  for (int i = 0; i < kNameCount; ++i) {
    const std::size_t len = nLength(g_apNames[i]);
    keys[i] = nTldKey(g_apNames[i], static_cast<int>(std::min(len, kKeyChars)));
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

struct KeySet {
  std::array<std::uint32_t, (1u << kKeySlotBits)> slots{};
  int distinct = 0;
  int longest_probe = 0;
};

constexpr KeySet BuildKeySet(const std::array<std::uint64_t, kNameCount>& keys) {
  KeySet s;
  for (const std::uint64_t key : keys) {
    std::uint32_t at = nKeySlot(key);
    int probes = 1;
    while (s.slots[at] != 0 && s.slots[at] != key) {
      at = (at + 1) & kKeySlotMask;
      ++probes;
    }
    if (s.slots[at] == 0) ++s.distinct;
    s.slots[at] = static_cast<std::uint32_t>(key);
    s.longest_probe = std::max(s.longest_probe, probes);
  }
  return s;
}

constexpr std::array<cPackedName, kNameCount> BuildPacked() {
  std::array<cPackedName, kNameCount> packed{};
  for (int i = 0; i < kNameCount; ++i) {
    const char* name = g_apNames[i];
    const std::size_t len = nLength(name);
    packed[i].lo = nPackBytes(name, std::min<std::size_t>(len, 8));
    packed[i].hi = len > 8 ? nPackBytes(name + 8, len - 8) : 0;
  }
  return packed;
}

constexpr std::array<std::uint16_t, kNameCount> BuildOffsets() {
  std::array<std::uint16_t, kNameCount> offsets{};
  std::size_t offset = 1;  // past the leading comma
  for (int i = 0; i < kNameCount; ++i) {
    offsets[i] = static_cast<std::uint16_t>(offset);
    offset += nLength(g_apNames[i]) + 1;
  }
  return offsets;
}

struct NameSet {
  std::array<std::uint16_t, (1u << kNameSlotBits)> slots{};
  bool unique = true;     // no name occurs twice
  int longest_probe = 0;  // most slots visited to find one name
};

constexpr NameSet BuildNameSet(const std::array<cPackedName, kNameCount>& packed) {
  NameSet t;
  for (int i = 0; i < kNameCount; ++i) {
    const std::uint32_t hash = nNameHash(packed[i].lo, packed[i].hi);
    std::uint32_t at = hash & kNameSlotMask;
    int probes = 1;
    while (t.slots[at] != 0) {
      const cPackedName& other = packed[(t.slots[at] & kNameIndexMask) - 1];
      if (other.lo == packed[i].lo && other.hi == packed[i].hi) t.unique = false;
      at = (at + 1) & kNameSlotMask;
      ++probes;
    }
    const std::uint32_t tag = (hash >> kNameSlotBits) & kNameTagMask;
    const std::uint32_t index = static_cast<std::uint32_t>(i + 1);
    t.slots[at] = static_cast<std::uint16_t>(index | tag << kNameIndexBits);
    t.longest_probe = std::max(t.longest_probe, probes);
  }
  return t;
}

}  // namespace

// The TLD key of every name, sorted ascending (duplicates kept).
constexpr std::array<std::uint64_t, kNameCount> kKeys = BuildKeys();
static_assert(kKeys[0] != 0, "no name may have the key 0");

constexpr KeySet kKeySet = BuildKeySet(kKeys);
static_assert(kKeySet.distinct * 2 <= static_cast<int>(kKeySlotMask + 1), "key set too full");
static_assert(kKeySet.longest_probe <= kMaxProbe, "key set clusters badly; change nKeySlot");
constexpr std::array<std::uint32_t, (1u << kKeySlotBits)> g_anKeySet = kKeySet.slots;

constexpr std::array<cPackedName, kNameCount> g_aoPacked = BuildPacked();
constexpr std::array<std::uint16_t, kNameCount> g_anOffsets = BuildOffsets();

constexpr NameSet kNameSet = BuildNameSet(g_aoPacked);
static_assert(kNameCount * 2 <= static_cast<int>(kNameSlotMask + 1), "name set too full");
static_assert(kNameSet.unique, "a TLD name occurs twice");
static_assert(kNameSet.longest_probe <= kMaxProbe, "name set clusters badly; change nNameHash");
constexpr std::array<std::uint16_t, (1u << kNameSlotBits)> g_anNameSet = kNameSet.slots;

}  // namespace urlkeys::tld

int ZuCreateTldHashTable() {
  using namespace urlkeys::tld;
  // The key set is constant data, always ready; what remains of building it
  // is the warning for over-long names (none in the built-in table).
  for (int i = 0; g_apNames[i] != nullptr; ++i) {
    if (std::strlen(g_apNames[i]) > kWarnLength) {
      std::printf(
          "warning, the tld %s is too large to fit in the tld lookup table (max size is %d) \n",
          g_apNames[i], static_cast<int>(kWarnLength));
    }
  }
  return 0;
}
