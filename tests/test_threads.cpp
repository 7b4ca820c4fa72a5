// Thread stress: eight threads at once run the LCP walks, the flat and
// record functions, the TLD and domain steps, the finder and the digest on
// the same URLs, starting with the first key tests of the process; every
// thread's answers must equal the single-thread ones.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "urlkeys/urlkeys.h"

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 2;
constexpr size_t kUrls = 300;

// Key-test rows run first by every thread, so that the first uses of the
// key table in the process race with each other.
struct KeyRow {
  const char* name;
  int len;
  bool want;
};
const KeyRow kKeyRows[] = {
    {"com", 3, true},             // a one-label entry
    {"COM", 3, false},            // no case folding
    {"com.au", 3, true},          // only len bytes are read
    {"aa", 2, true},              // shares the key of "ae"
    {"hb", 2, false},             // one of the few refused letter pairs
    {"com.ai", 6, true},          // same key as com.sa
    {"xx.ca", 5, false},          // no entry shares its key
    {"parliament", 10, true},     // first 8 characters of parliament.nz
    {"parliament.nz", 13, false}, // over 10 characters
    {"xn--p1ai", 8, false},       // no xn-- rule in the key test
};

struct DomainRow {
  const char* domain;
  int n;
  const char* rest;  // null: no n-th dot
  bool more;
};
const DomainRow kDomainRows[] = {
    {"a.example.co.uk", 1, "example.co.uk", true},  // 13 characters: never a key-test TLD
    {"a.example.co.uk", 2, "co.uk", false},         // a TLD by the key test
    {"a.b.fr.ca", 2, "fr.ca", false},               // key twin of nb.ca
    {"a.b.xx.ca", 2, "xx.ca", true},                // not a TLD, holds a dot
    {"localhost", 1, nullptr, false},               // no dot at all
};

// Failures of the start-up rows, counted by every thread.
std::atomic<int> g_start_failures{0};

void vStartRows() {
  for (const KeyRow& row : kKeyRows) {
    std::string name(row.name);
    if (bIsTLD2(&name[0], row.len) != row.want) ++g_start_failures;
  }
  for (const DomainRow& row : kDomainRows) {
    bool more = !row.more;
    const char* rest = sLcpDomain(row.domain, '.', row.n, &more);
    const bool same = rest == nullptr ? row.rest == nullptr
                                      : row.rest != nullptr && std::strcmp(rest, row.rest) == 0;
    if (!same || more != row.more) ++g_start_failures;
  }
}

// Every answer the library gives for one URL, as one text.
std::string sAnswers(const std::string& url) {
  std::string out;
  auto add = [&out](const char* s) {
    out += s == nullptr ? "(null)" : s;
    out += '|';
  };

  cLcpUrl walk(url.c_str());
  for (char* c = walk.sGetNextLcp(); c != nullptr; c = walk.sGetNextLcp()) add(c);

  std::vector<char> text(url.begin(), url.end());
  text.push_back('\0');
  int count = 0;
  cLcpParse list(text.data(), 10, count);
  std::vector<char> dst(text.size() + 1);
  out += std::to_string(count) + '|';
  for (int k = 0; k <= count && count > 0; ++k) {
    list.nGetLcp(text.data(), dst.data());
    add(dst.data());
  }

  std::vector<char> arg(url.begin(), url.end());
  arg.push_back('\0');
  char scheme[ZU_SCHEME_SIZE], host[ZU_HOSTNAME_SIZE], port[ZU_PORT_STR_SIZE], user[ZU_USER_SIZE],
      pass[ZU_PASSWORD_SIZE], path[ZU_PATH_SIZE];
  vZuParseUrl(arg.data(), scheme, host, port, user, pass, path);
  add(scheme);
  add(host);
  add(port);
  add(path);
  char quad[16];
  out += std::to_string(bIsUrlIp(arg.data())) + std::to_string(bDottedQuadIp(arg.data(), quad));
  add(quad);

  cZuUrl rec(url.c_str());
  std::vector<char> simple(ZU_SIMPLE_URL_SIZE);
  out += std::to_string(rec.bGetSimpleUrl(simple.data()));
  add(simple.data());
  add(rec.bGetAuthRev());
  add(rec.strGetError());
  add(bIsTLD(rec.hostname) ? "tld" : "-");
  add(bCheckTLD(rec.hostname) ? "host-tld" : "-");

  bool more = false;
  add(sLcpDomain(rec.hostname, '.', 1, &more));
  out += more ? '+' : '-';
  add(sLcpPath(rec.path, '/', &more));
  out += more ? '+' : '-';
  out += bParseDomain(rec.hostname, 0) ? 'T' : 'F';

  cFindUrl direct(url.c_str());
  add(direct.pGetUrl());
  const std::string wrapped = "http://cache.example.net/search?q=cache:k:" + std::string(host) + "/";
  cFindUrl cached(wrapped.c_str());
  add(cached.pGetUrl());

  char digest[33];
  vMd5FromUrl(url.c_str(), digest);
  add(digest);
  return out;
}

std::vector<std::string> vUrls() {
  std::vector<std::string> urls = {
      "http://a.b.example.co.uk/x/y/z.html?q=1", "http://0x7f.1/", "http://1.2.3.4.5/x",
      "http://[::1]:8080/x", "http://www.example.com./", "caf%C3%A9+au+lait.example.com/a%2Fb",
      "http://web.archive.org/web/2005/http://www.example.com/dir/", "mailto:word@b"};
  std::ifstream in(URLKEYS_TEST_DATA_DIR "/urls-top.txt");
  std::string line;
  while (urls.size() < kUrls && std::getline(in, line)) urls.push_back(line);
  return urls;
}

// Sends standard output to /dev/null while alive (bParseDomain prints).
class cQuietStdout {
 public:
  cQuietStdout() {
    std::fflush(stdout);
    saved_ = dup(1);
    const int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0) {
      dup2(null_fd, 1);
      close(null_fd);
    }
  }
  ~cQuietStdout() {
    std::fflush(stdout);
    if (saved_ >= 0) {
      dup2(saved_, 1);
      close(saved_);
    }
  }

 private:
  int saved_;
};

TEST(Threads, EightThreadsGiveTheSingleThreadAnswers) {
  const std::vector<std::string> urls = vUrls();
  ASSERT_GE(urls.size(), 100u) << "test data missing";
  std::vector<std::vector<std::string>> answers(kThreads,
                                                std::vector<std::string>(urls.size()));
  std::vector<int> unstable(kThreads, 0);
  std::vector<std::string> single(urls.size());
  {
    cQuietStdout quiet;
    std::atomic<int> ready{0};
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        ++ready;
        while (!go.load()) std::this_thread::yield();
        vStartRows();
        // Each thread starts at a different URL, so that different calls
        // overlap; later rounds must repeat the first one.
        const size_t n = urls.size();
        for (int round = 0; round < kRounds; ++round) {
          for (size_t i = 0; i < n; ++i) {
            const size_t k = (i + static_cast<size_t>(t) * n / kThreads) % n;
            std::string a = sAnswers(urls[k]);
            if (round == 0) {
              answers[t][k] = std::move(a);
            } else if (a != answers[t][k]) {
              ++unstable[t];
            }
          }
        }
      });
    }
    while (ready.load() < kThreads) std::this_thread::yield();
    go = true;
    for (std::thread& th : threads) th.join();
    for (size_t k = 0; k < urls.size(); ++k) single[k] = sAnswers(urls[k]);
  }

  EXPECT_EQ(g_start_failures.load(), 0) << "key test or sLcpDomain wrong while racing at start";
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(unstable[t], 0) << "thread " << t << " changed its answers between rounds";
    for (size_t k = 0; k < urls.size(); ++k) {
      EXPECT_EQ(answers[t][k], single[k]) << "thread " << t << ", URL '" << urls[k] << "'";
    }
  }
}

}  // namespace
