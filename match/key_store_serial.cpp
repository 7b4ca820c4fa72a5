// The key store's serialized form, the same bytes on every host.
//
// "UKKS", version, then as little-endian 64-bit numbers and raw bytes: the
// list names (count; length and bytes each), the sets of lists (count;
// masks), the key count, the arena (size; bytes) and the table (slots;
// slots).
#include "match/key_store.h"

#include <cstring>
#include <string>
#include <utility>

#include "common/byte_order.h"
#include "match/key_store_impl.h"

namespace urlkeys::match {
namespace {

using common::kBigEndianHost;
using common::nLoadLittle64;
using common::vStoreLittle64;

constexpr char kMagic[4] = {'U', 'K', 'K', 'S'};
constexpr uint64_t kVersion = 1;

void PutU64(std::string& out, uint64_t v) {
  char b[8];
  vStoreLittle64(b, v);
  out.append(b, 8);
}

void PutWords(std::string& out, const uint64_t* words, size_t n) {
  if (n == 0) return;
  if constexpr (kBigEndianHost) {
    for (size_t i = 0; i < n; ++i) PutU64(out, words[i]);
  } else {
    out.append(reinterpret_cast<const char*>(words), n * 8);  // already little-endian
  }
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : p_(bytes.data()), left_(bytes.size()) {}
  bool U64(uint64_t* v) {
    if (left_ < 8) return false;
    *v = nLoadLittle64(p_);
    p_ += 8;
    left_ -= 8;
    return true;
  }
  bool Bytes(uint64_t n, const char** p) {
    if (n > left_) return false;
    *p = p_;
    p_ += n;
    left_ -= static_cast<size_t>(n);
    return true;
  }
  // n little-endian words into `out`.
  bool Words(uint64_t n, uint64_t* out) {
    if (n > left_ / 8) return false;
    if (n == 0) return true;
    if constexpr (kBigEndianHost) {
      for (uint64_t i = 0; i < n; ++i) U64(&out[i]);
    } else {
      memcpy(out, p_, static_cast<size_t>(n) * 8);  // already little-endian
      p_ += n * 8;
      left_ -= static_cast<size_t>(n) * 8;
    }
    return true;
  }
  size_t left() const { return left_; }

 private:
  const char* p_;
  size_t left_;
};

}  // namespace

std::string KeyStore::Serialize() const {
  std::string out;
  size_t names = 0;
  for (const std::string& n : names_) names += 8 + n.size();
  out.reserve(4 + 8 * 7 + names + masks_.size() * 8 + arena_size_ + slots_ * 8);
  out.append(kMagic, 4);
  PutU64(out, kVersion);
  PutU64(out, names_.size());
  for (const std::string& n : names_) {
    PutU64(out, n.size());
    out += n;
  }
  PutU64(out, masks_.size());
  PutWords(out, masks_.data(), masks_.size());
  PutU64(out, count_);
  PutU64(out, arena_size_);
  if (arena_size_) out.append(reinterpret_cast<const char*>(arena_.data()), arena_size_);
  PutU64(out, slots_);
  PutWords(out, table(), slots_);
  return out;
}

bool KeyStore::Deserialize(std::string_view bytes, KeyStore* out, std::string* error) {
  auto fail = [&](const char* what) {
    SetError(error, std::string("not a serialized key store: ") + what);
    return false;
  };
  if (bytes.size() < 4 || memcmp(bytes.data(), kMagic, 4) != 0) return fail("bad magic");
  Reader in(bytes.substr(4));
  uint64_t version, lists;
  if (!in.U64(&version) || version != kVersion) return fail("unknown version");
  if (!in.U64(&lists) || lists > static_cast<uint64_t>(kMaxLists)) return fail("list count");
  KeyStore store;
  for (uint64_t i = 0; i < lists; ++i) {
    uint64_t length;
    const char* p;
    if (!in.U64(&length) || !in.Bytes(length, &p)) return fail("truncated list name");
    store.names_.emplace_back(p, static_cast<size_t>(length));
  }
  uint64_t masks;
  if (!in.U64(&masks) || masks > kMaxMasks || masks > in.left() / 8) return fail("set count");
  store.masks_.resize(static_cast<size_t>(masks));
  in.Words(masks, store.masks_.data());
  const uint64_t all = lists == 64 ? ~uint64_t{0} : (uint64_t{1} << lists) - 1;
  for (size_t i = 0; i < store.masks_.size(); ++i) {
    uint64_t m = store.masks_[i];
    if (m == 0 || (m & ~all) || !store.mask_index_.emplace(m, static_cast<uint32_t>(i)).second)
      return fail("bad set of lists");
  }
  uint64_t keys, arena;
  const char* arena_bytes;
  if (!in.U64(&keys) || !in.U64(&arena) || arena >= kOffsetLimit || !in.Bytes(arena, &arena_bytes))
    return fail("truncated arena");
  if (arena > 0) {
    if (!store.arena_.Resize(static_cast<size_t>(arena))) return fail("out of memory");
    memcpy(store.arena_.data(), arena_bytes, static_cast<size_t>(arena));
    store.arena_size_ = static_cast<size_t>(arena);
  }
  uint64_t slots;
  if (!in.U64(&slots) || slots > in.left() / 8) return fail("truncated table");
  if (in.left() != slots * 8) return fail("trailing bytes");
  if (slots > 0) {
    if (!store.table_.Resize(static_cast<size_t>(slots) * 8)) return fail("out of memory");
    in.Words(slots, store.table());
  }
  store.slots_ = static_cast<size_t>(slots);
  // Every slot must point at a whole record and a known set, and at least
  // one slot must be empty, or a lookup could read outside the arena or
  // never stop.
  uint64_t used = 0;
  for (size_t i = 0; i < store.slots_; ++i) {
    uint64_t slot = store.table()[i];
    if (!slot) continue;
    ++used;
    uint64_t offset = SlotOffset(slot);
    size_t length = 0;
    if (offset == 0 || offset >= arena || SlotSet(slot) >= masks) return fail("bad slot");
    size_t room = static_cast<size_t>(arena - offset);
    size_t head = GetRecordLength(store.arena_.data() + offset, room, &length);
    if (head == 0 || length == 0 || length > room - head) return fail("bad record");
  }
  if (used != keys || (slots > 0 && used >= slots)) return fail("key count");
  store.count_ = static_cast<size_t>(keys);
  *out = std::move(store);
  return true;
}

}  // namespace urlkeys::match
