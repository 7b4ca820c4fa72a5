// Benchmarks of the TLD tests on the names an LCP walk over the URL list
// asks about: the list test bIsTLD against a plain search for "," name ","
// in the comma string, the key test bIsTLD2, and the host test bCheckTLD.
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "bench_common.h"
#include "urlkeys/tld.h"

namespace {


// tld/tld_names.txt, found from this source file's folder.
std::string sNamesFile() {
  std::string here = __FILE__;
  const std::size_t slash = here.find_last_of('/');
  here = (slash == std::string::npos) ? std::string(".") : here.substr(0, slash);
  return here + "/../tld/tld_names.txt";
}

// The comma string rebuilt from the names file: a comma, the names joined
// by commas, a comma. Empty when the file cannot be read.
const std::string& sCommas() {
  static const std::string commas = [] {
    std::ifstream in(sNamesFile());
    std::string s, line;
    while (std::getline(in, line)) {
      if (!line.empty()) s += "," + line;
    }
    return s.empty() ? s : s + ",";
  }();
  return commas;
}

// The list test done the plain way: one substring search over the whole
// comma string per name.
bool bSearchList(const char* name) {
  const std::size_t len = std::strlen(name);
  if (len > 256) return false;
  char buf[260];
  buf[0] = ',';
  std::memcpy(buf + 1, name, len);
  buf[len + 1] = ',';
  buf[len + 2] = '\0';
  if (std::strstr(sCommas().c_str(), buf) != nullptr) return true;
  return std::strncmp(name, "xn--", 4) == 0;
}

// Lower-cased host of a URL: after "://" when there is one, up to the
// first '/', ':', '?' or '#'.
std::string sHostOf(const char* url) {
  const char* start = std::strstr(url, "://");
  start = (start == nullptr) ? url : start + 3;
  std::string host(start, std::strcspn(start, "/:?#"));
  for (char& c : host) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  return host;
}


const cUrlList& oHosts() {
  static const cUrlList hosts = [] {
    std::vector<std::string> out;
    for (const char* url : oUrlList().vUrl) {
      std::string h = sHostOf(url);
      if (!h.empty()) out.push_back(h);
    }
    return oListOf(out);
  }();
  return hosts;
}

// What an LCP walk tests: each host and every suffix of it that begins
// after a dot. Mostly misses ("example.com"), a third hits ("com").
const cUrlList& oSuffixes() {
  static const cUrlList suffixes = [] {
    std::vector<std::string> out;
    for (const char* host : oHosts().vUrl) {
      const std::string h = host;
      out.push_back(h);
      for (std::size_t dot = h.find('.'); dot != std::string::npos; dot = h.find('.', dot + 1)) {
        out.push_back(h.substr(dot + 1));
      }
    }
    return oListOf(out);
  }();
  return suffixes;
}

// Runs fn(name, len) on every item of `list` once per iteration and reports
// per-name figures and the share of names accepted.
template <class Fn>
void vRun(benchmark::State& state, const cUrlList& list, Fn&& fn) {
  const std::size_t n = list.vUrl.size();
  std::uint64_t hits = 0;
  vAllocCountReset();
  for (auto _ : state) {
    vAllocCountOn();
    for (std::size_t i = 0; i < n; ++i) hits += fn(list.vUrl[i], list.vLen[i]) ? 1 : 0;
    vAllocCountOff();
  }
  g_nSink = g_nSink + hits;
  vReportPerItem(state, "name", n, list.nBytes);
  state.counters["accepted"] = static_cast<double>(hits) / (static_cast<double>(state.iterations()) * static_cast<double>(n));
}

void BM_IsTLD(benchmark::State& state) {
  vRun(state, oSuffixes(), [](char* name, int) { return bIsTLD(name); });
}
BENCHMARK(BM_IsTLD);

void BM_IsTLD_PlainSearch(benchmark::State& state) {
  if (sCommas().empty()) {
    state.SkipWithError("tld_names.txt not found");
    return;
  }
  vRun(state, oSuffixes(), [](char* name, int) { return bSearchList(name); });
}
BENCHMARK(BM_IsTLD_PlainSearch);

void BM_IsTLD2(benchmark::State& state) {
  vRun(state, oSuffixes(), [](char* name, int len) { return bIsTLD2(name, len); });
}
BENCHMARK(BM_IsTLD2);

void BM_CheckTLD(benchmark::State& state) {
  vRun(state, oHosts(), [](char* host, int) { return bCheckTLD(host); });
}
BENCHMARK(BM_CheckTLD);

}  // namespace

int main(int argc, char** argv) {
  vTakeUrlFlag(&argc, argv);
  benchmark::AddCustomContext("url_file", oUrlList().sSource);
  benchmark::AddCustomContext("names", std::to_string(oSuffixes().vUrl.size()));
  benchmark::AddCustomContext("alloc_counting", URLKEYS_BENCH_COUNT_ALLOCS ? "on" : "off");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
