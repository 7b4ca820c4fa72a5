// Benchmarks of the digest: raw MD5 throughput of the library's one-shot
// form on 64 MiB, and OpenSSL per URL and on 64 MiB. vMd5FromUrl per URL is
// measured in bench_urls.
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
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buf.size()));
}
BENCHMARK(BM_Md5Hex64MiB)->Unit(benchmark::kMillisecond);

#if URLKEYS_HAVE_OPENSSL

// OpenSSL's MD5() and a table-driven hex writer, on the same terms as
// vMd5FromUrl: NUL-terminated text in, 32 hex characters and a NUL out.
void vOpenSslMd5Hex(const char* url, char* out) {
  static const char kDigits[] = "0123456789abcdef";
  unsigned char d[MD5_DIGEST_LENGTH];
  MD5(reinterpret_cast<const unsigned char*>(url), std::strlen(url), d);
  for (int i = 0; i < MD5_DIGEST_LENGTH; ++i) {
    out[2 * i] = kDigits[d[i] >> 4];
    out[2 * i + 1] = kDigits[d[i] & 15];
  }
  out[32] = '\0';
}

void BM_OpenSslMd5PerUrl(benchmark::State& state) {
  nRunOverUrls(state, [](const char* url, int) {
    char out[ZU_MD5_HEX_SIZE];
    vOpenSslMd5Hex(url, out);
    return static_cast<unsigned char>(out[0]);
  });
}
BENCHMARK(BM_OpenSslMd5PerUrl);

void BM_OpenSslMd564MiB(benchmark::State& state) {
  const std::vector<char>& buf = vBigBuffer();
  unsigned char d[MD5_DIGEST_LENGTH];
  for (auto _ : state) {
    MD5(reinterpret_cast<const unsigned char*>(buf.data()), buf.size(), d);
    benchmark::DoNotOptimize(d);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(buf.size()));
}
BENCHMARK(BM_OpenSslMd564MiB)->Unit(benchmark::kMillisecond);

#endif

}  // namespace

int main(int argc, char** argv) { return nBenchMain(argc, argv); }
