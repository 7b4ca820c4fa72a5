// The key store: records in one arena, an open-addressing table of offsets.
//
// Record: the key's length as LEB128 (one byte below 128), then the key's
// bytes. Table slot (64 bits): the record's offset (40 bits), the index of
// the key's set of lists in masks_ (16 bits) and 8 more bits of the key's
// hash, so that a probe touches the arena only when those bits agree.
// Linear probing; a slot of 0 is empty (offset 0 is a pad byte, never a
// record). The table is kept at most three quarters full.
#include "match/key_store.h"

#include "match/host_forms.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
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
// Keys hashed, prefetched and then inserted together, so that the cache
// misses of their table slots overlap.
constexpr int kBatch = 16;

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

uint64_t KeyStore::FindHashed(std::string_view key, uint64_t hash,
                              std::string_view* stored) const {
  if (count_ == 0) return 0;
  const uint64_t tag = hash & 0xFF;
  const uint64_t* table = this->table();
  const unsigned char* arena = arena_.data();
  size_t i = SlotOf(hash);
  for (;;) {
    uint64_t slot = table[i];
    if (slot == 0) return 0;
    if ((slot & 0xFF) == tag) {
      const unsigned char* record = arena + (slot >> 24);
      size_t length = record[0];
      size_t head = 1;
      if (length >= 0x80) head = GetLength(record, arena_size_ - (slot >> 24), &length);
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
    if (j + kAhead < old_slots && old[j + kAhead]) __builtin_prefetch(arena + (old[j + kAhead] >> 24));
    uint64_t slot = old[j];
    if (!slot) continue;
    const unsigned char* record = arena + (slot >> 24);
    size_t length = 0;
    size_t head = GetLength(record, arena_size_ - (slot >> 24), &length);
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
  for (int k = 0; k < n; ++k) bytes += keys[k].size() + 10 + 15;
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
    size_t head = PutLength(arena + at, key.size());
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
    const uint64_t tag = s.hash & 0xFF;
    size_t i = SlotOf(s.hash);
    bool repeat = false;
    for (uint64_t slot; (slot = table[i]) != 0; i = i + 1 == slots_ ? 0 : i + 1) {
      if ((slot & 0xFF) != tag) continue;
      const unsigned char* other = arena + (slot >> 24);
      size_t other_length = 0;
      size_t other_head = GetLength(other, s.offset - (slot >> 24), &other_length);
      if (other_length != length || memcmp(other + other_head, key, length) != 0) continue;
      uint32_t set = static_cast<uint32_t>((slot >> 8) & 0xFFFF);
      uint64_t mask = masks_[set] | bit;
      if (mask != masks_[set]) {  // else a repeat within the list
        if (!InternMask(mask, &set, error)) return false;
        table[i] = (slot & ~(uint64_t{0xFFFF} << 8)) | (uint64_t{set} << 8);
      }
      repeat = true;
      break;
    }
    if (repeat) continue;
    uint32_t set;
    if (!InternMask(bit, &set, error)) return false;
    if (arena_size_ != s.offset) memmove(arena + arena_size_, arena + s.offset, s.bytes);
    table[i] = (uint64_t{arena_size_} << 24) | (uint64_t{set} << 8) | tag;
    arena_size_ += s.bytes;
    ++count_;
  }
  return true;
}

bool KeyStore::AddLine(std::string_view name, std::string_view line) {
  int list = ListIndex(name, nullptr);
  if (list < 0) return false;
  std::string_view key = TrimLine(line);
  return key.empty() || AddKeys(&key, 1, uint64_t{1} << list, nullptr);
}

bool KeyStore::LoadFile(std::string_view name, const char* path, std::string* error) {
  File file(open(path, O_RDONLY | O_CLOEXEC));
  if (file.fd() < 0) {
    SetError(error, PathError("cannot read", path, errno));
    return false;
  }
  struct stat info;
  bool known = fstat(file.fd(), &info) == 0;
  if (known && S_ISDIR(info.st_mode)) {
    SetError(error, PathError("cannot read", path, EISDIR));
    return false;
  }
  bool regular = known && S_ISREG(info.st_mode);
  int list = ListIndex(name, error);
  if (list < 0) return false;
  const uint64_t bit = uint64_t{1} << list;

  std::vector<char> buffer(kReadBlock);
  // A regular file is read twice: first to count its lines, so that the
  // table is sized once and the arena is reserved in one block.
  if (regular) {
#ifdef POSIX_FADV_SEQUENTIAL
    posix_fadvise(file.fd(), 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    size_t lines = 1;
    for (;;) {
      ssize_t n = ReadSome(file.fd(), buffer.data(), buffer.size());
      if (n < 0) {
        SetError(error, PathError("error reading", path, errno));
        return false;
      }
      if (n == 0) break;
      lines += static_cast<size_t>(std::count(buffer.data(), buffer.data() + n, '\n'));
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
  std::string_view batch[kBatch];
  int batched = 0;
  auto add = [&](std::string_view line) {
    std::string_view key = TrimLine(line);
    if (key.empty()) return true;
    batch[batched++] = key;
    if (batched < kBatch) return true;
    batched = 0;
    return AddKeys(batch, kBatch, bit, error);
  };
  size_t have = 0;
  for (;;) {
    ssize_t n = ReadSome(file.fd(), buffer.data() + have, buffer.size() - have);
    if (n < 0) {
      SetError(error, PathError("error reading", path, errno));
      return false;
    }
    if (n == 0) break;
    have += static_cast<size_t>(n);
    const char* start = buffer.data();
    const char* end = start + have;
    while (const char* nl = static_cast<const char*>(memchr(start, '\n', static_cast<size_t>(end - start)))) {
      if (!add(std::string_view(start, static_cast<size_t>(nl - start)))) return false;
      start = nl + 1;
    }
    // The batch points into the buffer: add it before the buffer moves.
    if (batched && !AddKeys(batch, std::exchange(batched, 0), bit, error)) return false;
    have = static_cast<size_t>(end - start);
    memmove(buffer.data(), start, have);
    if (have == buffer.size()) buffer.resize(buffer.size() * 2);  // one line fills it
  }
  if (have && !add(std::string_view(buffer.data(), have))) return false;
  return !batched || AddKeys(batch, batched, bit, error);
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
  if (n == 0) return;
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
  if (!in.U64(&keys) || !in.U64(&arena) || arena >= kOffsetLimit ||
      !in.Bytes(arena, &arena_bytes))
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
    uint64_t offset = slot >> 24;
    size_t length = 0;
    if (offset == 0 || offset >= arena || ((slot >> 8) & 0xFFFF) >= masks) return fail("bad slot");
    size_t room = static_cast<size_t>(arena - offset);
    size_t head = GetLength(store.arena_.data() + offset, room, &length);
    if (head == 0 || length == 0 || length > room - head) return fail("bad record");
  }
  if (used != keys || (slots > 0 && used >= slots)) return fail("key count");
  store.count_ = static_cast<size_t>(keys);
  *out = std::move(store);
  return true;
}

}  // namespace urlkeys::match
