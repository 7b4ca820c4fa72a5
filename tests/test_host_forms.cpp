// Other spellings of a listed host: every form a resolver reads as the listed
// host is matched, in lists and in URLs; hosts that merely look alike are not.
#include <gtest/gtest.h>

#include <string>

#include "match/host_forms.h"
#include "match/key_store.h"
#include "match/matcher.h"

namespace {

using urlkeys::match::CanonicalAddress;
using urlkeys::match::Hit;
using urlkeys::match::KeyStore;
using urlkeys::match::Matcher;

// A part with hundreds of leading zeros is still the same address.
const std::string kZeros = std::string(600, '0') + "177.0.0.1";
const std::string kZerosUrl = "http://" + kZeros + "/private";

TEST(HostForms, CanonicalAddress) {
  const struct {
    const char *host, *quad;
  } kCases[] = {
      {"127.0.0.1", "127.0.0.1"},
      {"0x7f000001", "127.0.0.1"},
      {"0X7F000001", "127.0.0.1"},
      {"2130706433", "127.0.0.1"},
      {"0177.0.0.1", "127.0.0.1"},
      {"127.1", "127.0.0.1"},
      {"0x7f.1", "127.0.0.1"},
      {"10.1.515", "10.1.2.3"},
      {"0", "0.0.0.0"},
      {"4294967295", "255.255.255.255"},
      {kZeros.c_str(), "127.0.0.1"},  // as many leading zeros as a host may hold
      // Not addresses to inet_aton, whatever the library's decoder makes of
      // them: a part too large, five parts, a bad octal digit, an empty part,
      // too large a number, trailing text (which inet_aton skips after a blank).
      {"1.2.3.256", nullptr},
      {"1.2.3.4.5", nullptr},
      {"08", nullptr},
      {"1..2", nullptr},
      {"4294967296", nullptr},
      {"127.0.0.1 x", nullptr},
      {"127.0.0.1.", nullptr},
      {"0x", nullptr},
      {"", nullptr},
      {"evil.example", nullptr},
      {"1e2", nullptr},
  };
  for (const auto& c : kCases) {
    char quad[16] = "unchanged";
    bool is_address = CanonicalAddress(c.host, quad);
    EXPECT_EQ(is_address, c.quad != nullptr) << c.host;
    if (c.quad) {
      EXPECT_STREQ(quad, c.quad) << c.host;
    }
  }
}

TEST(HostForms, EveryWrittenFormOfAListedHostMatches) {
  KeyStore store;
  for (const char* line : {"evil.example.com", "127.0.0.1/private", "10.1.2.3",
                           // Keys written in other forms are read as the matcher looks up.
                           "Trail.Example.ORG./x", "0x0a000005", "192.168.1.1.", "1.2.4.0"})
    ASSERT_TRUE(store.AddLine("", line)) << line;
  const struct {
    const char *url, *key;
  } kCases[] = {
      {"http://evil.example.com./x", "evil.example.com"},
      {"http://evil.example.com../", "evil.example.com"},
      {"http://EVIL.Example.COM./", "evil.example.com"},
      {"http://www.a.evil.example.com./x", "evil.example.com"},
      {"evil.example.com.:443", "evil.example.com"},  // CONNECT
      {"http://0x7f000001/private/y", "127.0.0.1/private"},
      {kZerosUrl.c_str(), "127.0.0.1/private"},
      {"http://0X7F000001/private", "127.0.0.1/private"},
      {"http://2130706433/private", "127.0.0.1/private"},
      {"http://0177.0.0.1/private", "127.0.0.1/private"},
      {"http://127.1/private/", "127.0.0.1/private"},
      {"http://0x7f000001./private", "127.0.0.1/private"},
      {"http://127.0.0.1./private", "127.0.0.1/private"},
      {"https://user@2130706433:8443/private?q=1", "127.0.0.1/private"},
      {"http://167838211/", "10.1.2.3"},
      {"http://012.1.2.3/a", "10.1.2.3"},
      {"http://10.1.515/", "10.1.2.3"},
      {"http://trail.example.org/x/y", "trail.example.org/x"},
      {"http://10.0.0.5/", "10.0.0.5"},
      {"http://192.168.1.1/", "192.168.1.1"},
      // Look-alikes: other hosts, other addresses, forms no resolver reads
      // as the listed address.
      {"http://evil.example.com.other.test/", nullptr},
      {"http://notevil.example.com./", nullptr},
      {"http://evil-example.com./", nullptr},
      {"http://0x7f000002/private", nullptr},
      {"http://127.0.0.1/public", nullptr},
      {"http://127.0.0.1.1/private", nullptr},
      {"http://2130706433x/private", nullptr},
      {"http://10.1.2.3.example/", nullptr},
      {"http://1.2.3.256/", nullptr},  // the library's decoder carries it to 1.2.4.0
      {"http://trail.example.org/xy", nullptr},
  };
  Matcher matcher;
  for (const auto& c : kCases) {
    Hit hit;
    bool found = matcher.Match(store, c.url, &hit);
    EXPECT_EQ(found, c.key != nullptr) << c.url << " -> " << hit.key;
    if (c.key) {
      EXPECT_EQ(hit.key, c.key) << c.url;
    }
  }
}

TEST(HostForms, TheWrittenFormIsLookedUpFirst) {
  // The walk as written goes first: its most specific candidate wins over
  // the candidates of the other spelling.
  KeyStore store;
  store.AddLine("", "a.example.com./x");  // read as a.example.com/x
  store.AddLine("", "example.com");
  Matcher matcher;
  Hit hit;
  ASSERT_TRUE(matcher.Match(store, "http://a.example.com./x/y", &hit));
  EXPECT_EQ(hit.key, "a.example.com/x");
  ASSERT_TRUE(matcher.Match(store, "http://a.example.com/x/y", &hit));
  EXPECT_EQ(hit.key, "a.example.com/x");
}

}  // namespace
