// Fuzz target for the TLD tests: bIsTLD against a substring search over a
// comma string built here from the names file, bCheckTLD on the last label,
// and bIsTLD2 with any length, given exactly the bytes it may read.
#include <climits>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "tld/tld_table.h"
#include "urlkeys/tld.h"

using urlkeys::fuzz::cText;
using urlkeys::fuzz::vCheck;

namespace {

// The names as listed in tld/tld_names.txt (via the generated include).
const char* const kNames[] = {URLKEYS_TLD_NAME_LITERALS};

struct Reference {
  std::string commas;                 // ",com,org,...,xxx,"
  std::set<unsigned long long> keys;  // packed keys of every name
};

// Packed key of the first m bytes: byte k is (name[2k] * 4 mod 256) OR
// name[2k + 1], the bytes taken raw.
unsigned long long nKey(const unsigned char* name, int m) {
  unsigned long long key = 0;
  for (int i = 0; i < m; ++i) {
    const unsigned long long b = (i % 2 == 0) ? ((name[i] * 4u) & 0xFFu) : name[i];
    key |= b << (8 * (i / 2));
  }
  return key;
}

const Reference& rReference() {
  static const Reference ref = [] {
    Reference r;
    std::vector<char> commas(1, ',');
    for (const char* name : kNames) {
      commas.insert(commas.end(), name, name + std::strlen(name));
      commas.push_back(',');
      const int len = static_cast<int>(std::strlen(name));
      r.keys.insert(nKey(reinterpret_cast<const unsigned char*>(name), len < 8 ? len : 8));
    }
    r.commas.assign(commas.begin(), commas.end());
    vCheck(r.commas == urlkeys::tld::g_sCommas, "library comma string matches the names file");
    vCheck(ZuCreateTldHashTable() == 0, "ZuCreateTldHashTable returns 0");
    return r;
  }();
  return ref;
}

bool bListModel(const std::string& name) {
  if (name.size() > 256) return false;
  std::string probe(1, ',');
  probe.append(name).push_back(',');
  if (rReference().commas.find(probe) != std::string::npos) return true;
  return name.compare(0, 4, "xn--") == 0;
}

// The length handed to bIsTLD2, from the first input byte: mostly small
// values around the 8- and 10-character limits, sometimes extreme ones.
int nLength(uint8_t b) {
  static const int kExtreme[] = {INT_MIN, -1000, -1, 0, 11, 255, 256, INT_MAX};
  if (b >= 0xF8) return kExtreme[b - 0xF8];
  return (b % 16) - 2;  // -2 to 13
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Reference& ref = rReference();
  if (size == 0) return 0;
  const int len = nLength(data[0]);
  cText text(data + 1, size - 1);
  char* name = text.get();

  const std::string s(name);
  vCheck(bIsTLD(name) == bListModel(s), "bIsTLD is a whole-entry search in the comma string");
  const size_t dot = s.rfind('.');
  const bool host_want = dot != std::string::npos && bListModel(s.substr(dot + 1));
  vCheck(bCheckTLD(name) == host_want, "bCheckTLD tests the last label");
  vCheck(std::strcmp(name, s.c_str()) == 0, "tests leave the text unchanged");

  // bIsTLD2 gets exactly the bytes it may read: min(len, 8), none for len <= 0
  // or len > 10; the input supplies them, padded with zeros.
  const int m = (len <= 0 || len > 10) ? 0 : (len < 8 ? len : 8);
  std::unique_ptr<unsigned char[]> key_bytes(new unsigned char[m > 0 ? m : 1]);
  const size_t avail = size - 1;
  for (int i = 0; i < m; ++i) {
    key_bytes[i] = static_cast<size_t>(i) < avail ? data[1 + i] : 0;
  }
  std::unique_ptr<char[]> exact(new char[static_cast<size_t>(m)]);
  if (m > 0) std::memcpy(exact.get(), key_bytes.get(), static_cast<size_t>(m));
  const bool key_want = len <= 10 && len > 0 && ref.keys.count(nKey(key_bytes.get(), m)) != 0;
  vCheck(bIsTLD2(exact.get(), len) == key_want, "bIsTLD2 compares the packed key");
  return 0;
}
