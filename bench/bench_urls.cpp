// Benchmarks of the URL hot paths on a real URL list, with peer libraries
// measured in the same run: parsing, simplified URL, reversed host, both LCP
// forms, flat functions, digest and TLD tests; then cost against URL length,
// allocations per URL and throughput on one and two threads.
//
// Every list benchmark handles the whole list per iteration and reports
// ns/url, URLs/s (items_per_second), bytes/s and allocs/url. The list is
// --urls=PATH, else $URLKEYS_URL_FILE, else the build's default list.
#include "bench_common.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "urlkeys/urlkeys.h"

#if URLKEYS_HAVE_URIPARSER
#include <uriparser/Uri.h>
#endif
#if URLKEYS_HAVE_CURL
#include <curl/curl.h>
#endif
#if URLKEYS_HAVE_BOOST_URL
#include <boost/url/parse.hpp>
#endif
#if URLKEYS_HAVE_PSL
#include <libpsl.h>
#endif
#if URLKEYS_HAVE_OPENSSL
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/md5.h>
#endif

namespace {

// Sets counter `name` to sum per URL handled (a rate of acceptance, or a
// mean number of candidates).
void vPerUrlCounter(benchmark::State& state, const char* name, uint64_t sum) {
  const double calls =
      static_cast<double>(state.iterations()) * static_cast<double>(oUrlList().vUrl.size());
  state.counters[name] =
      benchmark::Counter(static_cast<double>(sum) / calls, benchmark::Counter::kAvgThreads);
}

// ---------------------------------------------------------------------------
// The library's hot paths, per URL

unsigned nParse(const char* url, int) {
  cZuUrl u(url);
  return static_cast<unsigned char>(u.hostname[0]) + u.errors;
}

unsigned nParseSimpleUrl(const char* url, int) {
  cZuUrl u(url);
  char out[ZU_SIMPLE_URL_SIZE];
  u.bGetSimpleUrl(out);
  return static_cast<unsigned char>(out[0]);
}

unsigned nParseAuthRev(const char* url, int) {
  cZuUrl u(url);
  return static_cast<unsigned char>(u.bGetAuthRev()[0]);
}

// Constructs the iterator and walks it to its end; returns the number of
// candidates.
unsigned nLcpUrlWalk(const char* url, int) {
  cLcpUrl lcp(url);
  unsigned k = 0;
  for (char* c = lcp.sGetNextLcp(); c != nullptr; c = lcp.sGetNextLcp()) ++k;
  return k;
}

// cLcpParse rewrites its text, so each construction gets a fresh copy, as a
// host application holding a const URL would make. The limit of 20 keeps
// every candidate; the walk copies each one out, then the TLD (result 0).
struct cLcpParseWalk {
  std::vector<char> vText, vDst;
  explicit cLcpParseWalk(size_t maxLen) : vText(maxLen + 1), vDst(maxLen + 1) {}
  unsigned operator()(const char* url, int len) {
    char* text = vText.data();
    std::memcpy(text, url, static_cast<size_t>(len) + 1);
    int count = 0;
    cLcpParse lcp(text, 20, count);
    const int size = static_cast<int>(vDst.size());
    for (int i = 0; i <= count && count > 0; ++i) lcp.nGetLcp(text, vDst.data(), size);
    return static_cast<unsigned>(count);
  }
};

void BM_ZuUrlParse(benchmark::State& state) { nRunOverUrls(state, nParse); }
BENCHMARK(BM_ZuUrlParse);

void BM_ZuUrlSimpleUrl(benchmark::State& state) { nRunOverUrls(state, nParseSimpleUrl); }
BENCHMARK(BM_ZuUrlSimpleUrl);

void BM_ZuUrlAuthRev(benchmark::State& state) { nRunOverUrls(state, nParseAuthRev); }
BENCHMARK(BM_ZuUrlAuthRev);

void BM_LcpUrlWalk(benchmark::State& state) {
  vPerUrlCounter(state, "lcp/url", nRunOverUrls(state, nLcpUrlWalk));
}
BENCHMARK(BM_LcpUrlWalk);

void BM_LcpParseWalk(benchmark::State& state) {
  cLcpParseWalk walk(static_cast<size_t>(oUrlList().nMaxLen));
  vPerUrlCounter(state, "lcp/url", nRunOverUrls(state, walk));
}
BENCHMARK(BM_LcpParseWalk);

void BM_FlatParseUrl(benchmark::State& state) {
  static char scheme[ZU_SCHEME_SIZE], host[ZU_HOSTNAME_SIZE], port[ZU_PORT_STR_SIZE],
      user[ZU_USER_SIZE], password[ZU_PASSWORD_SIZE], path[ZU_PATH_SIZE];
  // The URL is only read, although the parameter is not const.
  nRunOverUrls(state, [&](const char* url, int) {
    vZuParseUrl(const_cast<char*>(url), scheme, host, port, user, password, path);
    return static_cast<unsigned char>(host[0]);
  });
}
BENCHMARK(BM_FlatParseUrl);

void BM_FlatDottedQuadIp(benchmark::State& state) {
  nRunOverUrls(state, [](const char* url, int) {
    char out[ZU_DOTTED_QUAD_SIZE];
    return static_cast<unsigned>(bDottedQuadIp(const_cast<char*>(url), out)) +
           static_cast<unsigned char>(out[0]);
  });
}
BENCHMARK(BM_FlatDottedQuadIp);

void BM_Md5FromUrl(benchmark::State& state) {
  nRunOverUrls(state, [](const char* url, int) {
    char out[ZU_MD5_HEX_SIZE];
    vMd5FromUrl(url, out);
    return static_cast<unsigned char>(out[0]);
  });
}
BENCHMARK(BM_Md5FromUrl);

// ---------------------------------------------------------------------------
// Reference, floor and peers, per URL

// The least any parser must do: copy the URL into a 4 KiB working buffer
// and note where its '/' characters are.
void BM_FloorCopySlashes(benchmark::State& state) {
  nRunOverUrls(state, [](const char* url, int len) {
    char buf[ZU_URL_SIZE];
    int slash[ZU_URL_SIZE];
    const int m = std::min(len, ZU_URL_SIZE - 1);
    std::memcpy(buf, url, static_cast<size_t>(m));
    buf[m] = '\0';
    benchmark::DoNotOptimize(buf);
    int k = 0;
    for (int i = 0; i < m; ++i) {
      slash[k] = i;
      k += buf[i] == '/';
    }
    benchmark::DoNotOptimize(slash);
    return static_cast<unsigned>(k);
  });
}
BENCHMARK(BM_FloorCopySlashes);

// What the cLcpParse walk benchmark cannot do without: copy the text in and
// every text nGetLcp hands out (each candidate and the TLD) out again, with
// memcpy, at the lengths the walk gives; no scan, no decoding.
void BM_FloorLcpParseCopies(benchmark::State& state) {
  const cUrlList& urls = oUrlList();
  static const std::vector<std::vector<int>> lengths = [&urls] {
    std::vector<std::vector<int>> all(urls.vUrl.size());
    std::vector<char> text(static_cast<size_t>(urls.nMaxLen) + 1), dst(text.size());
    for (size_t i = 0; i < urls.vUrl.size(); ++i) {
      std::memcpy(text.data(), urls.vUrl[i], static_cast<size_t>(urls.vLen[i]) + 1);
      int count = 0;
      cLcpParse lcp(text.data(), 20, count);
      for (int k = 0; k <= count && count > 0; ++k) {
        lcp.nGetLcp(text.data(), dst.data(), static_cast<int>(dst.size()));
        all[i].push_back(static_cast<int>(std::strlen(dst.data())));
      }
    }
    return all;
  }();
  std::vector<char> text(static_cast<size_t>(urls.nMaxLen) + 1), dst(text.size());
  size_t at = 0;
  nRunOverUrls(state, [&](const char* url, int len) {
    std::memcpy(text.data(), url, static_cast<size_t>(len) + 1);
    benchmark::DoNotOptimize(text.data());
    unsigned k = 0;
    for (int n : lengths[at]) {
      std::memcpy(dst.data(), text.data(), static_cast<size_t>(n));
      dst[static_cast<size_t>(n)] = '\0';
      benchmark::DoNotOptimize(dst.data());
      ++k;
    }
    at = at + 1 == lengths.size() ? 0 : at + 1;
    return k;
  });
}
BENCHMARK(BM_FloorLcpParseCopies);

// What the cLcpUrl walk benchmark cannot do without: the parse, and the
// list test (bIsTLD) on every text the walk tests, here made in advance.
void BM_FloorLcpUrlParseTests(benchmark::State& state) {
  const cUrlList& urls = oUrlList();
  // The tested texts of every URL, back to back; `first[i]` is the index of
  // URL i's first text.
  static std::vector<size_t> first;
  static cUrlList tested = [&urls] {
    std::vector<std::string> texts;
    for (const char* url : urls.vUrl) {
      first.push_back(texts.size());
      cLcpUrl lcp(url);
      std::string last = lcp.sGetNextLcp();  // the first candidate is not tested
      for (char* c = lcp.sGetNextLcp(); c != nullptr; c = lcp.sGetNextLcp()) {
        texts.emplace_back(c);  // every later candidate was tested
        last = c;
      }
      // The step that ended the walk tested the last candidate less its
      // first label, when it had no path left and a '.' to cut at.
      const size_t dot = last.find('.');
      if (last.find('/') == std::string::npos && dot != std::string::npos)
        texts.push_back(last.substr(dot + 1));
    }
    first.push_back(texts.size());
    return oListOf(texts);
  }();
  size_t at = 0;
  nRunOverUrls(state, [&](const char* url, int) {
    cZuUrl u(url);
    unsigned k = static_cast<unsigned char>(u.hostname[0]);
    for (size_t j = first[at]; j < first[at + 1]; ++j) k += bIsTLD(tested.vUrl[j]) ? 1u : 0u;
    at = at + 1 == urls.vUrl.size() ? 0 : at + 1;
    return k;
  });
}
BENCHMARK(BM_FloorLcpUrlParseTests);

#if URLKEYS_HAVE_URIPARSER
void BM_UriParserParse(benchmark::State& state) {
  const uint64_t ok = nRunOverUrls(state, [](const char* url, int len) {
    UriUriA uri;
    const char* error = nullptr;
    if (uriParseSingleUriExA(&uri, url, url + len, &error) != URI_SUCCESS) return 0u;
    uriFreeUriMembersA(&uri);
    return 1u;
  });
  vPerUrlCounter(state, "accepted", ok);
}
BENCHMARK(BM_UriParserParse);
#endif

#if URLKEYS_HAVE_CURL
void BM_CurlUrlSet(benchmark::State& state) {
  const uint64_t ok = nRunOverUrls(state, [](const char* url, int) {
    CURLU* h = curl_url();
    const CURLUcode rc =
        curl_url_set(h, CURLUPART_URL, url, CURLU_NON_SUPPORT_SCHEME | CURLU_GUESS_SCHEME);
    curl_url_cleanup(h);
    return rc == CURLUE_OK ? 1u : 0u;
  });
  vPerUrlCounter(state, "accepted", ok);
}
BENCHMARK(BM_CurlUrlSet);
#endif

#if URLKEYS_HAVE_BOOST_URL
void BM_BoostParseUri(benchmark::State& state) {
  const uint64_t ok = nRunOverUrls(state, [](const char* url, int len) {
    auto r = boost::urls::parse_uri(boost::urls::string_view(url, static_cast<size_t>(len)));
    return r.has_value() ? 1u : 0u;
  });
  vPerUrlCounter(state, "accepted", ok);
}
BENCHMARK(BM_BoostParseUri);
#endif

#if URLKEYS_HAVE_OPENSSL
// OpenSSL's MD5() and a table-driven hex writer, on the same terms as
// vMd5FromUrl: NUL-terminated text in, ZU_MD5_HEX_SIZE bytes of hex out.
void BM_OpenSslMd5Hex(benchmark::State& state) {
  nRunOverUrls(state, [](const char* url, int) {
    static const char kDigits[] = "0123456789abcdef";
    unsigned char d[MD5_DIGEST_LENGTH];
    char out[ZU_MD5_HEX_SIZE];
    MD5(reinterpret_cast<const unsigned char*>(url), std::strlen(url), d);
    for (int i = 0; i < MD5_DIGEST_LENGTH; ++i) {
      out[2 * i] = kDigits[d[i] >> 4];
      out[2 * i + 1] = kDigits[d[i] & 15];
    }
    out[32] = '\0';
    benchmark::DoNotOptimize(out);
    return static_cast<unsigned char>(out[0]);
  });
}
BENCHMARK(BM_OpenSslMd5Hex);
#endif

// ---------------------------------------------------------------------------
// TLD tests on the list's hosts and on every label suffix of them

void BM_IsTLD(benchmark::State& state) {
  nRunOverList(state, oSuffixes(), "name", [](char* s, int) { return bIsTLD(s) ? 1u : 0u; });
}
BENCHMARK(BM_IsTLD);

void BM_IsTLD2(benchmark::State& state) {
  nRunOverList(state, oSuffixes(), "name",
               [](char* s, int len) { return bIsTLD2(s, len) ? 1u : 0u; });
}
BENCHMARK(BM_IsTLD2);

void BM_CheckTLD(benchmark::State& state) {
  nRunOverList(state, oHosts(), "host", [](char* s, int) { return bCheckTLD(s) ? 1u : 0u; });
}
BENCHMARK(BM_CheckTLD);

// Walks a host's suffixes label by label, from the whole host, until
// is_suffix accepts one or no dot is left; returns the number of tests.
template <class Test>
unsigned nSuffixWalk(const char* host, Test&& is_suffix) {
  unsigned steps = 1;
  for (const char* p = host; !is_suffix(p); ++steps) {
    p = std::strchr(p, '.');
    if (p == nullptr) break;
    ++p;
  }
  return steps;
}

void BM_SuffixWalkIsTLD(benchmark::State& state) {
  const uint64_t steps = nRunOverList(state, oHosts(), "host", [](char* s, int) {
    return nSuffixWalk(s, [](const char* p) { return bIsTLD(const_cast<char*>(p)); });
  });
  state.counters["tests/host"] = benchmark::Counter(
      static_cast<double>(steps) /
          (static_cast<double>(state.iterations()) * static_cast<double>(oHosts().vLen.size())),
      benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_SuffixWalkIsTLD);

#if URLKEYS_HAVE_PSL
void BM_SuffixWalkPsl(benchmark::State& state) {
  const psl_ctx_t* psl = psl_builtin();
  const uint64_t steps = nRunOverList(state, oHosts(), "host", [psl](char* s, int) {
    return nSuffixWalk(s, [psl](const char* p) { return psl_is_public_suffix(psl, p) != 0; });
  });
  state.counters["tests/host"] = benchmark::Counter(
      static_cast<double>(steps) /
          (static_cast<double>(state.iterations()) * static_cast<double>(oHosts().vLen.size())),
      benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_SuffixWalkPsl);
#endif

// ---------------------------------------------------------------------------
// Cost against length: one synthetic URL of exactly n bytes, its host a run
// of two-letter labels (a quarter of the URL, at most 1000 characters) ending
// in ".com", its path a run of two-letter segments.

std::string sSyntheticUrl(int n) {
  std::string url = "http://";
  const size_t host = static_cast<size_t>(std::min(n / 4, 1000));
  for (int i = 0; url.size() + 3 + 4 <= 7 + host; ++i) {
    url += static_cast<char>('g' + i % 20);
    url += static_cast<char>('h' + i % 17);
    url += '.';
  }
  url += "com";
  for (int i = 0; url.size() < static_cast<size_t>(n); ++i) {
    url += (i % 3 == 0) ? '/' : static_cast<char>('k' + i % 13);
  }
  url.resize(static_cast<size_t>(n));
  return url;
}

template <class Fn>
uint64_t nRunSynthetic(benchmark::State& state, Fn&& fn) {
  const std::string url = sSyntheticUrl(static_cast<int>(state.range(0)));
  uint64_t sum = 0;
  vAllocCountReset();
  for (auto _ : state) {
    vAllocCountOn();
    sum += fn(url.c_str(), static_cast<int>(url.size()));
    vAllocCountOff();
  }
  g_nSink = g_nSink + sum;
  vReportPerItem(state, "url", 1, url.size());
  state.counters["ns/byte"] = benchmark::Counter(
      static_cast<double>(url.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  return sum;
}

void BM_ScaleParse(benchmark::State& state) { nRunSynthetic(state, nParse); }
BENCHMARK(BM_ScaleParse)->Arg(64)->Arg(256)->Arg(1024)->Arg(4095);

void BM_ScaleLcpUrlWalk(benchmark::State& state) {
  const uint64_t candidates = nRunSynthetic(state, nLcpUrlWalk);
  state.counters["lcp/url"] =
      static_cast<double>(candidates) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_ScaleLcpUrlWalk)->Arg(64)->Arg(256)->Arg(1024)->Arg(4095);

// ---------------------------------------------------------------------------
// One and two threads at once, each on its own objects over the whole list.
// Wall-clock time, so that items/s is the throughput of all threads.

// Also reports each thread's own CPU time per URL ("cpu ns/url", averaged
// over threads): on a shared machine the wall-clock throughput of two threads
// depends on what else runs, while a CPU cost per URL that stays flat from
// one thread to two shows that the threads do not slow each other down.
template <class Fn>
void vRunThreaded(benchmark::State& state, Fn&& fn) {
  timespec begin{}, end{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &begin);
  nRunOverUrls(state, fn);
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &end);
  const double ns = 1e9 * static_cast<double>(end.tv_sec - begin.tv_sec) +
                    static_cast<double>(end.tv_nsec - begin.tv_nsec);
  const double urls =
      static_cast<double>(state.iterations()) * static_cast<double>(oUrlList().vUrl.size());
  state.counters["cpu ns/url"] = benchmark::Counter(ns / urls, benchmark::Counter::kAvgThreads);
}

void BM_ThreadsParse(benchmark::State& state) { vRunThreaded(state, nParse); }
BENCHMARK(BM_ThreadsParse)->Threads(1)->Threads(2)->UseRealTime();

void BM_ThreadsLcpUrlWalk(benchmark::State& state) { vRunThreaded(state, nLcpUrlWalk); }
BENCHMARK(BM_ThreadsLcpUrlWalk)->Threads(1)->Threads(2)->UseRealTime();

// Each thread runs this function with its own copy and output buffers.
void BM_ThreadsLcpParseWalk(benchmark::State& state) {
  vRunThreaded(state, cLcpParseWalk(static_cast<size_t>(oUrlList().nMaxLen)));
}
BENCHMARK(BM_ThreadsLcpParseWalk)->Threads(1)->Threads(2)->UseRealTime();

// ---------------------------------------------------------------------------
// Checks, before anything is timed, that the inputs are what they claim.

// Synthetic URLs must have exactly the length they are reported under, and
// their hosts must really be long runs of labels.
struct cSyntheticRow {
  int nBytes;
  size_t nMinHostDots;
};
const cSyntheticRow kSyntheticRows[] = {
    {64, 3},      // smallest: still a few labels before ".com"
    {256, 18},    // host of 64 characters
    {1024, 80},   // host of 256 characters
    {4095, 320},  // host capped near 1000 characters, URL at the parse cap
};

// Checks the synthetic URLs; false (with a note on standard error) when one
// is not what its benchmark claims to measure.
bool bSelfCheck() {
  bool ok = true;
  for (const cSyntheticRow& row : kSyntheticRows) {
    const std::string url = sSyntheticUrl(row.nBytes);
    cZuUrl u(url.c_str());
    const size_t dots =
        static_cast<size_t>(std::count(u.hostname, u.hostname + std::strlen(u.hostname), '.'));
    if (url.size() != static_cast<size_t>(row.nBytes) || dots < row.nMinHostDots ||
        u.path[0] == '\0') {
      std::fprintf(stderr, "synthetic URL of %d bytes: got %zu bytes, %zu host dots\n", row.nBytes,
                   url.size(), dots);
      ok = false;
    }
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  return nBenchMain(argc, argv, [] {
    // The key table is built before any measurement and before threads run
    // the key test.
    ZuCreateTldHashTable();
    return bSelfCheck();
  });
}
