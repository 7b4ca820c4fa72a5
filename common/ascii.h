// ASCII character tests and conversions shared by the subsystems. Each
// looks at one byte (or the first four of a text) and ignores the locale.
// Private to the library.
#ifndef URLKEYS_COMMON_ASCII_H
#define URLKEYS_COMMON_ASCII_H

namespace urlkeys::common {

constexpr bool bIsDigit(char c) { return c >= '0' && c <= '9'; }

// ASCII lower-casing of one byte; no other byte changes.
constexpr char cLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Value of one "hexadecimal" character of a percent escape, as the decoder
// reads it. Never fails: bytes of 0x80 and above count by their low seven
// bits, and characters that are not hexadecimal digits still give a value
// ('g' 0, 'z' 3, '%' 14).
constexpr unsigned nHexValue(unsigned char ch) {
  unsigned c = ch & 0x7Fu;
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') c += 'a' - 'A';
  return (c - 87u) & 0x0Fu;
}

// True when `text` begins with "www." (byte comparison; a NUL stops it).
inline bool bHasWwwPrefix(const char* text) {
  return text[0] == 'w' && text[1] == 'w' && text[2] == 'w' && text[3] == '.';
}

}  // namespace urlkeys::common

#endif
