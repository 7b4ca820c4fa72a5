// What the key store's source files share: the layout of a table slot and
// of a record, and the store's limits. Private to the store.
//
// Record: the key's length as LEB128 (one byte below 128), then the key's
// bytes. Table slot (64 bits): the record's offset (40 bits), the index of
// the key's set of lists (16 bits) and 8 more bits of the key's hash, so
// that a probe touches the arena only when those bits agree. A slot of 0 is
// empty (offset 0 is a pad byte, never a record).
#ifndef URLKEYS_MATCH_KEY_STORE_IMPL_H
#define URLKEYS_MATCH_KEY_STORE_IMPL_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace urlkeys::match {

// Records lie below this offset (the 40 bits of a slot).
inline constexpr uint64_t kOffsetLimit = uint64_t{1} << 40;
// At most this many distinct sets of lists (the 16 bits of a slot).
inline constexpr size_t kMaxMasks = size_t{1} << 16;
// Keys hashed, prefetched and then inserted together, so that the cache
// misses of their table slots overlap.
inline constexpr int kBatch = 16;

// --- Table slots ---------------------------------------------------------------

inline constexpr int kSlotOffsetShift = 24;
inline constexpr int kSlotSetShift = 8;
inline constexpr uint64_t kSlotSetMask = 0xFFFF;
inline constexpr uint64_t kSlotTagMask = 0xFF;

// The bits of a key's hash that its slot keeps.
constexpr uint64_t HashTag(uint64_t hash) { return hash & kSlotTagMask; }

// The slot of the record at `offset` (below kOffsetLimit, not 0) whose key
// is in the set of lists `set` (below kMaxMasks) and has hash tag `tag`.
constexpr uint64_t MakeSlot(uint64_t offset, uint32_t set, uint64_t tag) {
  return (offset << kSlotOffsetShift) | (uint64_t{set} << kSlotSetShift) | tag;
}
constexpr uint64_t SlotOffset(uint64_t slot) { return slot >> kSlotOffsetShift; }
constexpr uint32_t SlotSet(uint64_t slot) {
  return static_cast<uint32_t>((slot >> kSlotSetShift) & kSlotSetMask);
}
constexpr uint64_t SlotTag(uint64_t slot) { return slot & kSlotTagMask; }
// `slot` moved to the set of lists `set`.
constexpr uint64_t WithSlotSet(uint64_t slot, uint32_t set) {
  return (slot & ~(kSlotSetMask << kSlotSetShift)) | (uint64_t{set} << kSlotSetShift);
}

// --- Record lengths --------------------------------------------------------------

// Bytes a record's length takes at most (LEB128 of a 64-bit number).
inline constexpr size_t kMaxLengthBytes = 10;

// Writes `length` at p; returns the bytes it took (1 below 128).
inline size_t PutRecordLength(unsigned char* p, size_t length) {
  size_t n = 0;
  while (length >= 0x80) {
    p[n++] = static_cast<unsigned char>(length | 0x80);
    length >>= 7;
  }
  p[n++] = static_cast<unsigned char>(length);
  return n;
}

// Reads the length at p (at most `room` bytes); returns the bytes it took,
// or 0 when it runs past `room` or past 64 bits. A length below 128, the
// common case, is one byte and takes no loop.
inline size_t GetRecordLength(const unsigned char* p, size_t room, size_t* length) {
  if (room > 0 && p[0] < 0x80) {
    *length = p[0];
    return 1;
  }
  uint64_t v = 0;
  for (size_t i = 0; i < room && i < kMaxLengthBytes; ++i) {
    v |= static_cast<uint64_t>(p[i] & 0x7F) << (7 * i);
    if (!(p[i] & 0x80)) {
      *length = static_cast<size_t>(v);
      return i + 1;
    }
  }
  return 0;
}

// --- Errors ------------------------------------------------------------------------

inline void SetError(std::string* error, std::string message) {
  if (error) *error = std::move(message);
}

}  // namespace urlkeys::match

#endif
