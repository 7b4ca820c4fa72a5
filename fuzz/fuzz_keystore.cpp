// Fuzz target for the key store. The first byte picks the mode:
//  odd:  the rest is a serialized store; it is refused, or it gives a store
//        whose lookups stay in bounds and which serializes to the same bytes;
//  even: the rest is list lines, each line's first byte choosing one of
//        three lists; the store must agree with a plain map of the keys
//        (comment cut, blanks trimmed, host part in its canonical form and
//        lower-cased), before and after a round trip through its serialized
//        form.
#include <arpa/inet.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_common.h"
#include "match/key_store.h"

namespace {

using urlkeys::fuzz::vCheck;
using urlkeys::match::KeyStore;

// The key a list line stands for, written plainly: the host part without
// trailing dots (unless it is all dots), an address that inet_aton reads as
// inet_ntoa writes it, lower case; the path as written.
std::string ModelKey(std::string_view line) {
  line = line.substr(0, line.find('#'));
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
    line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  std::string key(line);
  size_t slash = std::min(key.find('/'), key.size());
  std::string host = key.substr(0, slash), path = key.substr(slash);
  size_t kept = host.find_last_not_of('.');
  if (kept != std::string::npos) host.resize(kept + 1);
  in_addr address;
  if (!host.empty() && host[0] >= '0' && host[0] <= '9' &&
      host.find_first_not_of("0123456789abcdefxABCDEFX.") == std::string::npos &&
      inet_aton(host.c_str(), &address))
    host = inet_ntoa(address);
  for (char& c : host)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return host + path;
}

void CheckAgainstModel(const KeyStore& store, const std::map<std::string, uint64_t>& model) {
  vCheck(store.KeyCount() == model.size(), "key count differs from the model");
  for (const auto& [key, lists] : model) {
    std::string_view stored;
    vCheck(store.Find(key, &stored) == lists, "lists of a key differ from the model");
    vCheck(stored == key, "stored copy differs from the key");
    // A near miss: a longer and a shorter text.
    std::string longer = key + "x";
    auto it = model.find(longer);
    vCheck(store.Find(longer) == (it == model.end() ? 0 : it->second), "near miss found");
    std::string shorter = key.substr(0, key.size() - 1);
    it = model.find(shorter);
    vCheck(store.Find(shorter) == (it == model.end() ? 0 : it->second), "prefix found");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::string_view in(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string error;
  if (data[0] & 1) {
    KeyStore store;
    if (KeyStore::Deserialize(in, &store, &error)) {
      vCheck(store.Serialize() == in, "serialized form changes on a round trip");
      for (size_t i = 0; i < in.size() && i < 256; ++i) store.Find(in.substr(i, 1 + i % 16));
    }
    return 0;
  }
  KeyStore store;
  std::map<std::string, uint64_t> model;
  std::vector<std::string> names;  // in the order the store numbers them
  for (size_t start = 0; start < in.size();) {
    size_t end = in.find('\n', start);
    if (end == std::string_view::npos) end = in.size();
    std::string_view line = in.substr(start, end - start);
    start = end + 1;
    if (line.empty()) continue;
    std::string name(1, static_cast<char>('a' + static_cast<unsigned char>(line[0]) % 3));
    vCheck(store.AddLine(name, line.substr(1)), "a line was refused");
    size_t list = 0;
    while (list < names.size() && names[list] != name) ++list;
    if (list == names.size()) names.push_back(name);
    std::string key = ModelKey(line.substr(1));
    if (!key.empty()) model[key] |= uint64_t{1} << list;
  }
  CheckAgainstModel(store, model);
  KeyStore copy;
  vCheck(KeyStore::Deserialize(store.Serialize(), &copy, &error), "own serialized form refused");
  CheckAgainstModel(copy, model);
  return 0;
}
