// Tests of the url record: setters and their caps, the scheme port table,
// the error flags and messages, emptying, and the diagnostic dump.
#include <gtest/gtest.h>

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
  const struct { Field f; const char* src; int len; const char* want; } rows[] = {
      {kHost, "Mail.\xC4 b  ", 10, "mail.\\xc4 b"},  // only A-Z fold; only trailing spaces go
      {kHost, "a b ", 10, "a b "},            // source ended early: no trim
      {kHost, "   ", 3, ""},                  // the trim stops at the field's start
      {kHost, "ab", -5, ""},                  // negative length copies nothing
      {kHost, nullptr, 4, ""},                // null source is empty text
      {kPath, "/a/b?x=1", 4, "a/b"},          // reads the '?' just past the span, drops it
      {kPath, "\\dir\\f", 6, "dir\\x5cf"},    // only the first backslash is skipped
      {kPath, "x?", 9, "x?"},                 // ended early: the '?' stays
  };
  for (const auto& row : rows) {
    std::unique_ptr<cZuUrl> u(new cZuUrl());
    u->init();
    const char* got = Set(*u, row.f, row.src ? Exact(row.src).data() : nullptr, row.len);
    EXPECT_EQ(Escaped(got, strlen(got)), row.want) << (row.src ? row.src : "null") << ", " << row.len;
  }
}

// Spans of capacity-1 to capacity+1 characters keep capacity-1; each span
// sits unterminated in exactly its own bytes, so a read past it shows under ASan.
TEST(UrlRecord, SettersCutAtTheFieldCapacity) {
  const struct { Field f; size_t size; } rows[] = {{kHost, ZU_HOSTNAME_SIZE}, {kPath, ZU_PATH_SIZE}};
  for (const auto& row : rows) {
    for (size_t n = row.size - 1; n <= row.size + 1; ++n) {
      std::unique_ptr<cZuUrl> u(new cZuUrl());
      u->init();
      std::unique_ptr<char[]> src(new char[n]);
      memset(src.get(), 'a', n);
      EXPECT_EQ(strnlen(Set(*u, row.f, src.get(), static_cast<int>(n)), row.size), row.size - 1) << n;
    }
  }
}

TEST(UrlRecord, SchemePortsErrorsAndMessages) {
  cZuUrl u("http://h/");
  const struct { const char* scheme; int port; } schemes[] = {
      {"HTTP", 80}, {"https", 443}, {"ssh", 22}, {"htt", 0}, {"httpx", 0}, {nullptr, 0}};  // whole names, any case
  for (const auto& row : schemes) EXPECT_EQ(u.nPortOfScheme(row.scheme), row.port);
  EXPECT_EQ(u.bSetErrors(7), 0);  // an unknown code adds no flag and no message
  EXPECT_EQ(u.strGetError(), nullptr);
}

TEST(UrlRecord, DebugPrintAndFreemem) {
  std::unique_ptr<cZuUrl> p(new cZuUrl("ftp://u:pw@Www.H.test:/a?q=1#top"));
  p->bGetAuthRev();
  testing::internal::CaptureStdout();
  EXPECT_EQ(p->bDebugPrint(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),  // no port line for a filled-in default
            "url: ftp://u:pw@Www.H.test:/a?q=1#top\nscheme: ftp (21)\nhostinfo: u:pw@Www.H.test:\n"
            "hostname: www.h.test\nauth_rev: test.h.www\nuser: u\npw: pw\nquery: q=1\npath: a\nfrag: top\n");
  p->bSetPort(8);
  p->freemem();
  EXPECT_EQ(RenderUrl(*p), "port=8|err=0x0|uninit");  // port and errors stay
}

}  // namespace
