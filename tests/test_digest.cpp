// Tests of vMd5FromUrl: published MD5 vectors, padding boundaries and the
// exact output size (the digest fuzz target compares with OpenSSL).
#include "urlkeys/digest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Digests `text` handed over in exactly strlen+1 bytes into a buffer marked
// past its 33rd byte; fails the test if a marker changed or the NUL is missing.
std::string sDigest(const std::string& text) {
  const std::vector<char> in(text.c_str(), text.c_str() + text.size() + 1);
  char out[48];
  std::memset(out, 'Z', sizeof out);
  vMd5FromUrl(in.data(), out);
  EXPECT_EQ(std::string(out + 32, sizeof out - 32), '\0' + std::string(15, 'Z')) << text;
  return out;
}

TEST(Digest, KnownDigests) {
  const struct {
    const char* text;
    const char* hex;
  } rows[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},  // RFC 1321 suite from here
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      {"http://www.example.com/abcdefghijklmnopqrstuvwxyz012345",
       "5489f70f0e5c1adccbe04a5a2a371274"},  // 55: 0x80 and length fit in one block
      {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456",
       "f0e6577ab994486931addb063fd6c4ac"},  // 56: length needs a second block
      {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456789abcd",
       "35596c20a6efc02d01b9a07ecc9d5837"},  // 63: only 0x80 fits
      {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456789abcde",
       "5e7529a66ffd43b9866fbdf6c62d886b"},  // 64: one whole block, padding alone
      {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456789abcdef",
       "9a98da94d27490e6faa48eaacd2691ed"},  // 65: one block and one byte
  };
  for (const auto& row : rows)
    EXPECT_EQ(sDigest(row.text), row.hex) << std::strlen(row.text) << " bytes";
}

}  // namespace
