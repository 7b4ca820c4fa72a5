// Tests of the MD5 module itself: the one-shot form on bytes with NULs, the
// incremental context fed in pieces, and the bit-length count past 2^32.
#include "digest/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#if URLKEYS_HAVE_OPENSSL
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#endif

namespace {

std::string sHexOf(const unsigned char d[16]) {
  char out[33];
  vMd5WriteHex(d, out);
  return out;
}

// Context fed in the given piece sizes (the last piece takes what is left).
std::string sIncremental(const std::vector<unsigned char>& data, const std::vector<size_t>& pieces) {
  Md5Context ctx;
  Md5Init(&ctx);
  size_t at = 0;
  for (size_t piece : pieces) {
    const size_t k = std::min(piece, data.size() - at);
    Md5Update(&ctx, data.data() + at, k);
    at += k;
  }
  Md5Update(&ctx, data.data() + at, data.size() - at);
  unsigned char d[16];
  Md5Final(&ctx, d);
  return sHexOf(d);
}

std::string sOneShot(const std::vector<unsigned char>& data) {
  char out[33];
  return Md5Hex(reinterpret_cast<const char*>(data.data()), out, data.size());
}

// Piece patterns that land on every buffering path: filling, completing and
// overflowing a partial block, and whole blocks straight from the input.
const std::vector<size_t> kPieceSplits[] = {
    {},                 // one call
    {1, 1, 1, 1},       // byte by byte at the start
    {63, 1},            // completes the first block exactly
    {63, 2},            // completes it and leaves one byte waiting
    {10, 54, 64},       // exact completion, then a whole block directly
    {5, 200},           // partial, then several blocks and a tail
    {0, 0, 64, 0, 7},   // empty pieces change nothing
};

TEST(Md5Module, IncrementalMatchesOneShot) {
  std::mt19937 rng(7);
  for (size_t len : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 127u, 128u, 129u, 300u, 1000u}) {
    std::vector<unsigned char> data(len);
    for (unsigned char& c : data) c = static_cast<unsigned char>(rng());
    const std::string whole = sOneShot(data);
    for (const std::vector<size_t>& pieces : kPieceSplits) {
      EXPECT_EQ(sIncremental(data, pieces), whole)
          << "length " << len << ", first piece " << (pieces.empty() ? 0 : pieces[0]);
    }
  }
}

TEST(Md5Module, OneShotCountsNulBytes) {
  const char zeros[3] = {0, 0, 0};
  char out[33];
  EXPECT_STREQ(Md5Hex(zeros, out, 0), "d41d8cd98f00b204e9800998ecf8427e");  // empty
  EXPECT_STREQ(Md5Hex(zeros, out, 1), "93b885adfe0da089cdf634904fd59f71");  // one NUL byte
  EXPECT_STREQ(Md5Hex(zeros, out, 3), "693e9af84d3dfcc71e640e005bdc5e2e");  // three NUL bytes
  EXPECT_STREQ(Md5Hex(nullptr, out, 0), "d41d8cd98f00b204e9800998ecf8427e");  // no data at all
}

#if URLKEYS_HAVE_OPENSSL

// The length field is the bit count modulo 2^64. Both contexts start as if
// `before` bytes (a multiple of 64) had been hashed already, then take the
// same bytes; the bit counts must carry the same way in both.
struct CarryRow {
  uint64_t before;
  size_t fed;
};

const CarryRow kCarry[] = {
    {(uint64_t{1} << 29) - 64, 100},   // bit count crosses 2^32
    {(uint64_t{1} << 32) - 64, 100},   // byte count crosses 2^32
    {(uint64_t{1} << 32), 3},          // byte count past 2^32, short tail
    {(uint64_t{1} << 61) - 64, 100},   // bit count wraps modulo 2^64
};

TEST(Md5Module, BitLengthCarriesLikeOpenSsl) {
  std::vector<unsigned char> data(256);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + 1);
  for (const CarryRow& row : kCarry) {
    Md5Context ours;
    Md5Init(&ours);
    ours.lCount = row.before;
    Md5Update(&ours, data.data(), row.fed);
    unsigned char d[16];
    Md5Final(&ours, d);

    MD5_CTX ref;
    MD5_Init(&ref);
    const uint64_t bits = row.before << 3;
    ref.Nl = static_cast<MD5_LONG>(bits);
    ref.Nh = static_cast<MD5_LONG>(bits >> 32);
    MD5_Update(&ref, data.data(), row.fed);
    unsigned char r[MD5_DIGEST_LENGTH];
    MD5_Final(r, &ref);
    EXPECT_EQ(sHexOf(d), sHexOf(r)) << "after " << row.before << " bytes, fed " << row.fed;
  }
}

#endif

}  // namespace
