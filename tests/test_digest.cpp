// Tests of vMd5FromUrl: published MD5 vectors, padding boundaries, the exact
// output size, and agreement with OpenSSL on random and real URLs.
#include "urlkeys/digest.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#if URLKEYS_HAVE_OPENSSL
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#endif

namespace {

constexpr unsigned char kMarker = 0xA5;

// Digests `text` handed over in exactly strlen+1 bytes, into a buffer whose
// bytes past the 33rd are markers; fails the test if any marker changed.
std::string sDigest(const std::string& text) {
  std::unique_ptr<char[]> in(new char[text.size() + 1]);
  std::memcpy(in.get(), text.c_str(), text.size() + 1);
  unsigned char out[64];
  std::memset(out, kMarker, sizeof out);
  vMd5FromUrl(in.get(), reinterpret_cast<char*>(out));
  for (size_t i = 33; i < sizeof out; ++i) {
    EXPECT_EQ(out[i], kMarker) << "vMd5FromUrl('" << text << "') wrote byte " << i;
  }
  EXPECT_EQ(out[32], '\0') << "vMd5FromUrl('" << text << "') left no NUL at byte 32";
  return std::string(reinterpret_cast<char*>(out), strnlen(reinterpret_cast<char*>(out), 33));
}

struct DigestRow {
  const char* text;
  const char* hex;
};

const DigestRow kRfc1321Suite[] = {
    {"", "d41d8cd98f00b204e9800998ecf8427e"},  // empty message: padding block only
    {"a", "0cc175b9c0f1b6a831c399e269772661"},
    {"abc", "900150983cd24fb0d6963f7d28e17f72"},
    {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
    {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
    {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
     "d174ab98d277d9f5a5611c2c9f419d9f"},  // 62 bytes: length spills into a second block
    {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
     "57edf4a22be3c955ac49da2e2107b67a"},  // 80 bytes: one whole block from the caller
};

TEST(Md5FromUrl, Rfc1321Suite) {
  for (const DigestRow& row : kRfc1321Suite) {
    EXPECT_EQ(sDigest(row.text), row.hex) << "vMd5FromUrl('" << row.text << "')";
  }
}

// URLs cut to lengths around the points where the padding needs one or two
// blocks (55/56) and where a whole block is taken straight from the text.
const DigestRow kBoundaries[] = {
    {"http://www.example.com/abcdefghijklmnopqrstuvwxyz012345",
     "5489f70f0e5c1adccbe04a5a2a371274"},  // 55: 0x80 and length fit in one block
    {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456",
     "f0e6577ab994486931addb063fd6c4ac"},  // 56: length needs a second block
    {"http://www.example.com/abcdefghijklmnopqrstuvwxyz01234567",
     "4de89f2562e921417cf1140a9ef918ce"},  // 57
    {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456789abcd",
     "35596c20a6efc02d01b9a07ecc9d5837"},  // 63: only 0x80 fits
    {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456789abcde",
     "5e7529a66ffd43b9866fbdf6c62d886b"},  // 64: exactly one block, padding alone
    {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456789abcdef",
     "9a98da94d27490e6faa48eaacd2691ed"},  // 65: one block and one byte
    {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz"
     "0123456789abcdefghijklmnopqrstuvwx",
     "71f2e2dc049869564a2932003217c4f4"},  // 119: second block, one block of padding
    {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz"
     "0123456789abcdefghijklmnopqrstuvwxy",
     "4c7587c2d453f8a2dbf695e296fb0c3f"},  // 120: second block, two blocks of padding
    {"http://www.example.com/abcdefghijklmnopqrstuvwxyz0123456789abcdefghijklmnopqrstuvwxyz"
     "0123456789abcdefghijklmnopqrstuvwxyz0123456",
     "2bf83beba3026d0dc56d44262db62802"},  // 128: two whole blocks
    {"http://www.example.com/", "f1777111f5d0f1c81ffa04de751128fa"},  // lower case
    {"HTTP://WWW.EXAMPLE.COM/", "51e30958b1b4c66a8786ed3b2d7d2648"},  // same URL, upper case: no folding
    {"http://www.example.com/%41", "3cd3bbd3e8ab445634e5fc1875f7715e"},  // no percent-decoding
};

TEST(Md5FromUrl, PaddingBoundariesAndNoNormalisation) {
  for (const DigestRow& row : kBoundaries) {
    EXPECT_EQ(sDigest(row.text), row.hex)
        << "vMd5FromUrl('" << row.text << "') length " << std::strlen(row.text);
  }
}

#if URLKEYS_HAVE_OPENSSL

std::string sOpenSslHex(const std::string& text) {
  unsigned char d[MD5_DIGEST_LENGTH];
  MD5(reinterpret_cast<const unsigned char*>(text.data()), text.size(), d);
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char b : d) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

// Random byte strings (no NUL) of random lengths 0-300, fixed seed.
TEST(Md5FromUrl, AgreesWithOpenSslOnRandomText) {
  std::mt19937 rng(20240229);
  std::uniform_int_distribution<int> length(0, 300);
  std::uniform_int_distribution<int> byte(1, 255);
  for (int i = 0; i < 4000; ++i) {
    std::string text(static_cast<size_t>(length(rng)), 'x');
    for (char& c : text) c = static_cast<char>(byte(rng));
    ASSERT_EQ(sDigest(text), sOpenSslHex(text)) << "random input " << i << ", length " << text.size();
  }
}

TEST(Md5FromUrl, AgreesWithOpenSslOnRealUrls) {
  std::ifstream in(URLKEYS_TEST_DATA_DIR "/urls-top.txt");
  ASSERT_TRUE(in) << "cannot open urls-top.txt";
  std::string line;
  int count = 0;
  char out[33];
  while (std::getline(in, line)) {
    vMd5FromUrl(line.c_str(), out);
    ASSERT_EQ(std::string(out), sOpenSslHex(line)) << "vMd5FromUrl('" << line << "')";
    ++count;
  }
  EXPECT_EQ(count, 48010);
}

#endif

}  // namespace
