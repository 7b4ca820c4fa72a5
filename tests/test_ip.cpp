// Tests of the numeric-host functions through the exported interface:
// lGetIpFromAuth, bGetIpStr, bIsAuthIp and bIsPrivateIp.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "urlkeys/ip.h"

#include "support.h"

namespace {

using urlkeys::test::Exact;

// The text with its NUL in a block of exactly that size, so that the address
// sanitizer catches a read past the end.

const char* const kNone = "000.000.000.000";

struct DecodeRow {
  std::string host;
  std::uint64_t value;
  int flag;
  const char* quad;
};

// Each host decoded, then written as a dotted quad as the library's callers do.
TEST(IpNumeric, DecodeAndPrint) {
  const std::string z254(254, '0'), z255(255, '0');
  const DecodeRow rows[] = {
      {"3232235777", 0xC0A80101, 0, "192.168.1.1"},  // one decimal number
      {"0xC0A80101", 0xC0A80101, 0, "192.168.1.1"},  // hex, upper-case digits folded
      {"127.1", 0x7F000001, 0, "127.0.0.1"},         // a.b: b fills three bytes
      {"1.2.3.256", 0x01020400, 0, "1.2.4.0"},       // carry into the byte above
      {"1.2147483648", 0xFFFFFFFF81000000, 0,
       "129.0.0.0"},                                    // b narrowed to 32 bits and sign-widened
      {"4294967296", 0x100000000, 0, "0.0.0.0"},        // bits above 31 kept, not printed
      {"18446744073709551616", 0, 0, kNone},            // 2^64 wraps to 0: the no-address text
      {"3232235777.", 0xC0A80101000000, 0, "1.0.0.0"},  // a. is the a.b form: a shifted anyway
      {"08.1", 1, 0, "0.0.0.1"},                        // leading 0 and a non-octal digit: 0
      {"0x1x.2", 0x10000002, 0, "16.0.0.2"},            // further x in a hex part is the digit 0
      {"1.2.3.4.", 0, 1, kNone},                        // fourth dot, even at the end
      {"1.g.3.4.5", 0, 0, kNone},                       // bad character before the fourth dot
      {"1." + z255, 0x01000000, 0, "1.0.0.0"},          // part of 255 characters: decoded
      {"1." + z255 + "0", 0, 0, kNone},                 // part of 256: refused
      {z254 + "1." + z254 + "2." + z254 + "3." + z254 + "4", 0x01020304, 0,
       "1.2.3.4"},                                                           // 1023 long
      {z254 + "1." + z254 + "2." + z254 + "3." + z254 + "04", 0, 0, kNone},  // 1024 long
      {"1.2.3.4." + std::string(1015, '5'), 0, 1, kNone},  // fourth dot in 1023 characters: flagged
      {"1.2.3.4." + std::string(1016, '5'), 0, 0, kNone},  // fourth dot in 1024: too long, no flag
  };
  for (const DecodeRow& row : rows) {
    std::vector<char> text = Exact(row.host);
    int flag = -7;
    const long v = lGetIpFromAuth(text.data(), &flag);
    char out[ZU_DOTTED_QUAD_SIZE];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(bGetIpStr(v, out), 1);
    ASSERT_NE(std::memchr(out, '\0', sizeof out), nullptr);
    const std::string where =
        "host '" + row.host.substr(0, 40) + "' of " + std::to_string(row.host.size());
    EXPECT_EQ(static_cast<std::uint64_t>(v), row.value) << where;
    EXPECT_EQ(flag, row.flag) << where;
    EXPECT_STREQ(out, row.quad) << where;
  }
}

struct TextRow {
  int (*test)(const char*);
  const char* text;
  int expected;
};

const TextRow kTextRows[] = {
    {bIsAuthIp, "1.2.3.4.", 1},           // one trailing dot allowed
    {bIsAuthIp, "0x.1", 1},               // hex group without digits
    {bIsAuthIp, "0xA.1", 0},              // upper-case letter
    {bIsAuthIp, "999.999", 1},            // values are not tested
    {bIsPrivateIp, "127.0.0.1", 1},       // loopback, 127.0.0.x only
    {bIsPrivateIp, "127.1.2.3", 0},       // rest of 127/8 is not listed
    {bIsPrivateIp, "172.31.255.255", 1},  // last of 172.16-31
    {bIsPrivateIp, "172.32.0.1", 0},      // above the range
    {bIsPrivateIp, "172.16", 0},          // prefix without its dot
    // Form of a numeric host: groups, dots, and where each group kind ends.
    {bIsAuthIp, "1", 0},  // one number without a dot is no host form
    {bIsAuthIp, "1.2", 1},
    {bIsAuthIp, "1.2.3.4.5", 1},  // the number of groups is not tested
    {bIsAuthIp, "1..2", 0},       // empty group
    {bIsAuthIp, ".1", 0},
    {bIsAuthIp, "", 0},
    {bIsAuthIp, "a.1", 0},
    {bIsAuthIp, "01.7", 1},  // octal group
    {bIsAuthIp, "08.1", 0},  // 8 is no octal digit
    {bIsAuthIp, "0.1", 1},
    {bIsAuthIp, "0x1f.0xa", 1},
    {bIsAuthIp, "0x1g.1", 0},  // past the hex digits
    {bIsAuthIp, "0X1.1", 0},   // upper-case X
    {bIsAuthIp, "1.2/", 0},
    // Each private prefix, a neighbour just outside it, and texts shorter than it.
    {bIsPrivateIp, "0.1.2.3", 1},
    {bIsPrivateIp, "10.1.2.3", 1},
    {bIsPrivateIp, "10.example", 1},  // a text test: any text after the prefix
    {bIsPrivateIp, "100.1.2.3", 0},
    {bIsPrivateIp, "1.10.0.0", 0},
    {bIsPrivateIp, "192.168.0.1", 1},
    {bIsPrivateIp, "192.169.0.1", 0},
    {bIsPrivateIp, "192.16.0.1", 0},
    {bIsPrivateIp, "127.0.0.255", 1},
    {bIsPrivateIp, "127.0.1.1", 0},
    {bIsPrivateIp, "172.15.0.1", 0},
    {bIsPrivateIp, "172.16.0.1", 1},
    {bIsPrivateIp, "172.19.0.1", 1},
    {bIsPrivateIp, "172.20.0.1", 1},
    {bIsPrivateIp, "172.29.0.1", 1},
    {bIsPrivateIp, "172.30.0.1", 1},
    {bIsPrivateIp, "172.1.0.1", 0},
    {bIsPrivateIp, "172.3.0.1", 0},
    {bIsPrivateIp, "172.160.0.1", 0},  // third digit: 172.160 is no 172.16 address
    {bIsPrivateIp, "172.2", 0},
    {bIsPrivateIp, "169.254.1.1", 0},
    {bIsPrivateIp, "000.000.000.000", 0},  // the no-address text
    {bIsPrivateIp, "10", 0},
    {bIsPrivateIp, "0", 0},
    {bIsPrivateIp, "172.3", 0},
    {bIsPrivateIp, "", 0},
};

TEST(IpForms, AuthAndPrivate) {
  for (const TextRow& row : kTextRows) {
    std::vector<char> text = Exact(row.text);
    EXPECT_EQ(row.test(text.data()), row.expected) << "'" << row.text << "'";
  }
}

}  // namespace
