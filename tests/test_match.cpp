// The matching module: the key store (list syntax, lists of a key, files,
// growth, serialized form) and the matcher (first held candidate in walk
// order), the latter checked against a plain set on the real URL list.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "match/host_forms.h"
#include "match/key_store.h"
#include "match/matcher.h"
#include "urlkeys/lcp.h"

namespace {

using urlkeys::match::CanonicalAddress;
using urlkeys::match::Hit;
using urlkeys::match::KeyStore;
using urlkeys::match::Matcher;
using urlkeys::match::WithoutTrailingDots;

// prefix, i, suffix (appended: GCC 12 warns wrongly on chains of operator+).
std::string Cat(const char* prefix, int i, const char* suffix = "") {
  std::string s(prefix);
  s.append(std::to_string(i)).append(suffix);
  return s;
}

std::string TempFile(const std::string& tag, const std::string& content) {
  std::string path = testing::TempDir() + "/urlkeys_match_" + std::to_string(getpid()) + "_" + tag;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

TEST(KeyStore, LineSyntaxAndLists) {
  KeyStore store;
  const struct { const char *list, *line; } lines[] = {
      {"ads", "  Ads.Example.COM/Banner/X  # host folded, path kept"},
      {"ads", "tracker.test\t\r"},
      {"ads", "tracker.test"},               // repeat within a list: one key
      {"malware", "TRACKER.test"},           // the same key in a second list
      {"malware", "# only a comment"},
      {"malware", " \t "},
      {"malware", "evil.test/a#b"},          // the comment starts inside the key
      {"", "mid\rcr.test"},                  // a CR inside a line stays
  };
  for (const auto& l : lines) ASSERT_TRUE(store.AddLine(l.list, l.line));
  EXPECT_EQ(store.ListCount(), 3);
  EXPECT_EQ(store.ListName(0), "ads");
  EXPECT_EQ(store.ListName(1), "malware");
  EXPECT_EQ(store.ListName(2), "");
  EXPECT_EQ(store.KeyCount(), 4u);
  const struct {
    const char* key;
    uint64_t lists;
  } finds[] = {
      {"ads.example.com/Banner/X", 1}, {"ads.example.com/banner/x", 0},
      {"Ads.Example.COM/Banner/X", 0}, {"tracker.test", 3},
      {"evil.test/a", 2},              {"mid\rcr.test", 4},
      {"tracker.tes", 0},              {"", 0},
  };
  for (const auto& f : finds) EXPECT_EQ(store.Find(f.key), f.lists) << f.key;
  std::string_view stored;
  ASSERT_EQ(store.Find(std::string("tracker.test"), &stored), 3u);
  EXPECT_EQ(stored, "tracker.test");
}

TEST(KeyStore, AtMost64Lists) {
  KeyStore store;
  for (int i = 0; i < KeyStore::kMaxLists; ++i)
    ASSERT_TRUE(store.AddLine(Cat("l", i), Cat("k", i, ".test")));
  EXPECT_FALSE(store.AddLine("one-more", "x.test"));
  EXPECT_TRUE(store.AddLine("l63", "k0.test"));
  EXPECT_EQ(store.Find("k0.test"), (uint64_t{1} << 63) | 1);
  std::string path = TempFile("65", "x.test\n"), error;
  EXPECT_FALSE(store.LoadFile("one-more", path.c_str(), &error));
  EXPECT_NE(error.find("more than 64 lists"), std::string::npos) << error;
  EXPECT_EQ(store.ListCount(), 64);
}

TEST(KeyStore, Files) {
  const struct {
    const char* name;
    std::string content;
    std::vector<std::string> keys;
  } files[] = {
      {"crlf", "a.test\r\nB.test/P\r\n\r\n", {"a.test", "b.test/P"}},
      {"no-final-newline", "a.test\nb.test", {"a.test", "b.test"}},
      {"empty", "", {}},
      {"only-comments", "# x\n\n   \n", {}},
      // A line that crosses the 1 MiB read block, and one longer than it.
      {"blocks", std::string((1 << 20) - 3, '#') + "\nx.test\n" + std::string(3 << 20, 'y') + "\nz.test",
       {"x.test", std::string(3 << 20, 'y'), "z.test"}},
  };
  for (const auto& f : files) {
    KeyStore store;
    std::string path = TempFile(f.name, f.content), error;
    ASSERT_TRUE(store.LoadFile("l", path.c_str(), &error)) << f.name << ": " << error;
    EXPECT_EQ(store.KeyCount(), f.keys.size()) << f.name;
    for (const std::string& k : f.keys) EXPECT_EQ(store.Find(k), 1u) << f.name;
  }
  KeyStore store;
  std::string error;
  EXPECT_FALSE(store.LoadFile("l", "/nonexistent/keys.txt", &error));
  EXPECT_EQ(error, "cannot read the key list '/nonexistent/keys.txt': No such file or directory");
  EXPECT_EQ(store.ListCount(), 0);  // unchanged
  EXPECT_FALSE(store.LoadFile("l", testing::TempDir().c_str(), &error));
  EXPECT_NE(error.find("Is a directory"), std::string::npos) << error;
  EXPECT_EQ(store.ListCount(), 0);
}

TEST(KeyStore, GrowsAndFindsEveryKey) {
  // Keys added line by line (the table grows) and from a file (sized once),
  // the second list overlapping half of the first.
  KeyStore store;
  std::string file;
  const int n = 60000;
  for (int i = 0; i < n; ++i) {
    ASSERT_TRUE(store.AddLine("a", Cat("host", i, ".test/p")));
    file += i % 2 == 0 ? Cat("HOST", i, ".test/p\n") : Cat("other", i, ".test\n");
  }
  std::string path = TempFile("many", file), error;
  ASSERT_TRUE(store.LoadFile("b", path.c_str(), &error)) << error;
  EXPECT_EQ(store.KeyCount(), static_cast<size_t>(n + n / 2));
  for (int i = 0; i < n; ++i) {
    ASSERT_EQ(store.Find(Cat("host", i, ".test/p")), i % 2 == 0 ? 3u : 1u) << i;
    ASSERT_EQ(store.Find(Cat("other", i, ".test")), i % 2 == 0 ? 0u : 2u) << i;
    ASSERT_EQ(store.Find(Cat("host", i, ".test/P")), 0u) << i;
  }
  EXPECT_GT(store.MemoryBytes(), store.KeyCount() * 12);
}

// A pipe has no size to plan by: the arena and the table grow as keys come.
TEST(KeyStore, LoadsFromAPipe) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string text;
  for (int i = 0; i < 20000; ++i) text += Cat("k", i, ".test\n");
  std::thread writer([&] {
    for (size_t at = 0; at < text.size();) {
      ssize_t n = write(fds[1], text.data() + at, text.size() - at);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
    close(fds[1]);
  });
  KeyStore store;
  std::string error, path = "/dev/fd/" + std::to_string(fds[0]);
  bool loaded = store.LoadFile("p", path.c_str(), &error);
  writer.join();
  close(fds[0]);
  ASSERT_TRUE(loaded) << error;
  EXPECT_EQ(store.KeyCount(), 20000u);
  for (int i = 0; i < 20000; i += 997) EXPECT_EQ(store.Find(Cat("k", i, ".test")), 1u) << i;
}

TEST(KeyStore, SerializedFormRoundTripsAndRejectsDamage) {
  KeyStore store;
  store.AddLine("ads", "a.test");
  store.AddLine("ads", std::string(300, 'k'));  // a two-byte length
  store.AddLine("malware", "a.test");
  store.AddLine("malware", "b.test/X");
  std::string bytes = store.Serialize();
  KeyStore copy;
  std::string error;
  ASSERT_TRUE(KeyStore::Deserialize(bytes, &copy, &error)) << error;
  EXPECT_EQ(copy.ListCount(), 2);
  EXPECT_EQ(copy.ListName(1), "malware");
  EXPECT_EQ(copy.KeyCount(), 3u);
  EXPECT_EQ(copy.Find("a.test"), 3u);
  EXPECT_EQ(copy.Find(std::string(300, 'k')), 1u);
  EXPECT_EQ(copy.Find("b.test/X"), 2u);
  EXPECT_EQ(copy.Find("c.test"), 0u);
  EXPECT_EQ(copy.Serialize(), bytes);
  // The restored store takes more keys like any other.
  ASSERT_TRUE(copy.AddLine("new", "a.test"));
  EXPECT_EQ(copy.Find("a.test"), 7u);
  KeyStore empty;
  ASSERT_TRUE(KeyStore::Deserialize(KeyStore().Serialize(), &empty, &error)) << error;
  EXPECT_EQ(empty.Find("a.test"), 0u);

  // Every cut and every single-byte change is refused or gives a store that
  // lookups stay inside (ASan watches); nothing changes *out on refusal.
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(KeyStore::Deserialize(bytes.substr(0, cut), &copy, &error)) << cut;
  for (size_t i = 0; i < bytes.size(); ++i) {
    for (int x : {0x01, 0x80, 0xFF}) {
      std::string bad = bytes;
      bad[i] = static_cast<char>(bad[i] ^ x);
      KeyStore damaged;
      if (KeyStore::Deserialize(bad, &damaged, &error)) {
        damaged.Find("a.test");
        damaged.Find("b.test/X");
        damaged.Find(std::string(300, 'k'));
      }
    }
  }
  EXPECT_EQ(copy.Find("a.test"), 7u);
}

TEST(KeyStore, MoveKeepsKeysAndStoredViews) {
  KeyStore store;
  store.AddLine("", "a.test");
  std::string_view stored;
  store.Find("a.test", &stored);
  KeyStore moved(std::move(store));
  std::string_view again;
  EXPECT_EQ(moved.Find("a.test", &again), 1u);
  EXPECT_EQ(again.data(), stored.data());
  EXPECT_EQ(store.Find("a.test"), 0u);  // NOLINT(bugprone-use-after-move): moved-from is empty
}

TEST(Matcher, FirstHeldCandidateInWalkOrder) {
  KeyStore store;
  for (const char* k : {"example.com", "example.com/a/b", "deep.test/1/2/3/4/5/6/7/8/9",
                        "sub.x.test", "10.1.2.3"})
    store.AddLine("l", k);
  store.AddLine("m", "example.com");
  const struct { const char *url, *key; uint64_t lists; } rows[] = {
      {"http://www.example.com/a/b/c?q", "example.com/a/b", 1},  // path prefix before host
      {"https://x.example.com/a/c", "example.com", 3},           // host suffix, two lists
      {"http://deep.test/1/2/3/4/5/6/7/8/9/10/11/12", "deep.test/1/2/3/4/5/6/7/8/9", 1},
      {"http://a.b.c.d.e.f.g.h.i.j.sub.x.test/", "sub.x.test", 1},  // past one batch
      {"http://10.1.2.3:8080/x", "10.1.2.3", 1},
      {"http://x.test/", nullptr, 0},
      {"", nullptr, 0},
      {nullptr, nullptr, 0},
  };
  Matcher matcher;
  for (const auto& r : rows) {
    Hit hit{"stale", 9};
    bool found = matcher.Match(store, r.url, &hit);
    EXPECT_EQ(found, r.key != nullptr) << (r.url ? r.url : "null");
    EXPECT_EQ(hit.key, r.key ? r.key : "") << (r.url ? r.url : "null");
    EXPECT_EQ(hit.lists, r.lists) << (r.url ? r.url : "null");
  }
}

// On the real URL list, with every third URL's second candidate as a key:
// the matcher's answer equals a plain walk over a plain set.
TEST(Matcher, AgreesWithPlainWalkOnRealUrls) {
  std::ifstream in(URLKEYS_TEST_DATA_DIR "/urls-top.txt");
  std::vector<std::string> urls;
  for (std::string line; std::getline(in, line);) urls.push_back(line);
  ASSERT_GT(urls.size(), 40000u);
  KeyStore store;
  std::unordered_set<std::string> keys;
  for (size_t i = 0; i < urls.size(); i += 3) {
    cLcpUrl lcp(urls[i].c_str());
    lcp.sGetNextLcp();
    const char* second = lcp.sGetNextLcp();
    // Text that list syntax would read differently is left out: comments,
    // blanks, and hosts with another stored form (trailing dots, addresses).
    std::string_view host = second ? std::string_view(second).substr(0, strcspn(second, "/")) : "";
    char quad[16];
    if (second && !strpbrk(second, "# \t\r") && host == WithoutTrailingDots(host) &&
        !(CanonicalAddress(host, quad) && host != quad)) {
      store.AddLine("", second);
      keys.insert(second);
    }
  }
  Matcher matcher;
  size_t hits = 0;
  for (const std::string& url : urls) {
    // The plain walk, then again with the host's other spellings.
    std::string expected;
    cLcpUrl lcp(url.c_str());
    std::string host = lcp.oUrl.hostname;
    std::string bare(WithoutTrailingDots(host));
    char quad[16];
    std::string spellings[] = {host, bare, CanonicalAddress(bare, quad) ? quad : bare};
    for (const std::string& spelling : spellings) {
      strcpy(lcp.oUrl.hostname, spelling.c_str());
      lcp.vReset();
      while (const char* c = lcp.sGetNextLcp()) {
        if (keys.count(c)) {
          expected = c;
          break;
        }
      }
      if (!expected.empty()) break;
    }
    Hit hit;
    matcher.Match(store, url.c_str(), &hit);
    ASSERT_EQ(std::string(hit.key), expected) << url;
    hits += !expected.empty();
  }
  EXPECT_GT(hits, urls.size() / 3);
}

}  // namespace
