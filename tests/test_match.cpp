// The matching module: the key store (list syntax, lists of a key, files,
// serialized form) and the matcher (first held candidate in walk order).
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "match/key_store.h"
#include "match/matcher.h"

namespace {

using urlkeys::match::Hit;
using urlkeys::match::KeyStore;
using urlkeys::match::Matcher;

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
  const struct {
    const char *list, *line;
  } lines[] = {
      {"ads", "  Ads.Example.COM/Banner/X  # host folded, path kept"},
      {"ads", "tracker.test\t\r"},
      {"ads", "tracker.test"},      // repeat within a list: one key
      {"malware", "TRACKER.test"},  // the same key in a second list
      {"malware", "# only a comment"},
      {"malware", " \t "},
      {"malware", "evil.test/a#b"},  // the comment starts inside the key
      {"", "mid\rcr.test"},          // a CR inside a line stays
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
      {"ads.example.com/Banner/X", 1},
      {"ads.example.com/banner/x", 0},
      {"Ads.Example.COM/Banner/X", 0},
      {"tracker.test", 3},
      {"evil.test/a", 2},
      {"mid\rcr.test", 4},
      {"tracker.tes", 0},
      {"", 0},
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
      {"blocks",
       std::string((1 << 20) - 3, '#') + "\nx.test\n" + std::string(3 << 20, 'y') + "\nz.test",
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

// Damaged serialized forms are fed to Deserialize by the key-store fuzz target.
TEST(KeyStore, SerializedFormRoundTrips) {
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
}

// Hex of bytes, for comparing binary text in a failure message.
std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) out.append({kDigits[c >> 4], kDigits[c & 15]});
  return out;
}

// The hash and the serialized bytes are the same on every host (a store
// serialized on one is read on another): fixed values pin the word order,
// the hash's short-key branches and the slot layout.
TEST(KeyStore, HashAndBytesAreFixed) {
  const struct {
    std::string key;
    uint64_t hash;
  } hashes[] = {
      {"", 0xd4e2e55f0a43f7b8u},
      {"a", 0x686c667c07d0ca92u},
      {"abc", 0x94040e80205292d8u},
      {"abcd", 0x6877f71477b5eb78u},
      {"abcdefg", 0x27f353acd974a99du},
      {"abcdefgh", 0x098d2976a8c4ca84u},
      {"abcdefghijklmnop", 0x3666f454d6667133u},
      {"abcdefghijklmnopq", 0x438b08eb53acda86u},
      {std::string(40, 'k') + "z", 0xdd4e12c6f9622f6cu},
  };
  for (const auto& h : hashes) EXPECT_EQ(KeyStore::KeyHash(h.key), h.hash) << h.key;
  KeyStore store;
  store.AddLine("ads", "a.test");
  store.AddLine("", std::string(130, 'k'));  // a two-byte length
  store.AddLine("mal", "A.test/P");
  store.AddLine("mal", "a.test");
  const std::string want =
      "554b4b5301000000000000000300000000000000030000000000000061647300000000000000000300000000"
      "0000006d616c0400000000000000010000000000000002000000000000000400000000000000050000000000"
      "0000030000000000000095000000000000000006612e746573748201" +
      Hex(std::string(130, 'k')) +
      "08612e746573742f501100000000000000210300010000000000000000000000000000000000000000010200"
      "8c00000000000000000000000000000000000000000000000000000000000000000000000000000000000000"
      "0000000000000000005801000800000000000000000000000000000000000000000000000000000000000000"
      "000000000000000000000000000000000000000000";
  EXPECT_EQ(Hex(store.Serialize()), want);
}

TEST(Matcher, FirstHeldCandidateInWalkOrder) {
  KeyStore store;
  for (const char* k :
       {"example.com", "example.com/a/b", "deep.test/1/2/3/4/5/6/7/8/9", "sub.x.test", "10.1.2.3"})
    store.AddLine("l", k);
  store.AddLine("m", "example.com");
  const struct {
    const char *url, *key;
    uint64_t lists;
  } rows[] = {
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

}  // namespace
