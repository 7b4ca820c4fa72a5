// Helpers shared by the benchmark programs: the URL list they run on and the
// host names derived from it, one run loop with its per-item report, the
// programs' main, and a count of the heap allocations one thread makes
// inside a measured window.
//
// NOTE: this header defines malloc, calloc, realloc, free and the aligned
// allocators (forwarding to glibc's own entry points) so that allocations
// made anywhere in the process, the shared library included, can be counted.
// Include it from exactly one source file per program. Counting checks
// itself once (bAllocCountingWorks); under a sanitizer or valgrind, which
// bring their own allocators, it is off and allocation figures read -1.
#ifndef URLKEYS_BENCH_COMMON_H
#define URLKEYS_BENCH_COMMON_H

#include <benchmark/benchmark.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "urlkeys/url.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define URLKEYS_BENCH_COUNT_ALLOCS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define URLKEYS_BENCH_COUNT_ALLOCS 0
#endif
#endif
#ifndef URLKEYS_BENCH_COUNT_ALLOCS
#define URLKEYS_BENCH_COUNT_ALLOCS 1
#endif

// ---------------------------------------------------------------------------
// Allocation counter

namespace {

// Per thread, so that threads measured at once do not see each other's
// allocations. Plain thread_local data of the program itself: reading it
// needs no allocation and no call, which matters inside malloc.
thread_local bool tl_bCountAllocs = false;
thread_local uint64_t tl_nAllocs = 0;

inline void vNoteAlloc() {
  if (tl_bCountAllocs) ++tl_nAllocs;
}

}  // namespace

#if URLKEYS_BENCH_COUNT_ALLOCS
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* ptr, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* ptr);

void* malloc(size_t size) noexcept {
  vNoteAlloc();
  return __libc_malloc(size);
}
void* calloc(size_t count, size_t size) noexcept {
  vNoteAlloc();
  return __libc_calloc(count, size);
}
void* realloc(void* ptr, size_t size) noexcept {
  vNoteAlloc();
  return __libc_realloc(ptr, size);
}
void free(void* ptr) noexcept { __libc_free(ptr); }
void* memalign(size_t alignment, size_t size) noexcept {
  vNoteAlloc();
  return __libc_memalign(alignment, size);
}
void* aligned_alloc(size_t alignment, size_t size) noexcept {
  vNoteAlloc();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** out, size_t alignment, size_t size) noexcept {
  // glibc's own checks: a power of two that is a multiple of sizeof(void*).
  if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
  vNoteAlloc();
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return ENOMEM;
  *out = p;
  return 0;
}
}  // extern "C"
#endif

namespace {

// Starts counting this thread's allocations (the count keeps what it had).
inline void vAllocCountOn() { tl_bCountAllocs = true; }
// Stops counting this thread's allocations.
inline void vAllocCountOff() { tl_bCountAllocs = false; }
// Allocations this thread made while counting was on, since the last reset.
inline uint64_t nAllocCount() { return tl_nAllocs; }
inline void vAllocCountReset() { tl_nAllocs = 0; }

// Keeps a pointer alive past the optimiser, then frees it.
inline void vKeepAndFree(void* p) {
  benchmark::DoNotOptimize(p);
  std::free(p);
}

// Each row allocates in one way; the counter must see exactly nAllocs
// allocations, or every "0 allocs" reported would prove nothing.
struct cAllocRow {
  const char* sWhat;
  void (*vRun)();
  uint64_t nAllocs;
};
const cAllocRow kAllocRows[] =
    {
        {"malloc", [] { vKeepAndFree(std::malloc(24)); }, 1},
        {"calloc", [] { vKeepAndFree(std::calloc(3, 8)); }, 1},
        {"malloc + realloc", [] { vKeepAndFree(std::realloc(std::malloc(8), 4096)); }, 2},
        {"operator new",
         [] {
  int* p = new int(7);
  benchmark::DoNotOptimize(p);
  delete p;
         },
         1},  // libstdc++ allocates through malloc
        {"strdup", [] { vKeepAndFree(strdup("example.com")); }, 1},  // called from inside libc
        {"aligned_alloc", [] { vKeepAndFree(::aligned_alloc(64, 128)); }, 1},
        {"nothing",
         [] {
  char b[32];
  std::memset(b, 1, sizeof b);
  benchmark::DoNotOptimize(b);
         },
         0},
                };

// True when counting is compiled in and sees every row above exactly; the
// check runs once. Otherwise (a sanitizer, or valgrind, which replaces
// malloc itself) allocation figures are reported as -1, unknown.
inline bool bAllocCountingWorks() {
  static const bool works = [] {
    if (!URLKEYS_BENCH_COUNT_ALLOCS) return false;
    bool ok = true;
    for (const cAllocRow& row : kAllocRows) {
      vAllocCountReset();
      vAllocCountOn();
      row.vRun();
      vAllocCountOff();
      if (nAllocCount() != row.nAllocs) {
        std::fprintf(stderr, "allocation counter: %s: expected %llu, counted %llu; not counting\n",
                     row.sWhat, static_cast<unsigned long long>(row.nAllocs),
                     static_cast<unsigned long long>(nAllocCount()));
        ok = false;
      }
    }
    vAllocCountReset();
    return ok;
  }();
  return works;
}

// ---------------------------------------------------------------------------
// URL list

// Every URL of the list back to back, each NUL-terminated, with a pointer
// to and the length of each. Lines keep their bytes; a final '\r' is
// dropped and empty lines are skipped.
struct cUrlList {
  std::string sSource;      // file the list came from, or "built-in"
  std::vector<char> vText;  // the URLs, NUL-terminated, back to back
  std::vector<char*> vUrl;  // start of each URL in vText
  std::vector<int> vLen;    // strlen of each URL
  size_t nBytes = 0;        // sum of the lengths
  int nMaxLen = 0;
};

// Path given with --urls=PATH; empty when the flag was not used.
inline std::string& sUrlFlag() {
  static std::string path;
  return path;
}

// Removes --urls=PATH from the command line (before the benchmark library
// reads it) and keeps the path for oUrlList().
inline void vTakeUrlFlag(int* argc, char** argv) {
  static const char kFlag[] = "--urls=";
  int out = 1;
  for (int i = 1; i < *argc; ++i) {
    if (std::strncmp(argv[i], kFlag, sizeof kFlag - 1) == 0) {
      sUrlFlag() = argv[i] + sizeof kFlag - 1;
    } else {
      argv[out++] = argv[i];
    }
  }
  *argc = out;
  argv[out] = nullptr;
}

// The list file: --urls=PATH, else $URLKEYS_URL_FILE, else the build's
// default list.
inline std::string sUrlFilePath() {
  if (!sUrlFlag().empty()) return sUrlFlag();
  const char* env = std::getenv("URLKEYS_URL_FILE");
  if (env != nullptr && *env != '\0') return env;
#ifdef URLKEYS_URL_FILE
  return URLKEYS_URL_FILE;
#else
  return std::string();
#endif
}

inline void vAddUrl(cUrlList& list, const char* text, size_t len) {
  list.vLen.push_back(static_cast<int>(len));
  list.vText.insert(list.vText.end(), text, text + len);
  list.vText.push_back('\0');
  list.nBytes += len;
  if (static_cast<int>(len) > list.nMaxLen) list.nMaxLen = static_cast<int>(len);
}

// Reads the list once; falls back to a few built-in URLs (with a note on
// standard error) when the file cannot be read or holds no URL.
inline const cUrlList& oUrlList() {
  static const cUrlList list = [] {
    cUrlList l;
    std::string path = sUrlFilePath();
    if (!path.empty()) {
      if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        std::vector<char> all;
        char chunk[1 << 16];
        for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, f)) > 0;)
          all.insert(all.end(), chunk, chunk + got);
        std::fclose(f);
        size_t at = 0;
        while (at < all.size()) {
          const char* nl =
              static_cast<const char*>(std::memchr(all.data() + at, '\n', all.size() - at));
          size_t end = nl != nullptr ? static_cast<size_t>(nl - all.data()) : all.size();
          size_t len = end - at;
          if (len > 0 && all[at + len - 1] == '\r') --len;
          // Longer lines are kept whole; the library caps them itself.
          if (len > 0) vAddUrl(l, all.data() + at, len);
          at = end + 1;
        }
        l.sSource = path;
      }
    }
    if (l.vLen.empty()) {
      std::fprintf(stderr, "no URLs read from '%s'; using the built-in list\n", path.c_str());
      static const char* const kBuiltIn[] = {
          "https://www.example.com/",
          "http://en.example.org/wiki/Main_Page?x=1#top",
          "https://tools.example.net/html/rfc1321",
          "http://user:pw@shop.example.co.uk:8080/a/b/c.html?q=1",
          "example.org/p",
          "http://192.168.1.10/admin/",
          "https://a.b.c.example.com.au/x/y/z/",
      };
      for (const char* u : kBuiltIn) vAddUrl(l, u, std::strlen(u));
      l.sSource = "built-in";
    }
    size_t at = 0;
    for (int len : l.vLen) {
      l.vUrl.push_back(l.vText.data() + at);
      at += static_cast<size_t>(len) + 1;
    }
    return l;
  }();
  return list;
}

// ---------------------------------------------------------------------------
// Reporting

// Sets the per-item figures of a benchmark whose iteration handles `items`
// items of `bytes` bytes in all: items/s, bytes/s, the time per item (as
// "ns/<unit>", in seconds in JSON output) and the allocations per item that
// this thread counted. With threads, items and bytes add up over threads
// and the allocations are averaged.
inline void vReportPerItem(benchmark::State& state, const char* unit, size_t items, size_t bytes) {
  const double iters = static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(items));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
  state.counters[std::string("ns/") + unit] =
      benchmark::Counter(static_cast<double>(items), benchmark::Counter::kIsIterationInvariantRate |
                                                         benchmark::Counter::kAvgThreads |
                                                         benchmark::Counter::kInvert);
  const double allocs = bAllocCountingWorks() ? static_cast<double>(nAllocCount()) /
                                                    (iters * static_cast<double>(items))
                                              : -1.0;
  state.counters[std::string("allocs/") + unit] =
      benchmark::Counter(allocs, benchmark::Counter::kAvgThreads);
}

// Results are folded into this so that no call can be dropped as unused.
inline volatile uint64_t g_nSink = 0;

// Runs fn(item, len) on every item of `list` once per iteration, counting
// this thread's allocations inside the loop only, and reports per item
// (named `unit`). fn returns a number derived from its result, so that the
// call cannot be dropped; the sum is returned.
template <class Fn>
uint64_t nRunOverList(benchmark::State& state, const cUrlList& list, const char* unit, Fn&& fn) {
  const size_t n = list.vUrl.size();
  uint64_t sum = 0;
  vAllocCountReset();
  for (auto _ : state) {
    vAllocCountOn();
    for (size_t i = 0; i < n; ++i) sum += static_cast<uint64_t>(fn(list.vUrl[i], list.vLen[i]));
    vAllocCountOff();
  }
  g_nSink = g_nSink + sum;
  vReportPerItem(state, unit, n, list.nBytes);
  return sum;
}

// nRunOverList on the URL list, per URL.
template <class Fn>
uint64_t nRunOverUrls(benchmark::State& state, Fn&& fn) {
  return nRunOverList(state, oUrlList(), "url", fn);
}

// A list made of the given texts, for benchmarks over derived names.
inline cUrlList oListOf(const std::vector<std::string>& items) {
  cUrlList list;
  for (const std::string& item : items) vAddUrl(list, item.data(), item.size());
  size_t at = 0;
  for (int len : list.vLen) {
    list.vUrl.push_back(list.vText.data() + at);
    at += static_cast<size_t>(len) + 1;
  }
  list.sSource = "derived";
  return list;
}

// The host names of the URL list as the parser stores them (non-empty ones).
inline const cUrlList& oHosts() {
  static const cUrlList hosts = [] {
    std::vector<std::string> out;
    for (const char* url : oUrlList().vUrl) {
      cZuUrl u(url);
      if (u.hostname[0] != '\0') out.emplace_back(u.hostname);
    }
    return oListOf(out);
  }();
  return hosts;
}

// Each host and every suffix after one of its dots ("a.b.com", "b.com",
// "com"): the names an LCP walk tests.
inline const cUrlList& oSuffixes() {
  static const cUrlList suffixes = [] {
    std::vector<std::string> out;
    for (const char* host : oHosts().vUrl) {
      for (const char* p = host; p != nullptr; p = std::strchr(p, '.')) {
        if (*p == '.') ++p;
        out.emplace_back(p);
      }
    }
    return oListOf(out);
  }();
  return suffixes;
}

// ---------------------------------------------------------------------------
// main

// The body of every program's main: takes --urls=PATH, reads the list, names
// it and the allocation counting in the report's context, runs `prepare`
// (when given; false ends the program with status 1), then the benchmarks.
inline int nBenchMain(int argc, char** argv, bool (*prepare)() = nullptr) {
  vTakeUrlFlag(&argc, argv);
  const cUrlList& urls = oUrlList();
  benchmark::AddCustomContext("url_file", urls.sSource);
  benchmark::AddCustomContext("url_count", std::to_string(urls.vUrl.size()));
  benchmark::AddCustomContext("url_bytes", std::to_string(urls.nBytes));
  benchmark::AddCustomContext("alloc_counting", bAllocCountingWorks() ? "on" : "off");
  if (prepare != nullptr && !prepare()) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace

#endif
