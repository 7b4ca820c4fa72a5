// The key store: records in one arena, an open-addressing table of offsets.
//
// Record: the key's length as LEB128 (one byte below 128), then the key's
// bytes. Table slot (64 bits): the record's offset (40 bits), the index of
// the key's set of lists in masks_ (16 bits) and 8 more bits of the key's
// hash, so that a probe touches the arena only when those bits agree.
// Linear probing; a slot of 0 is empty (offset 0 is a pad byte, never a
// record). The table is kept at most three quarters full.
#include "match/key_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace urlkeys::match {
namespace {

constexpr uint64_t kOffsetLimit = uint64_t{1} << 40;
constexpr size_t kMaxMasks = size_t{1} << 16;
constexpr size_t kReadBlock = size_t{1} << 20;

// --- Hashing -----------------------------------------------------------------
// A multiply-fold hash over little-endian words: the same value on every host,
// so a serialized table is valid anywhere.

uint64_t Load64(const unsigned char* p) {
  uint64_t v;
  memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

uint64_t Load32(const unsigned char* p) {
  uint32_t v;
  memcpy(&v, p, 4);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap32(v);
  return v;
}

// The high and low halves of the 128-bit product a * b.
inline void Multiply(uint64_t a, uint64_t b, uint64_t* hi, uint64_t* lo) {
#ifdef __SIZEOF_INT128__
  unsigned __int128 r = static_cast<unsigned __int128>(a) * b;
  *hi = static_cast<uint64_t>(r >> 64);
  *lo = static_cast<uint64_t>(r);
#else
  uint64_t a_lo = a & 0xFFFFFFFF, a_hi = a >> 32, b_lo = b & 0xFFFFFFFF, b_hi = b >> 32;
  uint64_t ll = a_lo * b_lo, lh = a_lo * b_hi, hl = a_hi * b_lo, hh = a_hi * b_hi;
  uint64_t mid = (ll >> 32) + (lh & 0xFFFFFFFF) + (hl & 0xFFFFFFFF);
  *hi = hh + (lh >> 32) + (hl >> 32) + (mid >> 32);
  *lo = (mid << 32) | (ll & 0xFFFFFFFF);
#endif
}

inline uint64_t Fold(uint64_t a, uint64_t b) {
  uint64_t hi, lo;
  Multiply(a, b, &hi, &lo);
  return hi ^ lo;
}

constexpr uint64_t kMix0 = 0xa0761d6478bd642f;
constexpr uint64_t kMix1 = 0xe7037ed1a0b428db;
constexpr uint64_t kMix2 = 0x8ebc6af09c88c6e3;

uint64_t HashBytes(const unsigned char* p, size_t n) {
  uint64_t seed = kMix0 ^ Fold(n ^ kMix0, kMix1);
  uint64_t a = 0, b = 0;
  if (n <= 16) {
    if (n >= 4) {
      size_t step = (n >> 3) << 2;  // 0 below 8 bytes, 4 from 8 on
      a = (Load32(p) << 32) | Load32(p + step);
      b = (Load32(p + n - 4) << 32) | Load32(p + n - 4 - step);
    } else if (n > 0) {
      a = (uint64_t{p[0]} << 16) | (uint64_t{p[n >> 1]} << 8) | p[n - 1];
    }
  } else {
    size_t left = n;
    while (left > 16) {
      seed = Fold(Load64(p) ^ kMix1, Load64(p + 8) ^ seed);
      p += 16;
      left -= 16;
    }
    a = Load64(p + left - 16);
    b = Load64(p + left - 8);
  }
  return Fold(kMix2 ^ n, Fold(a ^ kMix1, b ^ seed));
}

// --- Records -----------------------------------------------------------------

size_t PutLength(unsigned char* p, size_t length) {
  size_t n = 0;
  while (length >= 0x80) {
    p[n++] = static_cast<unsigned char>(length | 0x80);
    length >>= 7;
  }
  p[n++] = static_cast<unsigned char>(length);
  return n;
}

// Reads the length at p (at most `room` bytes); returns the bytes it took,
// or 0 when it runs past `room` or past 64 bits.
size_t GetLength(const unsigned char* p, size_t room, size_t* length) {
  uint64_t v = 0;
  for (size_t i = 0; i < room && i < 10; ++i) {
    v |= static_cast<uint64_t>(p[i] & 0x7F) << (7 * i);
    if (!(p[i] & 0x80)) {
      *length = static_cast<size_t>(v);
      return i + 1;
    }
  }
  return 0;
}

// The key a list line stands for: without a comment from the first '#',
// without leading blanks (space, tab) and trailing ones (space, tab, CR).
std::string_view TrimLine(std::string_view line) {
  size_t hash = line.find('#');
  if (hash != std::string_view::npos) line = line.substr(0, hash);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
    line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  return line;
}

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

void SetError(std::string* error, std::string message) {
  if (error) *error = std::move(message);
}

std::string PathError(const char* what, const char* path, int err) {
  return std::string(what) + " the key list '" + path + "': " + strerror(err);
}

// A file descriptor closed on every way out.
class File {
 public:
  explicit File(int fd) : fd_(fd) {}
  ~File() {
    if (fd_ >= 0) close(fd_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// read() that goes on after a signal; -1 with errno on failure.
ssize_t ReadSome(int fd, void* buf, size_t n) {
  for (;;) {
    ssize_t r = read(fd, buf, n);
    if (r >= 0 || errno != EINTR) return r;
  }
}

}  // namespace

void KeyStore::FreeDeleter::operator()(void* p) const { free(p); }

KeyStore::KeyStore() = default;
KeyStore::~KeyStore() = default;

KeyStore::KeyStore(KeyStore&& other) noexcept { *this = std::move(other); }

KeyStore& KeyStore::operator=(KeyStore&& other) noexcept {
  if (this == &other) return *this;
  arena_ = std::move(other.arena_);
  arena_size_ = std::exchange(other.arena_size_, 0);
  arena_capacity_ = std::exchange(other.arena_capacity_, 0);
  table_ = std::move(other.table_);
  slots_ = std::exchange(other.slots_, 0);
  count_ = std::exchange(other.count_, 0);
  masks_ = std::move(other.masks_);
  mask_index_ = std::move(other.mask_index_);
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
  if (slots_) __builtin_prefetch(&table_[SlotOf(hash)]);
}

uint64_t KeyStore::Find(std::string_view key) const {
  std::string_view stored;
  return FindHashed(key, KeyHash(key), &stored);
}

uint64_t KeyStore::Find(std::string_view key, std::string_view* stored) const {
  return FindHashed(key, KeyHash(key), stored);
}

uint64_t KeyStore::FindHashed(std::string_view key, uint64_t hash,
                              std::string_view* stored) const {
  if (count_ == 0) return 0;
  const uint64_t tag = hash & 0xFF;
  const unsigned char* arena = arena_.get();
  size_t i = SlotOf(hash);
  for (;;) {
    uint64_t slot = table_[i];
    if (slot == 0) return 0;
    if ((slot & 0xFF) == tag) {
      const unsigned char* record = arena + (slot >> 24);
      size_t length = 0;
      size_t head;
      if (record[0] < 0x80) {
        length = record[0];
        head = 1;
      } else {
        head = GetLength(record, arena_size_ - (slot >> 24), &length);
      }
      if (length == key.size() && memcmp(record + head, key.data(), length) == 0) {
        if (stored) *stored = std::string_view(reinterpret_cast<const char*>(record + head), length);
        return masks_[(slot >> 8) & 0xFFFF];
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
  if (arena_capacity_ - arena_size_ >= bytes && arena_size_ > 0) return true;
  size_t used = arena_size_ > 0 ? arena_size_ : 1;  // offset 0 marks an empty slot
  if (bytes > kOffsetLimit - used) return false;
  size_t want = used + bytes;
  size_t grown = arena_capacity_ + arena_capacity_ / 2;
  if (grown < want) grown = want;
  if (grown < 4096) grown = 4096;
  // realloc moves large blocks by remapping pages: no copy, no double memory.
  void* p = realloc(arena_.get(), grown);
  if (!p) return false;
  static_cast<void>(arena_.release());
  arena_.reset(static_cast<unsigned char*>(p));
  if (arena_size_ == 0) {
    arena_[0] = 0;
    arena_size_ = 1;
  }
  arena_capacity_ = grown;
  return true;
}

bool KeyStore::Rehash(size_t slots) {
  auto* fresh = static_cast<uint64_t*>(calloc(slots, sizeof(uint64_t)));
  if (!fresh) return false;
  Block<uint64_t> old(fresh);
  std::swap(old, table_);
  size_t old_slots = std::exchange(slots_, slots);
  for (size_t j = 0; j < old_slots; ++j) {
    uint64_t slot = old[j];
    if (!slot) continue;
    const unsigned char* record = arena_.get() + (slot >> 24);
    size_t length = 0;
    size_t head = GetLength(record, arena_size_ - (slot >> 24), &length);
    size_t i = SlotOf(HashBytes(record + head, length));
    while (table_[i]) {
      if (++i == slots_) i = 0;
    }
    table_[i] = slot;
  }
  return true;
}

bool KeyStore::Reserve(size_t keys) {
  if (keys <= slots_ / 4 * 3) return true;
  return Rehash(keys + keys / 2 + 16);
}

bool KeyStore::InternMask(uint64_t mask, uint32_t* index, std::string* error) {
  auto found = mask_index_.find(mask);
  if (found != mask_index_.end()) {
    *index = found->second;
    return true;
  }
  if (masks_.size() >= kMaxMasks) {
    SetError(error, "the keys' lists form more than 65536 different sets");
    return false;
  }
  *index = static_cast<uint32_t>(masks_.size());
  masks_.push_back(mask);
  mask_index_.emplace(mask, *index);
  return true;
}

bool KeyStore::AddKey(std::string_view line, uint64_t bit, std::string* error) {
  std::string_view key = TrimLine(line);
  if (key.empty()) return true;
  if (!ArenaRoom(key.size() + 10)) {
    SetError(error, "the key store cannot grow past 1 TiB");
    return false;
  }
  if (count_ + 1 > slots_ / 4 * 3 && !Rehash(slots_ < 16 ? 32 : slots_ * 2)) {
    SetError(error, "out of memory for the key table");
    return false;
  }
  // The record is written at the arena's end and kept only for a new key.
  unsigned char* record = arena_.get() + arena_size_;
  size_t head = PutLength(record, key.size());
  CopyKey(record + head, key);
  uint64_t hash = HashBytes(record + head, key.size());
  const uint64_t tag = hash & 0xFF;
  size_t i = SlotOf(hash);
  for (;;) {
    uint64_t slot = table_[i];
    if (slot == 0) break;
    if ((slot & 0xFF) == tag) {
      const unsigned char* other = arena_.get() + (slot >> 24);
      size_t length = 0;
      size_t other_head = GetLength(other, arena_size_ - (slot >> 24), &length);
      if (length == key.size() && memcmp(other + other_head, record + head, length) == 0) {
        uint32_t set = static_cast<uint32_t>((slot >> 8) & 0xFFFF);
        uint64_t mask = masks_[set] | bit;
        if (mask == masks_[set]) return true;  // a repeat within the list
        if (!InternMask(mask, &set, error)) return false;
        table_[i] = (slot & ~(uint64_t{0xFFFF} << 8)) | (uint64_t{set} << 8);
        return true;
      }
    }
    if (++i == slots_) i = 0;
  }
  uint32_t set;
  if (!InternMask(bit, &set, error)) return false;
  table_[i] = (uint64_t{arena_size_} << 24) | (uint64_t{set} << 8) | tag;
  arena_size_ += head + key.size();
  ++count_;
  return true;
}

bool KeyStore::AddLine(std::string_view name, std::string_view line) {
  int list = ListIndex(name, nullptr);
  if (list < 0) return false;
  return AddKey(line, uint64_t{1} << list, nullptr);
}

bool KeyStore::LoadFile(std::string_view name, const char* path, std::string* error) {
  File file(open(path, O_RDONLY | O_CLOEXEC));
  if (file.fd() < 0) {
    SetError(error, PathError("cannot read", path, errno));
    return false;
  }
  struct stat info;
  bool regular = fstat(file.fd(), &info) == 0 && S_ISREG(info.st_mode);
  int list = ListIndex(name, error);
  if (list < 0) return false;
  const uint64_t bit = uint64_t{1} << list;

  size_t capacity = kReadBlock;
  Block<char> buffer(static_cast<char*>(malloc(capacity)));
  if (!buffer) {
    SetError(error, "out of memory reading the key list");
    return false;
  }
  // A regular file is read twice: first to count its lines, so that the
  // table is sized once and the arena is reserved in one block.
  if (regular) {
    posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
    size_t lines = 1;
    for (;;) {
      ssize_t n = ReadSome(file.fd(), buffer.get(), capacity);
      if (n < 0) {
        SetError(error, PathError("error reading", path, errno));
        return false;
      }
      if (n == 0) break;
      for (const char *p = buffer.get(), *end = p + n;
           (p = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p))));
           ++p)
        ++lines;
    }
    if (lseek(file.fd(), 0, SEEK_SET) != 0) {
      SetError(error, PathError("error reading", path, errno));
      return false;
    }
    size_t size = static_cast<size_t>(info.st_size);
    if (!Reserve(count_ + lines) || !ArenaRoom(size + size / 64 + 64)) {
      SetError(error, "out of memory for the key list '" + std::string(path) + "'");
      return false;
    }
  }
  size_t have = 0;
  for (;;) {
    ssize_t n = ReadSome(file.fd(), buffer.get() + have, capacity - have);
    if (n < 0) {
      SetError(error, PathError("error reading", path, errno));
      return false;
    }
    if (n == 0) break;
    have += static_cast<size_t>(n);
    const char* start = buffer.get();
    const char* end = start + have;
    while (const char* nl = static_cast<const char*>(memchr(start, '\n', static_cast<size_t>(end - start)))) {
      if (!AddKey(std::string_view(start, static_cast<size_t>(nl - start)), bit, error)) return false;
      start = nl + 1;
    }
    have = static_cast<size_t>(end - start);
    memmove(buffer.get(), start, have);
    if (have == capacity) {  // one line fills the buffer: make room for more of it
      void* p = realloc(buffer.get(), capacity * 2);
      if (!p) {
        SetError(error, "out of memory reading the key list");
        return false;
      }
      static_cast<void>(buffer.release());
      buffer.reset(static_cast<char*>(p));
      capacity *= 2;
    }
  }
  return have == 0 || AddKey(std::string_view(buffer.get(), have), bit, error);
}

// --- Serialized form -----------------------------------------------------------
// "UKKS", version, then as little-endian 64-bit numbers and raw bytes: the
// list names (count; length and bytes each), the sets of lists (count;
// masks), the key count, the arena (size; bytes) and the table (slots;
// slots).

namespace {

constexpr char kMagic[4] = {'U', 'K', 'K', 'S'};
constexpr uint64_t kVersion = 1;

void PutU64(std::string& out, uint64_t v) {
  char b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<char>(v >> (8 * i));
  out.append(b, 8);
}

void PutWords(std::string& out, const uint64_t* words, size_t n) {
  if constexpr (std::endian::native == std::endian::little) {
    out.append(reinterpret_cast<const char*>(words), n * 8);
  } else {
    for (size_t i = 0; i < n; ++i) PutU64(out, words[i]);
  }
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : p_(bytes.data()), left_(bytes.size()) {}
  bool U64(uint64_t* v) {
    if (left_ < 8) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(p_);
    *v = 0;
    for (int i = 0; i < 8; ++i) *v |= uint64_t{b[i]} << (8 * i);
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
    if constexpr (std::endian::native == std::endian::little) {
      memcpy(out, p_, static_cast<size_t>(n) * 8);
      p_ += n * 8;
      left_ -= static_cast<size_t>(n) * 8;
    } else {
      for (uint64_t i = 0; i < n; ++i) U64(&out[i]);
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
  out.append(reinterpret_cast<const char*>(arena_.get()), arena_size_);
  PutU64(out, slots_);
  PutWords(out, table_.get(), slots_);
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
  if (!in.U64(&keys) || !in.U64(&arena) || arena >= kOffsetLimit ||
      !in.Bytes(arena, &arena_bytes))
    return fail("truncated arena");
  if (arena > 0) {
    store.arena_.reset(static_cast<unsigned char*>(malloc(static_cast<size_t>(arena))));
    if (!store.arena_) return fail("out of memory");
    memcpy(store.arena_.get(), arena_bytes, static_cast<size_t>(arena));
    store.arena_size_ = store.arena_capacity_ = static_cast<size_t>(arena);
  }
  uint64_t slots;
  if (!in.U64(&slots) || slots > in.left() / 8) return fail("truncated table");
  if (in.left() != slots * 8) return fail("trailing bytes");
  if (slots > 0) {
    store.table_.reset(static_cast<uint64_t*>(malloc(static_cast<size_t>(slots) * 8)));
    if (!store.table_) return fail("out of memory");
    in.Words(slots, store.table_.get());
  }
  store.slots_ = static_cast<size_t>(slots);
  // Every slot must point at a whole record and a known set, and at least
  // one slot must be empty, or a lookup could read outside the arena or
  // never stop.
  uint64_t used = 0;
  for (size_t i = 0; i < store.slots_; ++i) {
    uint64_t slot = store.table_[i];
    if (!slot) continue;
    ++used;
    uint64_t offset = slot >> 24;
    size_t length = 0;
    if (offset == 0 || offset >= arena || ((slot >> 8) & 0xFFFF) >= masks) return fail("bad slot");
    size_t room = static_cast<size_t>(arena - offset);
    size_t head = GetLength(store.arena_.get() + offset, room, &length);
    if (head == 0 || length > room - head) return fail("bad record");
  }
  if (used != keys || (slots > 0 && used >= slots)) return fail("key count");
  store.count_ = static_cast<size_t>(keys);
  *out = std::move(store);
  return true;
}

}  // namespace urlkeys::match
