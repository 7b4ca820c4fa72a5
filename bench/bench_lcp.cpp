// Benchmarks of the LCP candidates: both walks per URL on the URL list, the
// parse alone for reference, and the worst inputs of each form (nested
// escapes filling 4095 characters, a path of 2047 segments).
#include "bench_common.h"

#include <string>
#include <vector>

#include "urlkeys/lcp.h"
#include "urlkeys/unescape.h"
#include "urlkeys/url.h"

namespace {

void vCandidatesPerUrl(benchmark::State& state, uint64_t sum) {
  state.counters["lcp/url"] =
      static_cast<double>(sum) /
      (static_cast<double>(state.iterations()) * static_cast<double>(oUrlList().vUrl.size()));
}

// The parse that cLcpUrl's construction starts with, for reference.
void BM_ParseOnly(benchmark::State& state) {
  nRunOverUrls(state, [](const char* url, int) {
    cZuUrl rec(url);
    return static_cast<unsigned>(static_cast<unsigned char>(rec.hostname[0]));
  });
}
BENCHMARK(BM_ParseOnly);

// cLcpUrl construction plus the whole sGetNextLcp walk.
void BM_LcpUrlWalk(benchmark::State& state) {
  vCandidatesPerUrl(state, nRunOverUrls(state, [](const char* url, int) {
                      cLcpUrl lcp(url);
                      unsigned k = 0;
                      for (char* c = lcp.sGetNextLcp(); c != nullptr; c = lcp.sGetNextLcp()) ++k;
                      return k;
                    }));
}
BENCHMARK(BM_LcpUrlWalk);

// cLcpParse on a copy of the text (it writes into it), plus the whole
// nGetLcp walk with a limit of 20, the TLD copy included.
void BM_LcpParseWalk(benchmark::State& state) {
  std::vector<char> text(static_cast<size_t>(oUrlList().nMaxLen) + 1);
  std::vector<char> dst(text.size());
  vCandidatesPerUrl(state, nRunOverUrls(state, [&](const char* url, int len) {
                      std::memcpy(text.data(), url, static_cast<size_t>(len) + 1);
                      int count = 0;
                      cLcpParse lcp(text.data(), 20, count);
                      for (int i = 0; i <= count && count > 0; ++i)
                        lcp.nGetLcp(text.data(), dst.data(), static_cast<int>(dst.size()));
                      return static_cast<unsigned>(count);
                    }));
}
BENCHMARK(BM_LcpParseWalk);

// A '%' followed by "25" again and again: each decoding pass removes two
// characters, so 4095 characters take about 2040 passes.
std::string sNestedChain(size_t depth, const char* end) {
  std::string s = "%";
  for (size_t i = 0; i < depth; ++i) s += "25";
  return s + end;
}

std::string sWorstText(int kind) {
  switch (kind) {
    case 0:  // one chain filling the text
      return "a.com/" + sNestedChain(2043, "41");
    case 1:  // two chains with a clean run between: every pass spans the run
      return sNestedChain(1000, "41") + std::string(1084, 'x') + "a.com" + sNestedChain(500, "2F");
    default:  // chains of every depth side by side
    {
      std::string s = "a.com/";
      for (size_t d = 1; s.size() + 2 * d + 3 < 4095; ++d) s += sNestedChain(d, "41");
      return s;
    }
  }
}

const char* const kWorstNames[] = {"one chain", "two chains around a clean run",
                                   "chains of every depth"};

// cLcpParse construction on the worst texts for its repeated decoding.
void BM_LcpParseNested(benchmark::State& state) {
  const std::string worst = sWorstText(static_cast<int>(state.range(0)));
  std::vector<char> text(worst.size() + 1);
  for (auto _ : state) {
    std::memcpy(text.data(), worst.c_str(), worst.size() + 1);
    int count = 0;
    cLcpParse lcp(text.data(), 20, count);
    g_nSink = g_nSink + static_cast<uint64_t>(count);
  }
  state.SetLabel(std::string(kWorstNames[state.range(0)]) + ", " + std::to_string(worst.size()) +
                 " chars");
}
BENCHMARK(BM_LcpParseNested)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// The same texts decoded by whole-text passes, for comparison.
void BM_WholeTextPasses(benchmark::State& state) {
  const std::string worst = sWorstText(static_cast<int>(state.range(0)));
  std::vector<char> text(worst.size() + 1);
  for (auto _ : state) {
    std::memcpy(text.data(), worst.c_str(), worst.size() + 1);
    while (std::strchr(text.data(), '%') != nullptr) zuUrlUnescape(text.data());
    g_nSink = g_nSink + static_cast<unsigned char>(text[0]);
  }
  state.SetLabel(kWorstNames[state.range(0)]);
}
BENCHMARK(BM_WholeTextPasses)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

// cLcpUrl walk over a path of 2047 one-character segments: each step costs
// the segment it removes.
void BM_LcpUrlLongPath(benchmark::State& state) {
  std::string url = "http://example.com";
  while (url.size() + 2 <= 4095) url += "/s";
  for (auto _ : state) {
    cLcpUrl lcp(url.c_str());
    unsigned k = 0;
    for (char* c = lcp.sGetNextLcp(); c != nullptr; c = lcp.sGetNextLcp()) ++k;
    g_nSink = g_nSink + k;
  }
}
BENCHMARK(BM_LcpUrlLongPath)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) { return nBenchMain(argc, argv); }
