// The built-in TLD table: the names and the comma string generated from
// tld/tld_names.txt, and the sorted key table and the name hash that are
// computed from them while the library compiles, so that no lookup ever
// waits for, races with or allocates a table. Also ZuCreateTldHashTable.
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

constexpr std::array<std::uint64_t, kNameCount> BuildKeys() {
  std::array<std::uint64_t, kNameCount> keys{};
  for (int i = 0; i < kNameCount; ++i) {
    const std::size_t len = nLength(g_apNames[i]);
    keys[i] = nTldKey(g_apNames[i], static_cast<int>(std::min(len, kKeyChars)));
  }
  std::sort(keys.begin(), keys.end());
  return keys;
}

struct SlotTable {
  std::array<std::uint32_t, (1u << kSlotBits)> slots{};
  bool unique = true;    // no name occurs twice
  int longest_probe = 0;  // most slots visited to find one name
};

constexpr SlotTable BuildSlots() {
  SlotTable t;
  std::size_t offset = 1;  // past the leading comma
  for (int i = 0; i < kNameCount; ++i) {
    const char* name = g_apNames[i];
    const std::size_t len = nLength(name);
    std::uint32_t at = nNameHash(name, len) & kSlotMask;
    int probes = 1;
    while (t.slots[at] != 0) {
      const std::uint32_t slot = t.slots[at];
      if ((slot & 0xFF) == len) {
        bool same = true;
        for (std::size_t k = 0; k < len; ++k) same = same && g_sCommas[(slot >> 8) + k] == name[k];
        if (same) t.unique = false;
      }
      at = (at + 1) & kSlotMask;
      ++probes;
    }
    t.slots[at] = static_cast<std::uint32_t>(offset << 8 | len);
    t.longest_probe = std::max(t.longest_probe, probes);
    offset += len + 1;
  }
  return t;
}

constexpr SlotTable kSlotTable = BuildSlots();
static_assert(kLongestName <= 0xFF && kCommaLength < (1u << 24), "slot packing too narrow");
static_assert(kNameCount * 2 <= static_cast<int>(kSlotMask + 1), "name hash too full");
static_assert(kSlotTable.unique, "a TLD name occurs twice");
static_assert(kSlotTable.longest_probe <= 16, "name hash clusters badly; change the hash");

}  // namespace

constexpr std::array<std::uint64_t, kNameCount> g_anKeys = BuildKeys();
static_assert(g_anKeys[0] != 0, "no name may have the key 0");
constexpr std::array<std::uint32_t, (1u << kSlotBits)> g_anSlots = kSlotTable.slots;

}  // namespace urlkeys::tld

int ZuCreateTldHashTable() {
  using namespace urlkeys::tld;
  // The key table is constant data, always ready; what remains of building it
  // is the warning for over-long names (none in the built-in table).
  for (int i = 0; g_apNames[i] != nullptr; ++i) {
    if (std::strlen(g_apNames[i]) > kWarnLength) {
      std::printf("warning, the tld %s is too large to fit in the tld lookup table (max size is %d) \n",
                  g_apNames[i], static_cast<int>(kWarnLength));
    }
  }
  return 0;
}
