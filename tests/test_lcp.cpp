// Tests of the LCP candidates: the iterator cLcpUrl and the element list
// cLcpParse, through the exported interface.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "urlkeys/lcp.h"
#include "urlkeys/unescape.h"

namespace {

// A writable copy in a heap block of exactly strlen + 1 bytes, so that the
// address sanitizer catches any access past its NUL.
struct ExactText {
  explicit ExactText(const std::string& s) : size(s.size() + 1), buf(new char[size]) {
    std::memcpy(buf.get(), s.c_str(), size);
  }
  char* get() { return buf.get(); }
  size_t size;
  std::unique_ptr<char[]> buf;
};

// ---------------------------------------------------------------- cLcpUrl

// Runs `ops` on a cLcpUrl of `url` and renders what each gives: 'w' walks to
// the end (bounded by strlen + 4 calls), 'n' takes one step, 'r' is vReset,
// 's' vSetMemberUrl, 'a' sGetAuth, 'b' sGetBasicUrl.
std::string RunUrl(const char* url, const char* ops) {
  ExactText text(url != nullptr ? url : "");
  cLcpUrl lcp(url != nullptr ? text.get() : nullptr);
  std::string out;
  for (const char* op = ops; *op != '\0'; ++op) {
    const char* c = nullptr;
    switch (*op) {
      case 'w': {
        const size_t bound = std::strlen(lcp.sGetBasicUrl()) + 4;
        for (size_t i = 0; i < bound && (c = lcp.sGetNextLcp()) != nullptr; ++i)
          out += "'" + std::string(c) + "' ";
        out += c == nullptr ? "END " : "... ";
        break;
      }
      case 'n':
        c = lcp.sGetNextLcp();
        out += c == nullptr ? "END " : "'" + std::string(c) + "' ";
        break;
      case 'r':
        lcp.vReset();
        break;
      case 's':
        lcp.vSetMemberUrl();
        break;
      case 'a':
        out += "a:" + std::string(lcp.sGetAuth()) + " ";
        break;
      case 'b':
        out += "b:" + std::string(lcp.sGetBasicUrl()) + " ";
        break;
    }
  }
  if (!out.empty()) out.pop_back();
  return out;
}

struct UrlRow {
  const char* url;
  const char* ops;
  const char* result;
};

const UrlRow kUrlRows[] = {
    {"http://a.b.example.co.uk/x/y/z.html?q=1", "w",
     "'a.b.example.co.uk/x/y/z.html' 'a.b.example.co.uk/x/y' 'a.b.example.co.uk/x' "
     "'a.b.example.co.uk' 'b.example.co.uk' 'example.co.uk' END"},  // path, then labels
    {"http://www.example.com/", "abw", "a:example.com b:example.com 'example.com' END"},  // www.
    {"HTTP://WWW.Example.COM/Path", "w",
     "'example.com/Path' 'example.com' END"},  // host folded only
    {"http://example.com/a/b/", "w",
     "'example.com/a/b/' 'example.com/a/b' 'example.com/a' 'example.com' END"},  // '/' alone
    {"http://10.1.2.3/a/b", "w",
     "'10.1.2.3/a/b' '10.1.2.3/a' '10.1.2.3' END"},  // numeric host whole
    {"http://0x7f.1./", "w", "'0x7f.1.' END"},       // hex, trailing dot
    {"http://1.2.example.com/", "w",
     "'1.2.example.com' '2.example.com' 'example.com' END"},               // not numeric
    {"http://intranet.corp/", "w", "'intranet.corp' 'corp' END"},          // no '.' left ends it
    {"http://co.uk/x", "w", "'co.uk/x' END"},                              // bare host is a TLD
    {"http://www.com", "w", "'com' END"},                                  // first never tested
    {"http://a.xn--b.example/", "wn", "'a.xn--b.example' END 'example'"},  // xn--; end not kept
    {"example.org/p", "w", "'example.org/p' 'example.org' END"},           // no scheme
    {"http://example.com./", "wrn", "'example.com.' 'com.' '' END 'example.com.'"},  // empty, reset
    {"http://u:p@Example.com:8080/a?q#f", "w",
     "'example.com/a' 'example.com' END"},                           // parts dropped
    {"http://h//a//", "w", "'h//a//' 'h//a/' 'h//a' 'h/' 'h' END"},  // empty segments
    {"http:///x", "w", "'/x' '' END"},                               // no host
    {"http://www./x", "w", "'/x' '' END"},                           // host is only "www."
    {"", "w", "'' END"},                                             // empty text
    {nullptr, "w", "'' END"},                                        // null read as empty
    {"http://www.example.com/a/b", "nnbnnba",
     "'example.com/a/b' 'example.com/a' b:example.com/a 'example.com' END b:example.com "
     "a:example.com"},  // cut path shows, dropped labels do not
    {"http://example.com/a/b/c", "nnnsn",
     "'example.com/a/b/c' 'example.com/a/b' 'example.com/a' 'example.com/a/b'"},  // rebuilt
                                                                                  // mid-walk
};

TEST(LcpUrl, Runs) {
  for (const UrlRow& row : kUrlRows)
    EXPECT_EQ(RunUrl(row.url, row.ops), row.result)
        << "url: '" << (row.url ? row.url : "(null)") << "'";
}

// Where the list test ends a walk: on a path step, on a label step, and on
// texts whose first comma lies on either side of the 13 characters of the
// longest entry (runs of consecutive entries count as TLDs).
const UrlRow kListEndRows[] = {
    {"http://xn--abc.com/x/y", "w", "'xn--abc.com/x/y' END"},  // "xn--" ends a path step
    {"http://a.com,org/x", "w", "'a.com,org/x' 'a.com,org' END"},  // run 'com,org'
    {"http://q.com,org,net/", "w", "'q.com,org,net' END"},         // first never tested
    {"http://x.gov.ma,xxx", "w", "'x.gov.ma,xxx' END"},            // the last two entries
    {"http://x.parliament.nz,school.nz/a", "w",
     "'x.parliament.nz,school.nz/a' 'x.parliament.nz,school.nz' END"},  // comma after 13
    {"http://x.parliament.nz,xxx/", "w",
     "'x.parliament.nz,xxx' 'parliament.nz,xxx' 'nz,xxx' END"},  // not neighbours
    {"http://b.abcdefghijklmn,com/", "w",
     "'b.abcdefghijklmn,com' 'abcdefghijklmn,com' END"},  // comma after 14: no entry
    {"http://x.konyvelo.hu/", "w", "'x.konyvelo.hu' END"},  // entry of 11 characters
    {"http://a.b.xn--/", "w", "'a.b.xn--' 'b.xn--' END"},   // bare "xn--"
    {"http://9x.com/a", "w", "'9x.com/a' '9x.com' END"},    // digit first, not numeric
    {"http://a.www.com/", "w", "'a.www.com' 'www.com' END"},  // inner "www." is a label
    {"http://www.example.com/a/", "wrnnsnn",
     "'example.com/a/' 'example.com/a' 'example.com' END 'example.com/a/' 'example.com/a' "
     "'example.com/a' 'example.com'"},  // reset and rebuild keep the known end right
};

TEST(LcpUrl, ListTestEnds) {
  for (const UrlRow& row : kListEndRows)
    EXPECT_EQ(RunUrl(row.url, row.ops), row.result) << "url: '" << row.url << "'";
}

TEST(LcpUrl, LongPathAndOverLongFields) {
  std::string url = "http://example.com";
  for (int i = 0; i < 1000; ++i) url += "/s";
  cLcpUrl lcp(url.c_str());
  for (std::string expect = url.substr(7); expect.size() >= 11; expect.resize(expect.size() - 2))
    ASSERT_EQ(lcp.sGetNextLcp(), expect);  // one segment per step, down to the host
  EXPECT_EQ(lcp.sGetNextLcp(), nullptr);

  // Fields written by the caller can exceed what a parse produces: cut.
  std::memset(lcp.oUrl.hostname, 'h', ZU_HOSTNAME_SIZE - 1);
  lcp.oUrl.hostname[ZU_HOSTNAME_SIZE - 1] = '\0';
  std::memset(lcp.oUrl.path, 'p', ZU_PATH_SIZE - 1);
  lcp.oUrl.path[ZU_PATH_SIZE - 1] = '\0';
  lcp.vReset();
  EXPECT_EQ(lcp.sGetNextLcp(), std::string(1023, 'h') + "/" + std::string(4095 - 1024, 'p'));
  EXPECT_EQ(lcp.sGetNextLcp(), std::string(1023, 'h'));
}

// -------------------------------------------------------------- cLcpParse

// Constructs on an exact copy of `text` and renders the walk as
// "count: a | b -> tld" (after count 0 the one call must give an empty
// text); appends " !extra" when a call after the end does not give an empty
// text and 0, and " !reset" when vReset does not repeat the walk.
struct ParseResult {
  std::string walk, auth, tld1, text;
};
ParseResult RunParse(const std::string& text, int limit, bool src_at_start) {
  ExactText in(text);
  int count = -1;
  cLcpParse lcp(in.get(), limit, count);
  std::vector<char> dst(in.size);
  ParseResult r;
  lcp.GetAuth(nullptr, dst.data());
  r.auth = dst.data();
  lcp.GetTld1(nullptr, dst.data());
  r.tld1 = dst.data();
  const char* src =
      src_at_start || r.auth.empty() ? in.get() : std::strstr(in.get(), r.auth.c_str());
  std::string walks[2];
  for (std::string& walk : walks) {
    walk = std::to_string(count) + ":";
    for (int i = 0; i <= count + 1; ++i) {
      std::memset(dst.data(), '#', dst.size());
      if (lcp.nGetLcp(src, dst.data()) == 0) {
        if (count > 0 || dst[0] != '\0') walk += std::string(" -> ") + dst.data();
        break;
      }
      walk += (i == 0 ? " " : " | ") + std::string(dst.data());
    }
    std::memset(dst.data(), '#', dst.size());
    if (lcp.nGetLcp(src, dst.data()) != 0 || dst[0] != '\0') walk += " !extra";
    lcp.vReset();
  }
  r.walk = walks[0] + (walks[1] == walks[0] ? "" : " !reset");
  r.text = in.get();
  return r;
}

struct ParseRow {
  const char* text;
  int limit;
  bool src_at_start;  // else src is the host's first character
  const char* walk;
  const char* auth;
  const char* tld1;
};

const ParseRow kParseRows[] = {
    {"a.b.example.co.uk/x/y/z.html", 10, false,
     "6: a.b.example.co.uk/x/y/z.html | a.b.example.co.uk/x/y | a.b.example.co.uk/x | "
     "a.b.example.co.uk | b.example.co.uk | example.co.uk -> co.uk",
     "a.b.example.co.uk", "example.co.uk"},  // two-label TLD, path
    {"a.b.example.co.uk/x/y/z.html", 4, false,
     "4: a.b.example.co.uk/x | a.b.example.co.uk | b.example.co.uk | example.co.uk -> co.uk",
     "a.b.example.co.uk", "example.co.uk"},  // limit drops the most specific
    {"a.b.example.co.uk/x/y/z.html", 1, false, "1: co.uk -> uk", "uk",
     "co.uk"},                                                   // stops before 2nd test
    {"a.b.example.co.uk/x/y/z.html", 0, false, "0:", "uk", ""},  // limit 0: one element stored
    {"a.b.example.co.uk/x", -3, false, "0:", "uk", ""},          // negative limit
    {"http://www.example.com/a/b/", 10, true,
     "3: http://www.example.com/a/b | http://www.example.com/a | example.com -> com", "example.com",
     "example.com"},  // src keeps what precedes the host
    {"http://www.example.com/a/b/", 10, false,
     "3: example.com/a/b | example.com/a | example.com -> com", "example.com",
     "example.com"},                                           // src at the host
    {"co.uk", 10, false, "1: co.uk -> uk", "co.uk", "co.uk"},  // whole host never tested
    {"intranet.corp/x", 10, false, "0:", "corp", ""},          // no TLD
    {"example.com//", 10, false, "2: example.com | example.com -> com", "example.com",
     "example.com"},                                          // empty path after the host's '/'
    {"localhost/a.b", 10, false, "0:", "", ""},               // the host has no '.'
    {"Example.COM", 10, false, "0:", "COM", ""},              // no case folding
    {"example.com:8080/x", 10, false, "0:", "com:8080", ""},  // port stays in the label
    {"a.com%252Fx", 10, false, "2: a.com/x | a.com -> com", "a.com", "a.com"},  // decoded twice
    {"a.com/x+y", 10, false, "2: a.com/x+y | a.com -> com", "a.com",
     "a.com"},  // '+' kept without '%'
    {"WWW.example.com", 10, false, "2: WWW.example.com | example.com -> com", "WWW.example.com",
     "example.com"},                                                   // "www." is case-sensitive
    {"x.abcdefghijk://a.com/p", 10, false, "0:", "abcdefghijk:", ""},  // '.' before "://": no skip
    {"//example.com/x", 10, false, "0:", "", ""},  // no ':' before "//": empty host
    {".com", 10, false, "0:", "", ""},             // first character never examined
    {"a.com/b/c/d/e", 3, false, "3: a.com/b/c | a.com/b | a.com -> com", "a.com",
     "a.com"},  // path limit
    {"l1.l2.l3.l4.abcdefghijk", 3, false,
     "3: l2.l3.l4.abcdefghijk | l3.l4.abcdefghijk | l4.abcdefghijk -> abcdefghijk", "abcdefghijk",
     "l4.abcdefghijk"},  // limit in the host scan, no TLD needed
    {"z.p.d.aj", 10, false, "3: z.p.d.aj | p.d.aj | d.aj -> aj", "z.p.d.aj",
     "d.aj"},  // third suffix never tested (the key test would take 'p.d.aj')
    {"a.b.abcdefghijk", 2, false, "0:", "abcdefghijk",
     "b.abcdefghijk"},  // no TLD, limit not reached
};

TEST(LcpParse, Walks) {
  for (const ParseRow& row : kParseRows) {
    const ParseResult r = RunParse(row.text, row.limit, row.src_at_start);
    const std::string what =
        std::string("text '") + row.text + "' limit " + std::to_string(row.limit);
    EXPECT_EQ(r.walk, row.walk) << what;
    EXPECT_EQ(r.auth, row.auth) << "GetAuth, " << what;
    EXPECT_EQ(r.tld1, row.tld1) << "GetTld1, " << what;
  }
}

// Rows around the host's '/' (the text's first '/' or one after "://",
// the trailing one cut off) with path candidates copied from the start.
const ParseRow kHostSlashRows[] = {
    {"http://a.com/", 10, true, "1: a.com -> com", "a.com", "a.com"},  // cut '/' ends the host
    {"a.com/", 10, true, "1: a.com -> com", "a.com", "a.com"},  // first '/' is the cut one
    {"http://www.a.com/x/", 10, true, "2: http://www.a.com/x | a.com -> com", "a.com", "a.com"},
    {"www.a.com//x", 10, true, "3: www.a.com//x | www.a.com/ | a.com -> com", "a.com",
     "a.com"},  // first '/' after the "www." skip
    {"ftp://a.b.co.uk/p/q", 10, true,
     "4: ftp://a.b.co.uk/p/q | ftp://a.b.co.uk/p | a.b.co.uk | b.co.uk -> co.uk", "a.b.co.uk",
     "b.co.uk"},  // '/' searched after "://"
    {"http://x.y/a.com/b", 10, true, "3: http://x.y/a.com/b | http://x.y/a.com | x.y -> y", "x.y",
     "x.y"},  // a '.' in the path does not move the host
    {"http:/a.com/x", 10, true, "0:", "", ""},  // one '/' only: no scheme skip
};

TEST(LcpParse, HostSlash) {
  for (const ParseRow& row : kHostSlashRows) {
    const ParseResult r = RunParse(row.text, row.limit, row.src_at_start);
    EXPECT_EQ(r.walk, row.walk) << row.text;
    EXPECT_EQ(r.auth, row.auth) << "GetAuth, " << row.text;
    EXPECT_EQ(r.tld1, row.tld1) << "GetTld1, " << row.text;
  }
}

// Candidate copies of every length from 5 to 103 characters, each into a
// block of exactly its size plus the NUL, so that the address sanitizer
// sees any byte written past it.
TEST(LcpParse, CopiesOfEveryLength) {
  const auto spell = [](size_t n, char from) {  // no byte repeats nearby
    std::string s;
    for (size_t i = 0; i < n; ++i) s += static_cast<char>(from + i % 23);
    return s;
  };
  for (size_t n = 1; n <= 65; ++n) {
    const std::string host = spell(n / 2, 'a') + "a.com";
    const std::string text = host + "/" + spell(n, 'A');
    ExactText in(text);
    int count = 0;
    cLcpParse lcp(in.get(), 10, count);
    ASSERT_EQ(count, 2) << text;
    const std::string want[] = {text, host, "com"};
    for (const std::string& w : want) {
      ExactText dst(std::string(w.size(), '#'));
      EXPECT_EQ(lcp.nGetLcp(in.get(), dst.get()), w == "com" ? 0 : 1) << text;
      EXPECT_EQ(std::string(dst.get()), w) << "n " << n;
    }
  }
}

struct TextRow {
  std::string text;
  int limit;
  std::string walk_start;  // how the walk begins
  std::string after;       // the caller's text after construction; "=" for unchanged
};

TEST(LcpParse, BoundariesAndRewrites) {
  std::string path30 = "a.example.co.uk", first20 = "20: a.example.co.uk";
  for (int i = 1; i <= 30; ++i) path30 += "/s" + std::to_string(i);
  for (int i = 1; i <= 18; ++i) first20 += "/s" + std::to_string(i);
  std::string host42;
  for (int i = 0; i < 40; ++i) host42 += "l" + std::to_string(i) + ".";
  host42 += "co.uk";
  const std::string long_ok = "a.com/%41" + std::string(4095 - 9, 'x');
  const TextRow rows[] = {
      {"x." + std::string(251, 'b') + ".com", 10, "2:", "="},   // last two labels 255: tested
      {"x." + std::string(252, 'b') + ".com", 10, "0:", "="},   // 256: refused
      {std::string(300, 'a') + ".example.com", 10, "2:", "="},  // long first label is fine
      {path30, 100, first20 + " | ", "="},                      // 22 elements stored, 20 kept
      {path30, 19, "19:", "="},                                 // limit just below the cap
      {host42, 1000, "20: " + host42.substr(host42.find("l20.")) + " |", "="},  // cap in the host
      {long_ok, 10, "2: a.com/A", "a.com/A" + long_ok.substr(9)},               // 4095 characters
      {long_ok + "x", 10, "0:", "="},  // 4096: refused, untouched
      {"http://www.example.com/a/b/", 10, "3:", "http://www.example.com/a/b"},  // one '/' removed
      {"example.com//", 10, "2:", "example.com/"},                              // only one
      {"localhost/", 10, "0:", "="},                         // no '.': left alone
      {"a%2Ecom%252F", 10, "1: a.com", "a.com"},             // '.' and '/' only after decoding
      {"%2541.com/%25252541", 10, "2: A.com/A", "A.com/A"},  // nested escapes
      {"a.com/%C3%A9%25", 10, "1: a.com", "a.com"},          // E9 re-folded away, end '%' cut
      {"a.com/x%00y/", 10, "2: a.com/x", "a.com/x"},         // decoded NUL ends the text
  };
  for (const TextRow& row : rows) {
    const ParseResult r = RunParse(row.text, row.limit, false);
    EXPECT_EQ(r.walk.substr(0, row.walk_start.size()), row.walk_start) << row.text.substr(0, 60);
    EXPECT_EQ(r.text, row.after == "=" ? row.text : row.after) << row.text.substr(0, 60);
  }
  int count = -1;
  cLcpParse none(nullptr, 10, count);
  EXPECT_EQ(count, 0);
}

struct BoundedRow {
  int size;
  const char* path;  // first candidate, "a.com/xyz", as the bounded copy gives it
  const char* auth;
};

const BoundedRow kBoundedRows[] = {
    {0, "#", "#"},               // nothing written
    {1, "", ""},                 // room for the NUL only
    {6, "a.com", "a.com"},       // cut
    {10, "a.com/xyz", "a.com"},  // exact fit
};

TEST(LcpParse, BoundedCopiesStayInside) {
  for (const BoundedRow& row : kBoundedRows) {
    ExactText in("a.com/xyz");
    int count = 0;
    cLcpParse lcp(in.get(), 10, count);
    std::vector<char> dst(row.size + 8, '#');
    dst.back() = '\0';
    EXPECT_EQ(lcp.nGetLcp(in.get(), dst.data(), row.size), 1);  // the walk moves on regardless
    EXPECT_EQ(std::string(dst.data(), strnlen(dst.data(), std::max(row.size, 1))), row.path)
        << row.size;
    lcp.GetAuth(nullptr, dst.data(), row.size);
    EXPECT_EQ(std::string(dst.data(), strnlen(dst.data(), std::max(row.size, 1))), row.auth)
        << row.size;
    EXPECT_EQ(std::string(dst.data() + row.size + 1, 6), "######") << row.size;
  }
}

struct PrintRow {
  const char* text;
  int limit;
  int size;  // room given to PrintAll, 0 for the unbounded form
  const char* printed;
};

const PrintRow
    kPrintRows[] =
        {
            {"a.b.example.co.uk/x/y/z.html", 10, 0,
             "LCP found 8 elements : 5 sub 3 path \n6: a.b.example.co.uk/x/y/z.html \n"
             "5: a.b.example.co.uk/x/y \n4: a.b.example.co.uk/x \n3: a.b.example.co.uk \n"
             "2: b.example.co.uk \n1: example.co.uk \n0: co.uk  (TLD) \n-1: uk \n"},  // the whole
                                                                                      // list
            {"a.b.example.co.uk/x/y/z.html", 4, 0,
             "LCP found 6 elements : 5 sub 1 path \n4: a.b.example.co.uk/x/  (LCP LIMIT) \n"
             "3: a.b.example.co.uk \n2: b.example.co.uk \n1: example.co.uk \n0: co.uk  (TLD) \n"
             "-1: uk \n"},  // limit mark; the path line keeps its '/'
            {"example.com", 1, 0,
             "LCP found 2 elements : 2 sub 0 path \n1: example.com  (LCP LIMIT) \n0: com  (TLD) "
             "\n"},                                                              // both marks
            {"localhost/a.b", 10, 0, "LCP found 0 elements : 0 sub 0 path \n"},  // nothing stored
            {"a.b.com/x/y", 10, 6,
             "LCP found 5 elements : 3 sub 2 path \n4: a.b.c \n3: a.b.c \n2: a.b.c \n1: b.com \n"
             "0: com  (TLD) \n"},  // every line cut to the room given
};

TEST(LcpParse, PrintAll) {
  for (const PrintRow& row : kPrintRows) {
    ExactText in(row.text);
    int count = 0;
    cLcpParse lcp(in.get(), row.limit, count);
    std::vector<char> dst(row.size > 0 ? row.size : in.size);
    testing::internal::CaptureStdout();
    EXPECT_EQ(row.size > 0 ? lcp.PrintAll(in.get(), dst.data(), row.size)
                           : lcp.PrintAll(in.get(), dst.data()),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), row.printed) << row.text;
  }
}

// ------------------------------------------------- repeated percent-decoding

// What the constructor must leave of `text`: whole-text passes while a '%'
// remains, then one trailing '/' removed when the text has a '.'.
std::string Expected(const std::string& text) {
  std::vector<char> buf(text.begin(), text.end());
  buf.push_back('\0');
  while (std::strchr(buf.data(), '%') != nullptr) zuUrlUnescape(buf.data());
  std::string d = buf.data();
  if (!d.empty() && d.back() == '/' && d.find('.') != std::string::npos) d.pop_back();
  return d;
}

std::string After(const std::string& text) {
  ExactText in(text);
  int count = 0;
  cLcpParse lcp(in.get(), 10, count);
  return in.get();
}

TEST(LcpParse, DecodingMatchesWholeTextPasses) {
  // Pieces that nest, fold, end early and interact across clean runs.
  static const char* const kPieces[] = {
      "%25",  "%2",   "25",   "5",         "41",  "%",     "%%", "+", "00",  "80",  "%C3", "%A9",
      "\xC3", "\xA9", "\x80", "%E2%82%AC", "xyz", "a.com", "/",  ".", "%2F", "%2E", "%00", "%80",
      "zz",   "4",    "%2B",  "%252",      "C4",  "%C4",   "8",  "0", "%g0", "%w",  "%p0", "%P8"};
  std::mt19937 rng(20240611);
  for (int i = 0; i < 20000; ++i) {
    std::string text;
    for (int j = 1 + static_cast<int>(rng() % 12); j > 0; --j)
      text += kPieces[rng() % std::size(kPieces)];
    if (rng() % 4 == 0) text.insert(rng() % (text.size() + 1), std::string(rng() % 40, 'q'));
    ASSERT_EQ(After(text), Expected(text)) << "text: '" << text << "'";
  }
  const auto chain = [](size_t depth, const char* end) {
    std::string s = "%";
    for (size_t i = 0; i < depth; ++i) s += "25";
    return s + end;
  };
  const std::string long_rows[] = {
      "a.com/" + chain(2040, "41"),                                   // one chain, 4089 chars
      chain(1000, "41") + std::string(1000, 'x') + chain(500, "2F"),  // chains at both ends
      "a.com/" + chain(700, "80") + "%C3" + std::string(1000, 'y') +
          chain(700, "A9"),                             // UTF-8 halves
      chain(1500, "00") + "a.com" + chain(500, "41"),   // ends in a NUL escape
      std::string(3000, 'p') + chain(540, "41") + "%",  // '%' at the very end
  };
  for (const std::string& text : long_rows)
    EXPECT_EQ(After(text), Expected(text)) << text.substr(0, 40);
}

}  // namespace
