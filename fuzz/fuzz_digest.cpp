// Fuzz target for vMd5FromUrl: the digest of any text agrees with OpenSSL's
// MD5, is written as 32 lowercase hex characters and a NUL, and nothing is
// written past its buffer.
#include <openssl/evp.h>

#include <cstring>

#include "fuzz_common.h"
#include "urlkeys/digest.h"

using urlkeys::fuzz::vCheck;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const urlkeys::fuzz::cText text(data, size);
  const size_t len = std::strlen(text.get());

  constexpr unsigned char kMarker = 0xA7;
  unsigned char out[48];
  std::memset(out, kMarker, sizeof out);
  vMd5FromUrl(text.get(), reinterpret_cast<char*>(out));
  for (size_t i = ZU_MD5_HEX_SIZE; i < sizeof out; ++i)
    vCheck(out[i] == kMarker, "digest wrote past its buffer");
  vCheck(out[32] == '\0', "digest ends with a NUL at byte 32");

  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int md_len = 0;
  vCheck(EVP_Digest(text.get(), len, md, &md_len, EVP_md5(), nullptr) == 1 && md_len == 16,
         "OpenSSL MD5");
  static const char kHex[] = "0123456789abcdef";
  for (unsigned i = 0; i < 16; ++i) {
    vCheck(out[2 * i] == kHex[md[i] >> 4] && out[2 * i + 1] == kHex[md[i] & 15],
           "digest agrees with OpenSSL");
  }
  return 0;
}
