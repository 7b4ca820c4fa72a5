// Helpers shared by the fuzz targets: exact-size copies of the input, checks
// that abort with a message, and silencing of the diagnostic output.
#ifndef URLKEYS_FUZZ_FUZZ_COMMON_H
#define URLKEYS_FUZZ_FUZZ_COMMON_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace urlkeys::fuzz {

// Aborts with `what` when `ok` is false, so that libFuzzer records the input
// as a crash; the replay runner stops the same way.
inline void vCheck(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "broken invariant: %s\n", what);
    std::fflush(stderr);
    std::abort();
  }
}

// A heap copy of `n` bytes followed by a NUL, exactly n + 1 bytes long, so
// that the address sanitizer reports any read past the terminator. The copy
// is writable, for functions that rewrite their text in place.
class cText {
 public:
  cText(const uint8_t* data, size_t n) : p_(new char[n + 1]), n_(n) {
    if (n != 0) std::memcpy(p_.get(), data, n);
    p_[n] = '\0';
  }
  cText(const char* s) : cText(reinterpret_cast<const uint8_t*>(s), std::strlen(s)) {}
  char* get() { return p_.get(); }
  const char* get() const { return p_.get(); }
  size_t size() const { return n_; }  // bytes given, terminator excluded

 private:
  std::unique_ptr<char[]> p_;
  size_t n_;
};

// True when a NUL occurs in the first `cap` bytes of `field`.
inline bool bTerminated(const char* field, size_t cap) {
  return std::memchr(field, 0, cap) != nullptr;
}

// Sends standard output to /dev/null once per process: several entry points
// print diagnostics that would only slow fuzzing down.
inline void vSilenceStdout() {
  static const bool done = [] {
    std::fflush(stdout);
    return std::freopen("/dev/null", "w", stdout) != nullptr;
  }();
  (void)done;
}

}  // namespace urlkeys::fuzz

#endif
