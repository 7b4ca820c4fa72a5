// Benchmarks of the numeric-host functions: bIsAuthIp on the hosts of the
// URL list (nearly all names) and on numeric hosts, lGetIpFromAuth and
// bGetIpStr on numeric hosts in every written form, with the C library's
// inet_aton as a yardstick.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "bench_common.h"
#include "urlkeys/ip.h"

namespace {

// Numeric hosts: dotted quads, short forms, octal and hexadecimal parts.
const cUrlList& oNumericHosts() {
  static const cUrlList hosts = [] {
    std::vector<std::string> out;
    for (unsigned i = 0; i < 256; ++i) {
      const std::string b = std::to_string(i);
      out.push_back("192.168." + b + "." + std::to_string(255 - i));
      out.push_back("10." + std::to_string(i * 257));
      out.push_back(std::string("0x") + "0123456789abcdef"[i % 16] + "f.0x" +
                    std::to_string(i % 10) + ".0.1");
      out.push_back("0177.0." + std::to_string(i % 8) + "." + b);
    }
    return oListOf(out);
  }();
  return hosts;
}

// Runs fn(host) on every host of `list` once per iteration; reports per host.
template <class Fn>
void vRun(benchmark::State& state, const cUrlList& list, Fn&& fn) {
  nRunOverList(state, list, "host", [&](const char* host, int) { return fn(host); });
}

void BM_IsAuthIp_UrlHosts(benchmark::State& state) {
  vRun(state, oHosts(), [](const char* h) { return bIsAuthIp(h); });
}
BENCHMARK(BM_IsAuthIp_UrlHosts);

void BM_IsAuthIp_Numeric(benchmark::State& state) {
  vRun(state, oNumericHosts(), [](const char* h) { return bIsAuthIp(h); });
}
BENCHMARK(BM_IsAuthIp_Numeric);

void BM_GetIpFromAuth_UrlHosts(benchmark::State& state) {
  vRun(state, oHosts(), [](const char* h) {
    int flag = 0;
    return lGetIpFromAuth(h, &flag);
  });
}
BENCHMARK(BM_GetIpFromAuth_UrlHosts);

void BM_GetIpFromAuth_Numeric(benchmark::State& state) {
  vRun(state, oNumericHosts(), [](const char* h) {
    int flag = 0;
    return lGetIpFromAuth(h, &flag);
  });
}
BENCHMARK(BM_GetIpFromAuth_Numeric);

void BM_InetAton_Numeric(benchmark::State& state) {
  vRun(state, oNumericHosts(), [](const char* h) {
    in_addr addr{};
    return inet_aton(h, &addr) ? addr.s_addr : 0u;
  });
}
BENCHMARK(BM_InetAton_Numeric);

// The simplified-URL path: test, decode, write the dotted quad.
void BM_DottedQuad_Numeric(benchmark::State& state) {
  vRun(state, oNumericHosts(), [](const char* h) {
    char out[ZU_DOTTED_QUAD_SIZE] = {};
    int flag = 0;
    if (bIsAuthIp(h)) bGetIpStr(lGetIpFromAuth(h, &flag), out);
    return static_cast<unsigned char>(out[0]) + static_cast<unsigned char>(out[9]);
  });
}
BENCHMARK(BM_DottedQuad_Numeric);

void BM_GetIpStr(benchmark::State& state) {
  std::vector<long> ips;
  for (long i = 0; i < 1024; ++i) ips.push_back((i * 2654435761L) & 0xFFFFFFFFL);
  std::uint64_t sum = 0;
  for (auto _ : state) {
    for (long ip : ips) {
      char out[ZU_DOTTED_QUAD_SIZE];
      bGetIpStr(ip, out);
      sum += static_cast<unsigned char>(out[1]);
    }
  }
  g_nSink = g_nSink + sum;
  vReportPerItem(state, "value", ips.size(), 0);
}
BENCHMARK(BM_GetIpStr);

}  // namespace

int main(int argc, char** argv) { return nBenchMain(argc, argv); }
