// Helpers shared by the test programs.
#ifndef URLKEYS_TESTS_SUPPORT_H
#define URLKEYS_TESTS_SUPPORT_H

#include <string_view>
#include <vector>

namespace urlkeys::test {

// `text` and a NUL in a heap block of exactly that size, so that
// AddressSanitizer catches a read past the terminator. Use .data().
inline std::vector<char> Exact(std::string_view text) {
  std::vector<char> copy;
  copy.reserve(text.size() + 1);  // one block of exactly this size, never grown
  copy.assign(text.begin(), text.end());
  copy.push_back('\0');
  return copy;
}

}  // namespace urlkeys::test

#endif
