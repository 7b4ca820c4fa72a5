// Raw MD5 throughput on 64 MiB: the library's one-shot form beside
// OpenSSL's MD5(). vMd5FromUrl per URL, beside OpenSSL, is measured in
// bench_urls.
#include "bench_common.h"
#include "digest/md5.h"
#include "urlkeys/digest.h"

#if URLKEYS_HAVE_OPENSSL
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#endif

namespace {

constexpr size_t kBigSize = size_t{64} << 20;

const std::vector<char>& vBigBuffer() {
  static const std::vector<char> buf = [] {
    std::vector<char> b(kBigSize);
    uint32_t x = 12345;
    for (char& c : b) {
      x = x * 1103515245u + 12345u;
      c = static_cast<char>(x >> 24);
    }
    return b;
  }();
  return buf;
}

void BM_Md5Hex64MiB(benchmark::State& state) {
  const std::vector<char>& buf = vBigBuffer();
  char out[ZU_MD5_HEX_SIZE];
  for (auto _ : state) {
    Md5Hex(buf.data(), out, buf.size());
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(buf.size()));
}
BENCHMARK(BM_Md5Hex64MiB)->Unit(benchmark::kMillisecond);

#if URLKEYS_HAVE_OPENSSL

void BM_OpenSslMd564MiB(benchmark::State& state) {
  const std::vector<char>& buf = vBigBuffer();
  unsigned char d[MD5_DIGEST_LENGTH];
  for (auto _ : state) {
    MD5(reinterpret_cast<const unsigned char*>(buf.data()), buf.size(), d);
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(buf.size()));
}
BENCHMARK(BM_OpenSslMd564MiB)->Unit(benchmark::kMillisecond);

#endif

}  // namespace

int main(int argc, char** argv) { return nBenchMain(argc, argv); }
