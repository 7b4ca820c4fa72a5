// Tests of the simplified URL, the reversed host and the flat URL functions.
#include <gtest/gtest.h>

#include "url_render.h"
#include "urlkeys/flat.h"
#include "urlkeys/url.h"

using urlkeys::test::Exact;

namespace {

TEST(SimpleUrl, Table) {
  const struct {
    const char* in;
    const char* simple;
    int result;
  } rows[] = {
      {"HTTP://User:Pw@Host.Test:8080/p/?x#f", "http://host.test:8080/p",
       0},                                   // no user, query or fragment
      {"http://h:80/", "http://h:80", 0},    // a written port stays, even the default
      {"ftp://host:/f", "ftp://host/f", 0},  // a filled-in default port is not written
      {"http://192.168.001.010:81/x", "http://192.168.1.8:81/x", 0},  // leading 0 means octal
      {"http://1.2.3.4.5/x", "http://000.000.000.000/x", 1},          // too many parts
  };
  for (const auto& row : rows) {
    auto u = std::make_unique<cZuUrl>(Exact(row.in).data());
    auto out = std::make_unique<char[]>(
        ZU_SIMPLE_URL_SIZE);  // exact size: a write past it shows under ASan
    EXPECT_EQ(u->bGetSimpleUrl(out.get()), row.result) << row.in;
    EXPECT_STREQ(out.get(), row.simple) << row.in;
  }
}

// Every field at its cap fills the simplified URL's stated size exactly, and
// the longest host fits the reversed host, which is cached until init.
TEST(SimpleUrl, LongestFieldsFitAndAuthRevIsCached) {
  auto u = std::make_unique<cZuUrl>();
  u->init();
  const std::string text(ZU_PATH_SIZE, 's');  // longer than every field
  u->bSetScheme(text.c_str(), ZU_SCHEME_SIZE);
  u->bSetHostname(text.c_str(), ZU_HOSTNAME_SIZE);
  u->bSetPort_str(text.c_str(), ZU_PORT_STR_SIZE);
  u->bSetPath(text.c_str(), ZU_PATH_SIZE);
  auto out = std::make_unique<char[]>(ZU_SIMPLE_URL_SIZE);
  EXPECT_EQ(u->bGetSimpleUrl(out.get()), 0);
  EXPECT_EQ(strlen(out.get()), static_cast<size_t>(ZU_SIMPLE_URL_SIZE - 1));
  EXPECT_EQ(strlen(u->bGetAuthRev()), static_cast<size_t>(ZU_HOSTNAME_SIZE - 1));
  u->bSetHostname("a.b", 3);
  EXPECT_EQ(strlen(u->bGetAuthRev()),
            static_cast<size_t>(ZU_HOSTNAME_SIZE - 1));  // cached until init
}

TEST(FlatFunctions, NumericHosts) {
  const struct {
    const char* in;
    int is_ip;
    const char* quad;
  } rows[] = {
      {"http://0x7f.1/", 1, "127.0.0.1"},
      {"3232235777", 0, "000.000.000.000"},  // no dot: not an address
  };
  for (const auto& row : rows) {
    auto in = Exact(row.in);
    auto quad = std::make_unique<char[]>(ZU_DOTTED_QUAD_SIZE);
    EXPECT_EQ(bIsUrlIp(in.data()), row.is_ip) << row.in;
    EXPECT_EQ(bDottedQuadIp(in.data(), quad.get()), row.is_ip) << row.in;
    EXPECT_STREQ(quad.get(), row.quad) << row.in;
  }
}

}  // namespace
