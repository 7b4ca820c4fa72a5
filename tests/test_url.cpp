// Tests of the url record: setters and their caps, the scheme port table,
// the error flags and messages, emptying, and the diagnostic dump.
#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <memory>

#include "url_render.h"
#include "urlkeys/url.h"

using namespace urlkeys::test;

namespace {

enum Field { kHost, kPath };

// Calls the length-taking setter of `f` and returns the field it fills.
const char* Set(cZuUrl& u, Field f, const char* src, int len) {
  return f == kHost ? (u.bSetHostname(src, len), u.hostname) : (u.bSetPath(src, len), u.path);
}

TEST(UrlRecord, SettersFollowTheirExtraRules) {
  const struct {
    Field f;
    const char* src;
    int len;
    const char* want;
  } rows[] = {
      {kHost, "Mail.\xC4 b  ", 10, "mail.\\xc4 b"},  // only A-Z fold; only trailing spaces go
      {kHost, "a b ", 10, "a b "},                   // source ended early: no trim
      {kHost, "   ", 3, ""},                         // the trim stops at the field's start
      {kHost, "ab", -5, ""},                         // negative length copies nothing
      {kHost, nullptr, 4, ""},                       // null source is empty text
      {kPath, "/a/b?x=1", 4, "a/b"},                 // reads the '?' just past the span, drops it
      {kPath, "\\dir\\f", 6, "dir\\x5cf"},           // only the first backslash is skipped
      {kPath, "x?", 9, "x?"},                        // ended early: the '?' stays
  };
  for (const auto& row : rows) {
    std::unique_ptr<cZuUrl> u(new cZuUrl());
    u->init();
    const char* got = Set(*u, row.f, row.src ? Exact(row.src).data() : nullptr, row.len);
    EXPECT_EQ(Escaped(got, strlen(got)), row.want)
        << (row.src ? row.src : "null") << ", " << row.len;
  }
}

// Spans of capacity-1 to capacity+1 characters keep capacity-1; each span
// sits unterminated in exactly its own bytes, so a read past it shows under ASan.
TEST(UrlRecord, SettersCutAtTheFieldCapacity) {
  const struct {
    Field f;
    size_t size;
  } rows[] = {{kHost, ZU_HOSTNAME_SIZE}, {kPath, ZU_PATH_SIZE}};
  for (const auto& row : rows) {
    for (size_t n = row.size - 1; n <= row.size + 1; ++n) {
      std::unique_ptr<cZuUrl> u(new cZuUrl());
      u->init();
      std::unique_ptr<char[]> src(new char[n]);
      memset(src.get(), 'a', n);
      EXPECT_EQ(strnlen(Set(*u, row.f, src.get(), static_cast<int>(n)), row.size), row.size - 1)
          << n;
    }
  }
}

TEST(UrlRecord, SchemePorts) {
  cZuUrl u("http://h/");
  const struct {
    const char* scheme;
    int port;
  } schemes[] = {{"http", 80},
                 {"ftp", 21},
                 {"https", 443},
                 {"gopher", 70},
                 {"ldap", 389},
                 {"nntp", 119},
                 {"snews", 563},
                 {"imap", 143},
                 {"pop", 110},
                 {"sip", 5060},
                 {"rtsp", 554},
                 {"wais", 210},
                 {"z39.50r", 210},
                 {"z39.50s", 210},
                 {"prospero", 191},
                 {"nfs", 2049},
                 {"tip", 3372},
                 {"acap", 674},
                 {"telnet", 23},
                 {"ssh", 22},
                 // Whole names, ASCII case ignored.
                 {"HTTP", 80},
                 {"Z39.50S", 210},
                 {"TelNet", 23},
                 // Not in the table: prefixes, longer names, near spellings, no name.
                 {"htt", 0},
                 {"httpx", 0},
                 {"https ", 0},
                 {"z39.50", 0},
                 {"z39.50rs", 0},
                 {"sshh", 0},
                 {"pop3", 0},
                 {"h", 0},
                 {"mailto", 0},
                 {"", 0},
                 {"http\x80", 0},
                 {nullptr, 0}};
  for (const auto& row : schemes)
    EXPECT_EQ(u.nPortOfScheme(row.scheme), row.port) << (row.scheme ? row.scheme : "null");
}

// Every setter reports 0; bSetPort keeps the low 32 bits, signed.
TEST(UrlRecord, SetterResults) {
  std::unique_ptr<cZuUrl> u(new cZuUrl());
  u->init();
  const int results[] = {
      u->bSetUrl("u"),         u->bSetHostinfo("h", 1), u->bSetHostinfo("h"),
      u->bSetScheme("s", 1),   u->bSetUser("u", 1),     u->bSetPassword("p", 1),
      u->bSetHostname("h", 1), u->bSetPort_str("1", 1), u->bSetPort_str("1"),
      u->bSetQuery("q", 1),    u->bSetQuery("q"),       u->bSetPath("/p", 2),
      u->bSetFragment("f"),
  };
  for (size_t i = 0; i < std::size(results); ++i) EXPECT_EQ(results[i], 0) << "setter " << i;
  const struct {
    long value;
    int port;
  } ports[] = {
      {80, 80},
      {0, 0},
      {-1, -1},
      {0x100000050, 80},
      {0x7FFFFFFF, 0x7FFFFFFF},
      {0x80000000, -2147483647 - 1},
      {0xFFFFFFFF, -1},
      {LONG_MIN, 0},
      {LONG_MAX, -1},
  };
  for (const auto& row : ports) {
    u->port = 7;
    EXPECT_EQ(u->bSetPort(row.value), 0) << row.value;
    EXPECT_EQ(u->port, row.port) << row.value;
  }
}

TEST(UrlRecord, ErrorsAndMessages) {
  const struct {
    bool filled;
    int code;
    unsigned word;
    const char* message;
  } rows[] = {
      {true, 0, 0x00, nullptr},
      {true, 1, 0x02, "host parsing error 1"},
      {true, 2, 0x04, "host parsing error 2"},
      {true, 3, 0x08, "host parsing error 3"},
      {true, 4, 0x00, nullptr},  // unknown codes add nothing
      {true, 7, 0x00, nullptr},
      {true, -1, 0x00, nullptr},
      {false, 0, 0x30, "parsing error no authority"},  // the lowest flag names the error
      {false, 1, 0x32, "host parsing error 1"},
  };
  for (const auto& row : rows) {
    std::unique_ptr<cZuUrl> u(new cZuUrl());
    u->init();
    if (row.filled) {
      u->bSetScheme("http", 4);
      u->bSetHostname("h", 1);
    }
    EXPECT_EQ(u->bSetErrors(row.code), static_cast<int>(row.word)) << row.code;
    EXPECT_EQ(u->errors, row.word) << row.code;
    const char* message = u->strGetError();
    EXPECT_STREQ(message ? message : "null", row.message ? row.message : "null") << row.code;
  }
  std::unique_ptr<cZuUrl> u(new cZuUrl());
  u->init();
  const struct {
    unsigned word;
    const char* message;
  } words[] = {
      {0x01, "general parsing error"},
      {0x10, "parsing error no authority"},
      {0x20, "parsing error no scheme"},
      {0x12, "host parsing error 1"},
      {0x40, nullptr},
  };
  for (const auto& w : words) {
    u->errors = w.word;
    const char* message = u->strGetError();
    EXPECT_STREQ(message ? message : "null", w.message ? w.message : "null") << w.word;
  }
  u->errors = 0;
  u->bSetErrors(0);  // flags stay once set
  u->bSetScheme("http", 4);
  u->bSetHostname("h", 1);
  EXPECT_EQ(u->bSetErrors(0), 0x30);
}

TEST(UrlRecord, DebugPrintAndFreemem) {
  std::unique_ptr<cZuUrl> p(new cZuUrl("ftp://u:pw@Www.H.test:/a?q=1#top"));
  p->bGetAuthRev();
  testing::internal::CaptureStdout();
  EXPECT_EQ(p->bDebugPrint(), 0);
  EXPECT_EQ(
      testing::internal::GetCapturedStdout(),  // no port line for a filled-in default
      "url: ftp://u:pw@Www.H.test:/a?q=1#top\nscheme: ftp (21)\nhostinfo: u:pw@Www.H.test:\n"
      "hostname: www.h.test\nauth_rev: test.h.www\nuser: u\npw: pw\nquery: q=1\npath: a\nfrag: top\n");
  p->bSetPort(8);
  p->freemem();
  EXPECT_EQ(RenderUrl(*p), "port=8|err=0x0|uninit");  // port and errors stay
}

}  // namespace
