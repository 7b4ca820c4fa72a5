// The key store: records in one arena, an open-addressing table of offsets
// (the layout is in match/key_store_impl.h). Memory, lookup and adding keys.
//
// Linear probing; the table is kept at most three quarters full.
#include "match/key_store.h"

#include <sys/mman.h>

#include <cstring>
#include <utility>

#include "match/host_forms.h"
#include "match/key_hash.h"
#include "match/key_store_impl.h"

namespace urlkeys::match {
namespace {

// A key's stored form is at most this much longer than the written one
// ("1.2" is "1.0.0.2").
constexpr size_t kMaxFormGrowth = 15;

// Copies `key` to `dst` with its host part lower-cased: candidates carry the
// host as the parser stores it, in lower case; the path keeps its case.
void CopyKey(unsigned char* dst, std::string_view key) {
  size_t i = 0, n = key.size();
  for (; i < n; ++i) {
    unsigned char c = static_cast<unsigned char>(key[i]);
    if (c == '/') break;
    dst[i] = (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + ('a' - 'A')) : c;
  }
  if (i < n) memcpy(dst + i, key.data() + i, n - i);
}

// A key as it is stored: the host part (up to the first '/') without
// trailing dots and, when it is an IPv4 address in any written form, as its
// dotted quad, the way the matcher looks such hosts up; then the path as
// written. Lives no longer than the text it was made from.
struct KeyForm {
  explicit KeyForm(std::string_view key) {
    size_t slash = key.find('/');
    host = key.substr(0, slash == std::string_view::npos ? key.size() : slash);
    path = key.substr(host.size());
    host = WithoutTrailingDots(host);
    if (CanonicalAddress(host, quad)) host = quad;
  }
  KeyForm(const KeyForm&) = delete;
  KeyForm& operator=(const KeyForm&) = delete;
  size_t size() const { return host.size() + path.size(); }
  // Writes the key, host lower-cased (see CopyKey).
  void CopyTo(unsigned char* dst) const {
    CopyKey(dst, host);
    if (!path.empty()) memcpy(dst + host.size(), path.data(), path.size());
  }

  std::string_view host, path;
  char quad[ZU_DOTTED_QUAD_SIZE];
};

}  // namespace

// --- Memory ------------------------------------------------------------------

KeyStore::Region::~Region() {
  if (data_) munmap(data_, size_);
}

KeyStore::Region::Region(Region&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

KeyStore::Region& KeyStore::Region::operator=(Region&& other) noexcept {
  if (this != &other) {
    if (data_) munmap(data_, size_);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

bool KeyStore::Region::Resize(size_t bytes) {
  if (bytes == size_) return true;
  if (bytes == 0) {
    *this = Region();
    return true;
  }
  void* p;
  if (!data_) {
    p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  } else {
#ifdef __linux__
    p = mremap(data_, size_, bytes, MREMAP_MAYMOVE);
#else
    p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p != MAP_FAILED) {
      memcpy(p, data_, bytes < size_ ? bytes : size_);
      munmap(data_, size_);
    }
#endif
  }
  if (p == MAP_FAILED) return false;
#ifdef MADV_HUGEPAGE
  if (bytes >= (size_t{4} << 20)) madvise(p, bytes, MADV_HUGEPAGE);
#endif
  data_ = static_cast<unsigned char*>(p);
  size_ = bytes;
  return true;
}

// --- Lookup ------------------------------------------------------------------

KeyStore::KeyStore() = default;
KeyStore::~KeyStore() = default;

KeyStore::KeyStore(KeyStore&& other) noexcept { *this = std::move(other); }

KeyStore& KeyStore::operator=(KeyStore&& other) noexcept {
  if (this == &other) return *this;
  arena_ = std::move(other.arena_);
  arena_size_ = std::exchange(other.arena_size_, 0);
  table_ = std::move(other.table_);
  slots_ = std::exchange(other.slots_, 0);
  count_ = std::exchange(other.count_, 0);
  masks_ = std::move(other.masks_);
  mask_index_ = std::move(other.mask_index_);
  last_mask_ = std::exchange(other.last_mask_, 0);
  last_index_ = std::exchange(other.last_index_, 0);
  names_ = std::move(other.names_);
  other.masks_.clear();
  other.mask_index_.clear();
  other.names_.clear();
  return *this;
}

uint64_t KeyStore::KeyHash(std::string_view key) {
  return HashBytes(reinterpret_cast<const unsigned char*>(key.data()), key.size());
}

size_t KeyStore::SlotOf(uint64_t hash) const {
  uint64_t hi, lo;
  Multiply(hash, slots_, &hi, &lo);
  return static_cast<size_t>(hi);
}

void KeyStore::Prefetch(uint64_t hash) const {
  if (slots_) __builtin_prefetch(&table()[SlotOf(hash)]);
}

uint64_t KeyStore::Find(std::string_view key) const {
  return FindHashed(key, KeyHash(key), nullptr);
}

uint64_t KeyStore::Find(std::string_view key, std::string_view* stored) const {
  return FindHashed(key, KeyHash(key), stored);
}

uint64_t KeyStore::FindHashed(std::string_view key, uint64_t hash, std::string_view* stored) const {
  if (count_ == 0) return 0;
  const uint64_t tag = HashTag(hash);
  const uint64_t* table = this->table();
  const unsigned char* arena = arena_.data();
  size_t i = SlotOf(hash);
  for (;;) {
    uint64_t slot = table[i];
    if (slot == 0) return 0;
    if (SlotTag(slot) == tag) {
      const size_t offset = SlotOffset(slot);
      const unsigned char* record = arena + offset;
      size_t length = 0;
      size_t head = GetRecordLength(record, arena_size_ - offset, &length);
      if (length == key.size() && memcmp(record + head, key.data(), length) == 0) {
        if (stored)
          *stored = std::string_view(reinterpret_cast<const char*>(record + head), length);
        return masks_[SlotSet(slot)];
      }
    }
    if (++i == slots_) i = 0;
  }
}

size_t KeyStore::MemoryBytes() const {
  size_t names = 0;
  for (const std::string& n : names_) names += n.capacity();
  return arena_size_ + slots_ * sizeof(uint64_t) + masks_.capacity() * sizeof(uint64_t) + names;
}

// --- Building ------------------------------------------------------------------

int KeyStore::ListIndex(std::string_view name, std::string* error) {
  for (size_t i = 0; i < names_.size(); ++i)
    if (names_[i] == name) return static_cast<int>(i);
  if (names_.size() >= static_cast<size_t>(kMaxLists)) {
    SetError(error, "more than " + std::to_string(kMaxLists) + " lists: '" + std::string(name) +
                        "' is one too many");
    return -1;
  }
  names_.emplace_back(name);
  return static_cast<int>(names_.size() - 1);
}

bool KeyStore::ArenaRoom(size_t bytes) {
  size_t used = arena_size_ > 0 ? arena_size_ : 1;  // offset 0 marks an empty slot
  if (arena_size_ > 0 && arena_.size() - arena_size_ >= bytes) return true;
  if (bytes > kOffsetLimit - used) return false;
  size_t want = used + bytes;
  size_t grown = arena_.size() + arena_.size() / 2;
  if (grown < want) grown = want;
  if (grown < 4096) grown = 4096;
  if (!arena_.Resize(grown)) return false;
  arena_size_ = used;  // the pad byte at offset 0 reads as zero
  return true;
}

// Moves every slot into a new table of `slots` slots. The old table is read
// in order; each key's record is prefetched a few slots ahead, and each new
// slot is written a few keys after its line was prefetched.
bool KeyStore::Rehash(size_t slots) {
  Region fresh;
  if (slots > SIZE_MAX / sizeof(uint64_t) || !fresh.Resize(slots * sizeof(uint64_t))) return false;
#ifdef MADV_POPULATE_WRITE
  // Every page of the table gets written; taking them all now, for writing,
  // saves a fault per page (and a copy of the shared zero page after reads).
  madvise(fresh.data(), fresh.size(), MADV_POPULATE_WRITE);
#endif
  std::swap(fresh, table_);
  const auto* old = reinterpret_cast<const uint64_t*>(fresh.data());
  size_t old_slots = std::exchange(slots_, slots);
  uint64_t* table = this->table();
  const unsigned char* arena = arena_.data();
  constexpr size_t kAhead = 32;
  constexpr size_t kRing = 16;
  struct Move {
    size_t at;
    uint64_t slot;
  } ring[kRing];
  size_t moves = 0;
  auto place = [&](const Move& m) {
    size_t i = m.at;
    while (table[i]) {
      if (++i == slots_) i = 0;
    }
    table[i] = m.slot;
  };
  for (size_t j = 0; j < old_slots; ++j) {
    if (j + kAhead < old_slots && old[j + kAhead])
      __builtin_prefetch(arena + SlotOffset(old[j + kAhead]));
    uint64_t slot = old[j];
    if (!slot) continue;
    const unsigned char* record = arena + SlotOffset(slot);
    size_t length = 0;
    size_t head = GetRecordLength(record, arena_size_ - SlotOffset(slot), &length);
    size_t at = SlotOf(HashBytes(record + head, length));
    __builtin_prefetch(&table[at], 1);
    Move& m = ring[moves++ % kRing];
    if (moves > kRing) place(m);
    m = Move{at, slot};
  }
  for (size_t k = moves > kRing ? moves - kRing : 0; k < moves; ++k) place(ring[k % kRing]);
  return true;
}

bool KeyStore::Reserve(size_t keys) {
  if (keys <= slots_ / 4 * 3) return true;
  size_t grown = slots_ * 2;
  size_t need = keys + keys / 2 + 16;
  return Rehash(grown > need ? grown : need);
}

bool KeyStore::InternMask(uint64_t mask, uint32_t* index, std::string* error) {
  if (mask == last_mask_ && !masks_.empty()) {
    *index = last_index_;
    return true;
  }
  auto found = mask_index_.find(mask);
  if (found != mask_index_.end()) {
    *index = found->second;
  } else {
    if (masks_.size() >= kMaxMasks) {
      SetError(error, "the keys' lists form more than 65536 different sets");
      return false;
    }
    *index = static_cast<uint32_t>(masks_.size());
    masks_.push_back(mask);
    mask_index_.emplace(mask, *index);
  }
  last_mask_ = mask;
  last_index_ = *index;
  return true;
}

struct KeyStore::Staged {
  size_t offset;  // where the record was written
  size_t bytes;   // its size
  size_t head;    // the bytes of its length
  uint64_t hash;
};

// Adds n trimmed, non-empty keys to the list `bit`. Their records are first
// written one after another at the arena's end and their slots prefetched;
// then each is looked up in turn, and a new one is moved down to the end of
// the records kept so far (a repeat is dropped and its bytes reused).
bool KeyStore::AddKeys(const std::string_view* keys, int n, uint64_t bit, std::string* error) {
  size_t bytes = 0;
  // A record: a length of up to 10 bytes and the key, whose stored form may
  // be up to 15 bytes longer than the written one ("1.2" is "1.0.0.2").
  for (int k = 0; k < n; ++k) bytes += keys[k].size() + kMaxLengthBytes + kMaxFormGrowth;
  if (!ArenaRoom(bytes)) {
    SetError(error, "the key arena cannot grow (out of memory, or past 1 TiB)");
    return false;
  }
  if (!Reserve(count_ + static_cast<size_t>(n))) {
    SetError(error, "out of memory for the key table");
    return false;
  }
  Staged staged[kBatch];
  unsigned char* arena = arena_.data();
  size_t at = arena_size_;
  for (int k = 0; k < n; ++k) {
    KeyForm key(keys[k]);
    size_t head = PutRecordLength(arena + at, key.size());
    key.CopyTo(arena + at + head);
    uint64_t hash = HashBytes(arena + at + head, key.size());
    Prefetch(hash);
    staged[k] = Staged{at, head + key.size(), head, hash};
    at += head + key.size();
  }
  uint64_t* table = this->table();
  for (int k = 0; k < n; ++k) {
    const Staged& s = staged[k];
    const unsigned char* key = arena + s.offset + s.head;
    const size_t length = s.bytes - s.head;
    const uint64_t tag = HashTag(s.hash);
    size_t i = SlotOf(s.hash);
    bool repeat = false;
    for (uint64_t slot; (slot = table[i]) != 0; i = i + 1 == slots_ ? 0 : i + 1) {
      if (SlotTag(slot) != tag) continue;
      const unsigned char* other = arena + SlotOffset(slot);
      size_t other_length = 0;
      size_t other_head = GetRecordLength(other, s.offset - SlotOffset(slot), &other_length);
      if (other_length != length || memcmp(other + other_head, key, length) != 0) continue;
      uint32_t set = SlotSet(slot);
      uint64_t mask = masks_[set] | bit;
      if (mask != masks_[set]) {  // else a repeat within the list
        if (!InternMask(mask, &set, error)) return false;
        table[i] = WithSlotSet(slot, set);
      }
      repeat = true;
      break;
    }
    if (repeat) continue;
    uint32_t set;
    if (!InternMask(bit, &set, error)) return false;
    if (arena_size_ != s.offset) memmove(arena + arena_size_, arena + s.offset, s.bytes);
    table[i] = MakeSlot(arena_size_, set, tag);
    arena_size_ += s.bytes;
    ++count_;
  }
  return true;
}

}  // namespace urlkeys::match
