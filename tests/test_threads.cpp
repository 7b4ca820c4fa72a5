// Thread stress: eight threads at once run the LCP walks, the flat and
// record functions, the TLD and domain steps, the finder and the digest on
// the same URLs, and match them against one shared key store; every
// thread's answers must equal the single-thread ones.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "match/key_store.h"
#include "match/matcher.h"
#include "urlkeys/urlkeys.h"

namespace {

constexpr int kThreads = 8;

// One key store shared by every thread: the second candidate of every third
// URL of the list, in two lists.
const urlkeys::match::KeyStore& rSharedStore() {
  static const urlkeys::match::KeyStore store = [] {
    urlkeys::match::KeyStore s;
    std::ifstream in(URLKEYS_TEST_DATA_DIR "/urls-top.txt");
    int i = 0;
    for (std::string line; i < 900 && std::getline(in, line); ++i) {
      cLcpUrl walk(line.c_str());
      walk.sGetNextLcp();
      const char* second = walk.sGetNextLcp();
      if (i % 3 == 0 && second != nullptr) s.AddLine(i % 2 ? "a" : "b", second);
    }
    return s;
  }();
  return store;
}

// Every answer the library and a matcher (one per thread) give for one URL,
// as one text.
std::string sAnswers(const std::string& url) {
  std::string out;
  auto add = [&out](const char* s) { out += std::string(s == nullptr ? "(null)" : s) + '|'; };
  thread_local urlkeys::match::Matcher matcher;
  urlkeys::match::Hit hit;
  matcher.Match(rSharedStore(), url.c_str(), &hit);
  out += std::string(hit.key) + std::to_string(hit.lists) + '|';
  cLcpUrl walk(url.c_str());
  for (char* c = walk.sGetNextLcp(); c != nullptr; c = walk.sGetNextLcp()) add(c);
  std::vector<char> text(url.c_str(), url.c_str() + url.size() + 1), dst(text.size()), arg(text);
  int count = 0;
  cLcpParse list(text.data(), 10, count);
  for (int k = 0; k <= count && count > 0; ++k)
    add((list.nGetLcp(text.data(), dst.data()), dst.data()));
  char scheme[ZU_SCHEME_SIZE], host[ZU_HOSTNAME_SIZE], port[ZU_PORT_STR_SIZE],
      quad[ZU_DOTTED_QUAD_SIZE], digest[ZU_MD5_HEX_SIZE], user[ZU_USER_SIZE],
      pass[ZU_PASSWORD_SIZE], path[ZU_PATH_SIZE], simple[ZU_SIMPLE_URL_SIZE];
  vZuParseUrl(arg.data(), scheme, host, port, user, pass, path);
  for (const char* s : {scheme, host, port, path}) add(s);
  out += std::to_string(bIsUrlIp(arg.data())) + std::to_string(bDottedQuadIp(arg.data(), quad));
  add(quad);
  cZuUrl rec(url.c_str());
  out += std::to_string(rec.bGetSimpleUrl(simple)) + simple + '|';
  add(rec.bGetAuthRev());
  out += std::string(bIsTLD(rec.hostname) ? "T" : "F") + (bCheckTLD(rec.hostname) ? "T" : "F");
  bool more = false;
  add(sLcpDomain(rec.hostname, '.', 1, &more));
  add(sLcpPath(rec.path, '/', &more));
  out += std::string(more ? "+" : "-") + (bParseDomain(rec.hostname, 0) ? "T" : "F");
  add(cFindUrl(url.c_str()).pGetUrl());
  vMd5FromUrl(url.c_str(), digest);
  return out + digest;
}

TEST(Threads, EightThreadsGiveTheSingleThreadAnswers) {
  rSharedStore();  // built before the threads start: they only read it
  std::vector<std::string> urls = {"http://0x7f.1/", "http://[::1]:8080/x", "mailto:word@b"};
  std::ifstream in(URLKEYS_TEST_DATA_DIR "/urls-top.txt");
  for (std::string line; urls.size() < 300 && std::getline(in, line);) urls.push_back(line);
  std::vector<std::vector<std::string>> answers(kThreads, std::vector<std::string>(urls.size()));
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  testing::internal::CaptureStdout();  // bParseDomain prints
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      for (size_t i = 0, n = urls.size(); i < n; ++i) {  // each thread starts elsewhere
        const size_t k = (i + static_cast<size_t>(t) * n / kThreads) % n;
        answers[t][k] = sAnswers(urls[k]);
      }
    });
  }
  go = true;
  for (std::thread& th : threads) th.join();
  std::vector<std::string> single(urls.size());
  for (size_t k = 0; k < urls.size(); ++k) single[k] = sAnswers(urls[k]);
  testing::internal::GetCapturedStdout();  // before any failure is printed
  for (int t = 0; t < kThreads; ++t)
    for (size_t k = 0; k < urls.size(); ++k)
      EXPECT_EQ(answers[t][k], single[k]) << "thread " << t << ", URL '" << urls[k] << "'";
}

}  // namespace
