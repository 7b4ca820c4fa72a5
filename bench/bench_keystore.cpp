// Benchmarks of the key store behind `urlkeys match`: loading a list of five
// million keys, single lookups, and whole matches of the URL list against
// it, beside a plain std::unordered_set of strings (how the tool kept its
// keys before the store).
//
// The key list is made by this program, the same bytes on every run:
//   bench_keystore --make-keys=PATH [--key-count=N]   writes the list and exits
//   bench_keystore [--keys=PATH] [benchmark flags]     runs the benchmarks
// Without --keys a list of --key-count keys (default 5,000,000) is written to
// a temporary file first.
#include "bench_common.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "match/key_store.h"
#include "match/matcher.h"
#include "urlkeys/lcp.h"

namespace {

using urlkeys::match::Hit;
using urlkeys::match::KeyStore;
using urlkeys::match::Matcher;

// --- The generated key list ----------------------------------------------------

uint64_t Next(uint64_t& state) {  // splitmix64
  uint64_t z = (state += 0x9e3779b97f4a7c15);
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
  z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
  return z ^ (z >> 31);
}

void AddWord(std::string& out, uint64_t& rng, int min, int max) {
  static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789-";
  int n = min + static_cast<int>(Next(rng) % static_cast<uint64_t>(max - min + 1));
  for (int i = 0; i < n; ++i) {
    uint64_t r = Next(rng) % 100;  // mostly letters, some digits, few hyphens
    char c = r < 85 ? kChars[Next(rng) % 26] : r < 98 ? kChars[26 + Next(rng) % 10] : '-';
    if (c == '-' && (i == 0 || i == n - 1)) c = 'x';
    out += c;
  }
}

// Writes `count` keys: one in 64 is a host or path prefix of one in twenty URLs
// of the URL list (each once, so that matching finds hits), the others are made-up hosts
// under common TLDs, 45% of them with one or two path segments. Mean line length
// about 25.6 bytes, as in the large blocklists the store is sized for.
bool MakeKeyList(const std::string& path, size_t count) {
  static const char* kTlds[] = {"com",   "com",  "com", "com", "net", "org",    "de",  "ru",
                                "co.uk", "info", "io",  "fr",  "nl",  "com.br", "xyz", "top"};
  const cUrlList& urls = oUrlList();
  std::vector<std::string> real;
  for (size_t i = 0; i < urls.vUrl.size(); i += 20) {
    cLcpUrl lcp(urls.vUrl[i]);
    const char* c = lcp.sGetNextLcp();
    for (size_t skip = i % 3; c && skip > 0; --skip) c = lcp.sGetNextLcp();
    if (c && *c) real.emplace_back(c);
  }
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) return false;
  uint64_t rng = 20261206;
  std::string line;
  size_t next_real = 0;
  for (size_t k = 0; k < count; ++k) {
    line.clear();
    if (k % 64 == 0 && next_real < real.size()) {
      line = real[next_real++];
    } else {
      int labels = 1 + static_cast<int>(Next(rng) % 100 < 40);
      for (int l = 0; l < labels; ++l) {
        AddWord(line, rng, 6, 16);
        line += '.';
      }
      line += kTlds[Next(rng) % (sizeof kTlds / sizeof kTlds[0])];
      if (Next(rng) % 100 < 45) {
        int segments = 1 + static_cast<int>(Next(rng) % 2);
        for (int s = 0; s < segments; ++s) {
          line += '/';
          AddWord(line, rng, 2, 10);
        }
      }
    }
    line += '\n';
    if (fwrite(line.data(), 1, line.size(), f) != line.size()) {
      fclose(f);
      return false;
    }
  }
  return fclose(f) == 0;
}

std::string& KeysPath() {
  static std::string path;
  return path;
}
size_t g_key_count = 5000000;

// Every candidate of every URL, to look up one by one.
const std::vector<std::string>& Candidates() {
  static const std::vector<std::string> all = [] {
    std::vector<std::string> out;
    for (const char* url : oUrlList().vUrl) {
      cLcpUrl lcp(url);
      while (const char* c = lcp.sGetNextLcp()) out.emplace_back(c);
    }
    return out;
  }();
  return all;
}

const KeyStore& Store() {
  static const KeyStore store = [] {
    KeyStore s;
    std::string error;
    if (!s.LoadFile("", KeysPath().c_str(), &error)) fprintf(stderr, "%s\n", error.c_str());
    return s;
  }();
  return store;
}

// The tool's former store: a set of strings, filled line by line.
struct KeyHashOld {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using OldSet = std::unordered_set<std::string, KeyHashOld, std::equal_to<>>;

void LoadOld(OldSet& keys) {
  std::ifstream in(KeysPath(), std::ios::binary);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != '#') keys.emplace(std::move(line));
  }
}

// Resident memory of this process (Linux; 0 elsewhere).
double ResidentBytes() {
  std::ifstream in("/proc/self/statm");
  double size = 0, resident = 0;
  in >> size >> resident;
  return resident * static_cast<double>(sysconf(_SC_PAGESIZE));
}

double FileBytes() {
  std::ifstream in(KeysPath(), std::ios::binary | std::ios::ate);
  return static_cast<double>(in.tellg());
}

// --- Benchmarks ------------------------------------------------------------------

// Loads the list into a fresh store; the growth of resident memory while
// the store lives is reported against the size of the list file.
void BM_StoreLoad(benchmark::State& state) {
  size_t keys = 0, memory = 0;
  double resident = 0;
  for (auto _ : state) {
    double before = ResidentBytes();
    KeyStore store;
    std::string error;
    if (!store.LoadFile("", KeysPath().c_str(), &error)) state.SkipWithError(error.c_str());
    keys = store.KeyCount();
    memory = store.MemoryBytes();
    resident = ResidentBytes() - before;
  }
  state.counters["rss/file"] = resident / FileBytes();
  state.counters["keys/s"] =
      benchmark::Counter(static_cast<double>(keys), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["keys"] = static_cast<double>(keys);
  state.counters["memory/file"] = static_cast<double>(memory) / FileBytes();
}
BENCHMARK(BM_StoreLoad)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OldSetLoad(benchmark::State& state) {
  size_t keys = 0;
  double resident = 0;
  for (auto _ : state) {
    double before = ResidentBytes();
    OldSet set;
    LoadOld(set);
    keys = set.size();
    resident = ResidentBytes() - before;
  }
  state.counters["rss/file"] = resident / FileBytes();
  state.counters["keys/s"] =
      benchmark::Counter(static_cast<double>(keys), benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_OldSetLoad)->Unit(benchmark::kMillisecond)->Iterations(1);

// One Find per candidate of the URL list (about one in ten is held).
void BM_StoreFind(benchmark::State& state) {
  const KeyStore& store = Store();
  const std::vector<std::string>& all = Candidates();
  uint64_t sum = 0;
  vAllocCountReset();
  for (auto _ : state) {
    vAllocCountOn();
    for (const std::string& c : all) sum += store.Find(c) != 0;
    vAllocCountOff();
  }
  g_nSink = g_nSink + sum;
  vReportPerItem(state, "lookup", all.size(), 0);
  state.counters["held"] = static_cast<double>(sum) / (static_cast<double>(state.iterations()) *
                                                       static_cast<double>(all.size()));
}
BENCHMARK(BM_StoreFind);

// Matcher::Match over the URL list: the walk and its lookups.
void BM_StoreMatch(benchmark::State& state) {
  const KeyStore& store = Store();
  Matcher matcher;
  uint64_t hits = nRunOverUrls(state, [&](const char* url, int) {
    Hit hit;
    return static_cast<unsigned>(matcher.Match(store, url, &hit));
  });
  state.counters["hit rate"] =
      static_cast<double>(hits) /
      (static_cast<double>(state.iterations()) * static_cast<double>(oUrlList().vUrl.size()));
}
BENCHMARK(BM_StoreMatch);

// The same matches through the former set: a walk and a set lookup per step.
void BM_OldSetMatch(benchmark::State& state) {
  static OldSet* set = [] {
    auto* s = new OldSet;
    LoadOld(*s);
    return s;
  }();
  nRunOverUrls(state, [&](const char* url, int) {
    cLcpUrl lcp(url);
    while (const char* c = lcp.sGetNextLcp())
      if (set->find(std::string_view(c)) != set->end()) return 1u;
    return 0u;
  });
}
BENCHMARK(BM_OldSetMatch);

}  // namespace

int main(int argc, char** argv) {
  vTakeUrlFlag(&argc, argv);
  std::string make;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    if (a.substr(0, 12) == "--make-keys=") make = std::string(a.substr(12));
    else if (a.substr(0, 7) == "--keys=") KeysPath() = std::string(a.substr(7));
    else if (a.substr(0, 12) == "--key-count=") g_key_count = std::stoul(std::string(a.substr(12)));
    else argv[kept++] = argv[i];
  }
  argc = kept;
  if (!make.empty()) {
    if (!MakeKeyList(make, g_key_count)) {
      fprintf(stderr, "bench_keystore: cannot write %s\n", make.c_str());
      return 1;
    }
    return 0;
  }
  std::string temp;
  if (KeysPath().empty()) {
    const char* dir = getenv("TMPDIR");
    temp = std::string(dir && *dir ? dir : "/tmp") + "/bench_keystore_" + std::to_string(getpid()) +
           ".txt";
    if (!MakeKeyList(temp, g_key_count)) {
      fprintf(stderr, "bench_keystore: cannot write %s\n", temp.c_str());
      return 1;
    }
    KeysPath() = temp;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!temp.empty()) unlink(temp.c_str());
  return 0;
}
