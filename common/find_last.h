// Backward search for one byte in a span. Private to the library.
#ifndef URLKEYS_COMMON_FIND_LAST_H
#define URLKEYS_COMMON_FIND_LAST_H

#include <cstddef>
#include <cstring>

namespace urlkeys::common {

// Last occurrence of `c` in [p, p + n), or null, by a plain backward walk.
inline const char* pFindLastBytePlain(const char* p, size_t n, char c) {
  while (n > 0) {
    if (p[--n] == c) return p + n;
  }
  return nullptr;
}

// The same through the C library's memrchr where it has one (glibc).
inline const char* pFindLastByte(const char* p, size_t n, char c) {
#if defined(__GLIBC__)
  return static_cast<const char*>(memrchr(p, c, n));
#else
  return pFindLastBytePlain(p, n, c);
#endif
}
inline char* pFindLastByte(char* p, size_t n, char c) {
  return const_cast<char*>(pFindLastByte(static_cast<const char*>(p), n, c));
}

}  // namespace urlkeys::common

#endif
