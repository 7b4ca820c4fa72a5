// Thread stress: eight threads at once run the LCP walks, the flat and
// record functions, the TLD and domain steps, the finder and the digest on
// the same URLs, starting with the first key tests of the process; every
// thread's answers must equal the single-thread ones.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "urlkeys/urlkeys.h"

namespace {

constexpr int kThreads = 8;

// Run first by every thread, so that the first uses of the key table race.
std::atomic<int> g_start_failures{0};
void vStartRows() {
  const struct { const char* name; int len; bool want; } keys[] = {
      {"com.au", 3, true}, {"hb", 2, false}, {"com.ai", 6, true}, {"parliament", 10, true}};
  for (const auto& row : keys) {
    std::string name(row.name);
    if (bIsTLD2(&name[0], row.len) != row.want) ++g_start_failures;
  }
}

// Every answer the library gives for one URL, as one text.
std::string sAnswers(const std::string& url) {
  std::string out;
  auto add = [&out](const char* s) { out += std::string(s == nullptr ? "(null)" : s) + '|'; };
  cLcpUrl walk(url.c_str());
  for (char* c = walk.sGetNextLcp(); c != nullptr; c = walk.sGetNextLcp()) add(c);
  std::vector<char> text(url.c_str(), url.c_str() + url.size() + 1), dst(text.size());
  int count = 0;
  cLcpParse list(text.data(), 10, count);
  for (int k = 0; k <= count && count > 0; ++k)
    add((list.nGetLcp(text.data(), dst.data()), dst.data()));
  std::vector<char> arg(url.c_str(), url.c_str() + url.size() + 1);
  char scheme[ZU_SCHEME_SIZE], host[ZU_HOSTNAME_SIZE], port[ZU_PORT_STR_SIZE], user[ZU_USER_SIZE],
      pass[ZU_PASSWORD_SIZE], path[ZU_PATH_SIZE], quad[16];
  vZuParseUrl(arg.data(), scheme, host, port, user, pass, path);
  for (const char* s : {scheme, host, port, path}) add(s);
  out += std::to_string(bIsUrlIp(arg.data())) + std::to_string(bDottedQuadIp(arg.data(), quad));
  add(quad);
  cZuUrl rec(url.c_str());
  std::vector<char> simple(ZU_SIMPLE_URL_SIZE);
  out += std::to_string(rec.bGetSimpleUrl(simple.data()));
  add(simple.data());
  add(rec.bGetAuthRev());
  out += std::string(bIsTLD(rec.hostname) ? "T" : "F") + (bCheckTLD(rec.hostname) ? "T" : "F");
  bool more = false;
  add(sLcpDomain(rec.hostname, '.', 1, &more));
  add(sLcpPath(rec.path, '/', &more));
  out += std::string(more ? "+" : "-") + (bParseDomain(rec.hostname, 0) ? "T" : "F");
  add(cFindUrl(url.c_str()).pGetUrl());
  char digest[33];
  vMd5FromUrl(url.c_str(), digest);
  add(digest);
  return out;
}

TEST(Threads, EightThreadsGiveTheSingleThreadAnswers) {
  std::vector<std::string> urls = {"http://0x7f.1/", "http://[::1]:8080/x",
                                   "caf%C3%A9+au+lait.example.com/a%2Fb", "mailto:word@b"};
  std::ifstream in(URLKEYS_TEST_DATA_DIR "/urls-top.txt");
  for (std::string line; urls.size() < 300 && std::getline(in, line);) urls.push_back(line);
  ASSERT_EQ(urls.size(), 300u) << "test data missing";
  std::vector<std::vector<std::string>> answers(kThreads, std::vector<std::string>(urls.size()));
  std::vector<std::string> single(urls.size());
  std::fflush(stdout);  // bParseDomain prints: send standard output to /dev/null meanwhile
  const int saved = dup(1), null_fd = open("/dev/null", O_WRONLY);
  if (null_fd >= 0) dup2(null_fd, 1);
  std::atomic<bool> go{false};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      while (!go.load()) std::this_thread::yield();
      vStartRows();
      for (size_t i = 0, n = urls.size(); i < n; ++i) {  // each thread starts elsewhere
        const size_t k = (i + static_cast<size_t>(t) * n / kThreads) % n;
        answers[t][k] = sAnswers(urls[k]);
      }
    });
  }
  go = true;
  for (std::thread& th : threads) th.join();
  for (size_t k = 0; k < urls.size(); ++k) single[k] = sAnswers(urls[k]);
  std::fflush(stdout);
  if (saved >= 0) dup2(saved, 1);
  for (int fd : {saved, null_fd}) if (fd >= 0) close(fd);
  EXPECT_EQ(g_start_failures.load(), 0) << "key test wrong while racing at start";
  for (int t = 0; t < kThreads; ++t)
    for (size_t k = 0; k < urls.size(); ++k)
      EXPECT_EQ(answers[t][k], single[k]) << "thread " << t << ", URL '" << urls[k] << "'";
}

}  // namespace
