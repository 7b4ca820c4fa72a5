// Little-endian loads and stores at any alignment, the same on every host:
// packed TLD names, MD5 words, key-store hashes and the serialized store
// all depend on byte 0 being the lowest. Private to the library and the
// matching layer.
#ifndef URLKEYS_COMMON_BYTE_ORDER_H
#define URLKEYS_COMMON_BYTE_ORDER_H

#include <bit>
#include <cstdint>
#include <cstring>

namespace urlkeys::common {

inline constexpr bool kBigEndianHost = std::endian::native == std::endian::big;

// w with its bytes in the opposite order.
inline std::uint32_t nSwapBytes32(std::uint32_t w) { return __builtin_bswap32(w); }
inline std::uint64_t nSwapBytes64(std::uint64_t w) { return __builtin_bswap64(w); }

// The 4 or 8 bytes at p as a little-endian number.
inline std::uint32_t nLoadLittle32(const void* p) {
  std::uint32_t w;
  std::memcpy(&w, p, 4);
  if constexpr (kBigEndianHost) w = nSwapBytes32(w);
  return w;
}
inline std::uint64_t nLoadLittle64(const void* p) {
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  if constexpr (kBigEndianHost) w = nSwapBytes64(w);
  return w;
}

// v written at p as 4 or 8 little-endian bytes.
inline void vStoreLittle32(void* p, std::uint32_t v) {
  if constexpr (kBigEndianHost) v = nSwapBytes32(v);
  std::memcpy(p, &v, 4);
}
inline void vStoreLittle64(void* p, std::uint64_t v) {
  if constexpr (kBigEndianHost) v = nSwapBytes64(v);
  std::memcpy(p, &v, 8);
}

}  // namespace urlkeys::common

#endif
