// The list test bIsTLD against a plain search for "," name "," in the comma
// string, on the names an LCP walk over the URL list asks about. The other
// TLD tests are measured in bench_urls.
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

// Runs a list test on every name an LCP walk asks about; reports per name
// and the share of names accepted.
template <class Test>
void vRunListTest(benchmark::State& state, Test&& test) {
  const std::uint64_t hits = nRunOverList(state, oSuffixes(), "name",
                                          [&](char* name, int) { return test(name) ? 1u : 0u; });
  state.counters["accepted"] =
      static_cast<double>(hits) /
      (static_cast<double>(state.iterations()) * static_cast<double>(oSuffixes().vUrl.size()));
}

void BM_IsTLD(benchmark::State& state) { vRunListTest(state, bIsTLD); }
BENCHMARK(BM_IsTLD);

void BM_IsTLD_PlainSearch(benchmark::State& state) {
  if (sCommas().empty()) {
    state.SkipWithError("tld_names.txt not found");
    return;
  }
  vRunListTest(state, bSearchList);
}
BENCHMARK(BM_IsTLD_PlainSearch);

}  // namespace

int main(int argc, char** argv) {
  return nBenchMain(argc, argv, [] {
    benchmark::AddCustomContext("names", std::to_string(oSuffixes().vUrl.size()));
    return true;
  });
}
