// Tests of the url record: setters and their caps, the scheme port table,
// the error flags and messages, emptying, and the diagnostic dump.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "url_render.h"
#include "urlkeys/url.h"

using urlkeys_test::Escaped;
using urlkeys_test::ExactCopy;
using urlkeys_test::RenderUrl;

namespace {

std::unique_ptr<cZuUrl> NewRecord() {
  std::unique_ptr<cZuUrl> u(new cZuUrl());
  u->init();
  return u;
}

// Calls the setter named `name` ("/1" marks a one-argument form) and
// returns the field it fills.
const char* Set(cZuUrl& u, const std::string& name, const char* src, int len) {
  if (name == "url/1") return u.bSetUrl(src), u.url;
  if (name == "hostinfo") return u.bSetHostinfo(src, len), u.hostinfo;
  if (name == "hostinfo/1") return u.bSetHostinfo(src), u.hostinfo;
  if (name == "scheme") return u.bSetScheme(src, len), u.scheme;
  if (name == "user") return u.bSetUser(src, len), u.user;
  if (name == "password") return u.bSetPassword(src, len), u.password;
  if (name == "host") return u.bSetHostname(src, len), u.hostname;
  if (name == "port_str") return u.bSetPort_str(src, len), u.port_str;
  if (name == "port_str/1") return u.bSetPort_str(src), u.port_str;
  if (name == "query") return u.bSetQuery(src, len), u.query;
  if (name == "query/1") return u.bSetQuery(src), u.query;
  if (name == "path") return u.bSetPath(src, len), u.path;
  if (name == "fragment/1") return u.bSetFragment(src), u.fragment;
  ADD_FAILURE() << "no setter " << name;
  return "";
}

const struct {
  const char* setter;
  const char* src;
  int len;
  const char* want;  // with \xHH escapes
} kSetterRows[] = {
    {"scheme", "HTTPS://x", 5, "https"},
    {"host", "Mail.Host.TEST  ", 16, "mail.host.test"},
    {"host", "a b ", 4, "a b"},            // inner space stays
    {"host", "a b ", 10, "a b "},          // source ended early: no trim
    {"host", "\xC4X", 2, "\\xc4x"},        // only A-Z fold
    {"host", "a\tB ", 4, "a\\x09b"},        // only spaces are trimmed
    {"host", "   ", 3, ""},                // the trim stops at the field's start
    {"host", "ab", 0, ""},                 // zero characters
    {"host", "ab", -5, ""},                // negative length copies nothing
    {"query", "a=1#frag", 3, "a=1"},
    {"query/1", "a=1", 0, "a=1"},
    {"path", "/a/b?x=1", 4, "a/b"},        // reads the '?' just past the span, drops it
    {"path", "/a/b", 4, "a/b"},
    {"path", "//x", 3, "/x"},              // one separator only
    {"path", "xyz#", 4, "xyz"},
    {"path", "/", 1, ""},
    {"path", "\\dir\\f", 6, "dir\\x5cf"},  // only the first backslash is skipped
    {"path", "x?", 9, "x?"},               // ended early: the '?' stays
};

TEST(UrlRecord, SettersFollowTheirExtraRules) {
  for (const auto& row : kSetterRows) {
    auto u = NewRecord();
    auto src = ExactCopy(row.src);
    const char* got = Set(*u, row.setter, src.get(), row.len);
    EXPECT_EQ(Escaped(got, strlen(got)), row.want) << row.setter << "('" << row.src << "', " << row.len << ")";
  }
}

// Sources of capacity-1, capacity and capacity+1 characters keep at most
// capacity-1, terminated. The forms with a length get their span in exactly
// its own bytes, unterminated, so any read past it shows under ASan.
TEST(UrlRecord, SettersCutAtTheFieldCapacity) {
  const struct {
    const char* setter;
    size_t size;
  } rows[] = {
      {"url/1", ZU_URL_SIZE},          {"hostinfo", ZU_HOSTINFO_SIZE}, {"hostinfo/1", ZU_HOSTINFO_SIZE},
      {"scheme", ZU_SCHEME_SIZE},      {"user", ZU_USER_SIZE},         {"password", ZU_PASSWORD_SIZE},
      {"host", ZU_HOSTNAME_SIZE},      {"port_str", ZU_PORT_STR_SIZE}, {"port_str/1", ZU_PORT_STR_SIZE},
      {"query", ZU_QUERY_SIZE},        {"query/1", ZU_QUERY_SIZE},     {"path", ZU_PATH_SIZE},
      {"fragment/1", ZU_FRAGMENT_SIZE},
  };
  for (const auto& row : rows) {
    const bool terminated = strstr(row.setter, "/1") != nullptr;
    for (size_t n = row.size - 2; n <= row.size; ++n) {
      auto u = NewRecord();
      std::unique_ptr<char[]> src(new char[terminated ? n + 1 : n]);
      memset(src.get(), 'a', n);
      if (terminated) src[n] = '\0';
      const char* got = Set(*u, row.setter, src.get(), static_cast<int>(n));
      EXPECT_EQ(strnlen(got, row.size), n < row.size - 1 ? n : row.size - 1) << row.setter << " with " << n;
    }
  }
}

// The trailing-space walk starts at the last copied position, not the
// source's: a space cut off by the cap is not looked at.
TEST(UrlRecord, HostnameTrimLooksAtTheLastCopiedPosition) {
  auto u = NewRecord();
  std::string text(ZU_HOSTNAME_SIZE - 2, 'A');
  text += " b";  // the space lands on the last kept position, 'b' is cut off
  u->bSetHostname(text.c_str(), static_cast<int>(text.size()));
  EXPECT_EQ(strlen(u->hostname), static_cast<size_t>(ZU_HOSTNAME_SIZE - 2));
  EXPECT_EQ(u->hostname[0], 'a');
}

TEST(UrlRecord, PortKeepsTheLow32Bits) {
  const struct {
    long value;
    int want;
  } rows[] = {
      {0x100000050L, 80},           // high bits dropped
      {-1L, -1},                    // stays signed
      {0xFFFFFFFFL, -1},            // low word read as signed
      {0x7FFFFFFFFFFFFFFFL, -1},    // largest long
  };
  for (const auto& row : rows) {
    auto u = NewRecord();
    u->bSetPort(row.value);
    EXPECT_EQ(u->port, row.want) << row.value;
  }
}

TEST(UrlRecord, SchemePortTable) {
  const struct {
    const char* scheme;
    int port;
  } rows[] = {
      {"HTTP", 80},         // case ignored
      {"https", 443},       // not taken by the "http" row
      {"Z39.50S", 210},
      {"prospero", 191},
      {"ssh", 22},          // last row
      {"htt", 0},           // a prefix does not match
      {"httpx", 0},         // nor a longer name
      {"mailto", 0},
      {"", 0},
      {nullptr, 0},
  };
  cZuUrl u;
  for (const auto& row : rows) EXPECT_EQ(u.nPortOfScheme(row.scheme), row.port) << (row.scheme ? row.scheme : "null");
}

TEST(UrlRecord, ErrorFlagsAccumulateAndTheLowestNamesTheError) {
  auto u = NewRecord();
  EXPECT_EQ(u->strGetError(), nullptr);
  EXPECT_EQ(u->bSetErrors(0), 0x30);
  EXPECT_STREQ(u->strGetError(), "parsing error no authority");
  u->bSetScheme("http", 4);
  u->bSetHostname("h", 1);
  EXPECT_EQ(u->bSetErrors(0), 0x30);  // flags are never removed
  EXPECT_EQ(u->bSetErrors(1), 0x32);
  EXPECT_STREQ(u->strGetError(), "host parsing error 1");

  const struct {
    int code;
    unsigned int word;
    const char* message;
  } rows[] = {
      {1, 0x02, "host parsing error 1"},
      {2, 0x04, "host parsing error 2"},
      {3, 0x08, "host parsing error 3"},
      {7, 0x00, nullptr},   // unknown code adds nothing
      {-1, 0x00, nullptr},
  };
  for (const auto& row : rows) {
    auto r = NewRecord();
    r->bSetScheme("http", 4);
    r->bSetHostname("h", 1);
    EXPECT_EQ(r->bSetErrors(row.code), static_cast<int>(row.word)) << row.code;
    EXPECT_STREQ(r->strGetError(), row.message) << row.code;
  }

  const struct {
    unsigned int word;
    const char* message;
  } words[] = {
      {0x01, "general parsing error"},
      {0x30, "parsing error no authority"},
      {0x20, "parsing error no scheme"},
      {0x12, "host parsing error 1"},
      {0x40, nullptr},  // no row names this bit
      {0x0, nullptr},
  };
  for (const auto& row : words) {
    u->errors = row.word;
    EXPECT_STREQ(u->strGetError(), row.message) << row.word;
  }
}

TEST(UrlRecord, InitAndFreememEmptyTheRecord) {
  auto u = NewRecord();
  EXPECT_EQ(RenderUrl(*u), "port=0|err=0x0");
  u->bSetUrl("http://h/");
  u->bSetHostname("h", 1);
  u->bGetAuthRev();
  u->bSetPort(8);
  u->bSetErrors(0);
  u->freemem();
  EXPECT_EQ(RenderUrl(*u), "port=8|err=0x20|uninit");  // port and errors stay
  EXPECT_EQ(u->bIsIp(), 0);
  u->init();
  EXPECT_EQ(RenderUrl(*u), "port=0|err=0x0");

  std::unique_ptr<cZuUrl> fresh(new cZuUrl());
  EXPECT_EQ(RenderUrl(*fresh), "port=0|err=0x0|uninit");  // default construction leaves it empty
}

std::string DebugPrintOf(cZuUrl& u) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(u.bDebugPrint(), 0);
  return testing::internal::GetCapturedStdout();
}

TEST(UrlRecord, DebugPrint) {
  auto u = NewRecord();
  EXPECT_EQ(DebugPrintOf(*u), "");

  std::unique_ptr<cZuUrl> p(new cZuUrl("http://h:8080/p"));
  EXPECT_EQ(DebugPrintOf(*p),
            "url: http://h:8080/p\nscheme: http (80)\nhostinfo: h:8080\nhostname: h\n"
            "port: 8080 (8080)\npath: p\n");

  // The default port filled in for "host:" is not printed; an unknown scheme shows 0.
  p.reset(new cZuUrl("ftp://host:/f"));
  EXPECT_EQ(DebugPrintOf(*p), "url: ftp://host:/f\nscheme: ftp (21)\nhostinfo: host:\nhostname: host\npath: f\n");

  p.reset(new cZuUrl("Foo://u:pw@Www.H.test/a?q=1#top"));
  p->bGetAuthRev();
  EXPECT_EQ(DebugPrintOf(*p),
            "url: Foo://u:pw@Www.H.test/a?q=1#top\nscheme: foo (0)\nhostinfo: u:pw@Www.H.test\n"
            "hostname: www.h.test\nauth_rev: test.h.www\nuser: u\npw: pw\nquery: q=1\npath: a\nfrag: top\n");
}

}  // namespace
