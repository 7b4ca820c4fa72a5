// KeyStore: the keys that URLs are matched against, each tagged with the
// named lists that hold it.
//
// Keys are hosts or host/path prefixes, one per line of a list file. All keys
// sit in one contiguous arena; an open-addressing table of offsets finds them.
// A key given by several lists is stored once, with the set of its lists as a
// 64-bit mask (bit i: list i). Loading allocates in large blocks, never per
// key, and a lookup never allocates.
//
// Thread-safety: const operations (Find, the counts, Serialize) may run on any
// number of threads at once while nobody changes the store; loading and
// adding need the store to themselves.
#ifndef URLKEYS_MATCH_KEY_STORE_H
#define URLKEYS_MATCH_KEY_STORE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace urlkeys::match {

class KeyStore {
 public:
  // At most this many lists (the bits of a mask).
  static constexpr int kMaxLists = 64;

  KeyStore();
  ~KeyStore();
  KeyStore(KeyStore&& other) noexcept;
  KeyStore& operator=(KeyStore&& other) noexcept;
  KeyStore(const KeyStore&) = delete;
  KeyStore& operator=(const KeyStore&) = delete;

  // Loads one list file under the list name `name` ("" for an unnamed list);
  // loading the same name again adds to that list. Line syntax: '#' starts a
  // comment; leading and trailing blanks (space, tab, and a CR before the
  // line end) are trimmed; empty lines are skipped; the host part (up to the
  // first '/') is lower-cased and read in the matcher's forms (without
  // trailing dots; an IPv4 address in any written form as its dotted quad),
  // the path part keeps its case.
  // Returns false with a message in *error (may be null) when the file cannot
  // be opened or read, when `name` would be a 65th list, or when the store is
  // full (see AddLine). The store is unchanged when the file could not be
  // opened or the list was refused; after a failure part way through it holds
  // the lines read before it (rebuild or discard it then).
  bool LoadFile(std::string_view name, const char* path, std::string* error);

  // Adds one line of list text under `name`, with the same syntax as a file
  // line (no line end needed; the text after a '\n' is part of the line).
  // Returns false only when the line cannot be stored: `name` would be a
  // 65th list, the lists of keys would form more than 65,536 different sets,
  // or memory runs out (the arena also stops at 1 TiB).
  bool AddLine(std::string_view name, std::string_view line);

  // The lists that hold exactly `key` (bit i for list i), or 0 when none
  // does. No allocation; safe on any bytes.
  uint64_t Find(std::string_view key) const;
  // As Find; on a hit also sets *stored to the store's copy of the key,
  // valid until the store is changed or destroyed (moving keeps it valid).
  uint64_t Find(std::string_view key, std::string_view* stored) const;

  // The lists in the order their names were first seen.
  int ListCount() const { return static_cast<int>(names_.size()); }
  // The name of list i (0 <= i < ListCount()).
  std::string_view ListName(int i) const { return names_[static_cast<size_t>(i)]; }
  // Distinct keys held.
  size_t KeyCount() const { return count_; }
  // Bytes of the arena, the table, the sets of lists and the names.
  size_t MemoryBytes() const;

  // The whole store as bytes (little-endian, the same on every host), for
  // shipping to another process; Deserialize restores it without hashing a
  // key again. Deserialize checks every offset and length, so corrupt bytes
  // give false with a message, never a store that reads out of bounds;
  // *out is left unchanged then.
  std::string Serialize() const;
  static bool Deserialize(std::string_view bytes, KeyStore* out, std::string* error);

  // For callers that look up several keys at once: KeyHash gives the hash
  // that FindHashed and Prefetch take (FindHashed(k, KeyHash(k), s) is
  // Find(k, s)); Prefetch starts loading the table line of a hash.
  static uint64_t KeyHash(std::string_view key);
  uint64_t FindHashed(std::string_view key, uint64_t hash, std::string_view* stored) const;
  void Prefetch(uint64_t hash) const;

 private:
  // Memory taken from the system in whole pages (huge pages where the system
  // grants them on request): the arena and the table are large and read at
  // random, and untouched pages cost no memory.
  class Region {
   public:
    Region() = default;
    ~Region();
    Region(Region&& other) noexcept;
    Region& operator=(Region&& other) noexcept;
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;
    // Resizes to `bytes`, keeping the contents; new bytes read as zero.
    bool Resize(size_t bytes);
    unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

   private:
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
  };
  struct Staged;

  int ListIndex(std::string_view name, std::string* error);
  bool AddKeys(const std::string_view* keys, int n, uint64_t bit, std::string* error);
  bool InternMask(uint64_t mask, uint32_t* index, std::string* error);
  bool Reserve(size_t keys);
  bool Rehash(size_t slots);
  bool ArenaRoom(size_t bytes);
  size_t SlotOf(uint64_t hash) const;
  uint64_t* table() const { return reinterpret_cast<uint64_t*>(table_.data()); }

  Region arena_;           // records: key length (LEB128), key bytes
  size_t arena_size_ = 0;  // bytes used; offset 0 is never a record
  Region table_;           // slots: 0, or offset << 24 | set index << 8 | tag
  size_t slots_ = 0;
  size_t count_ = 0;
  std::vector<uint64_t> masks_;  // the distinct sets of lists; slots index them
  std::unordered_map<uint64_t, uint32_t> mask_index_;  // set -> its index in masks_
  uint64_t last_mask_ = 0;                             // the set interned last, and its index
  uint32_t last_index_ = 0;
  std::vector<std::string> names_;
};

}  // namespace urlkeys::match

#endif
