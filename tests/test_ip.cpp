// Tests of the numeric-host functions through the exported interface:
// lGetIpFromAuth, bGetIpStr, bIsAuthIp and bIsPrivateIp.
#include <gtest/gtest.h>

#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "urlkeys/ip.h"

namespace {

// The text in a heap block of exactly strlen + 1 bytes, so that a read past
// its NUL is caught by the address sanitizer.
class ExactText {
 public:
  explicit ExactText(const std::string& s) : buf_(new char[s.size() + 1]) {
    std::memcpy(buf_.get(), s.c_str(), s.size() + 1);
  }
  char* get() { return buf_.get(); }

 private:
  std::unique_ptr<char[]> buf_;
};

std::string Hex(long v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%" PRIX64, static_cast<std::uint64_t>(v));
  return buf;
}

// Decodes `host` and writes its dotted quad, as the library's callers do.
struct Decoded {
  std::uint64_t value;
  int flag;
  std::string quad;
};
Decoded Decode(const std::string& host) {
  ExactText text(host);
  int flag = -7;
  const long v = lGetIpFromAuth(text.get(), &flag);
  std::unique_ptr<char[]> out(new char[16]);
  std::memset(out.get(), '#', 16);
  EXPECT_EQ(bGetIpStr(v, out.get()), 1);
  EXPECT_NE(std::memchr(out.get(), '\0', 16), nullptr) << host;
  return {static_cast<std::uint64_t>(v), flag, std::string(out.get(), strnlen(out.get(), 16))};
}

const char* const kNone = "000.000.000.000";

struct DecodeRow {
  const char* host;
  std::uint64_t value;
  int flag;
  const char* quad;
};

const DecodeRow kDecodeRows[] = {
    {"3232235777", 0xC0A80101, 0, "192.168.1.1"},            // one decimal number
    {"0xC0A80101", 0xC0A80101, 0, "192.168.1.1"},            // upper case folded, hex
    {"030052000401", 0xC0A80101, 0, "192.168.1.1"},          // one octal number
    {"7", 7, 0, "0.0.0.7"},                                  // single digit
    {"127.1", 0x7F000001, 0, "127.0.0.1"},                   // a.b: b fills three bytes
    {"10.65536", 0x0A010000, 0, "10.1.0.0"},                 // b beyond 16 bits
    {"1.2.3", 0x01020003, 0, "1.2.0.3"},                     // a.b.c
    {"192.168.257", 0xC0A80101, 0, "192.168.1.1"},           // c fills two bytes
    {"0x7f.0.0.01", 0x7F000001, 0, "127.0.0.1"},             // mixed forms
    {"0177.0.0.1", 0x7F000001, 0, "127.0.0.1"},              // octal first part
    {"012.0.0.1", 0x0A000001, 0, "10.0.0.1"},                // octal 012 is 10
    {"0x0a.0x00.0x00.0x01", 0x0A000001, 0, "10.0.0.1"},      // hex in every part
    {"01.02.03.04", 0x01020304, 0, "1.2.3.4"},               // two-character octal parts
    {"192.168.1.0377", 0xC0A801FF, 0, "192.168.1.255"},      // octal last part
    {"1.0xff.3.4", 0x01FF0304, 0, "1.255.3.4"},              // hex inner part
    {"1.0x100", 0x01000100, 0, "1.0.1.0"},                   // three hex digits
    {"1.0x0", 0x01000000, 0, "1.0.0.0"},                     // hex zero
    {"1.2.3.256", 0x01020400, 0, "1.2.4.0"},                 // carry into the byte above
    {"1.16777216", 0x02000000, 0, "2.0.0.0"},                // carry into a
    {"1.4294967296", 0x01000000, 0, "1.0.0.0"},              // b narrowed to 32 bits: 0
    {"1.2147483648", 0xFFFFFFFF81000000, 0, "129.0.0.0"},    // b narrowed and sign-widened
    {"256.1.1.1", 0x100010101, 0, "0.1.1.1"},                // bits above 31 kept, not printed
    {"4294967296", 0x100000000, 0, "0.0.0.0"},               // 2^32 is not the value 0
    {"0.0.0.0", 0, 0, kNone},                                // address 0 looks like no address
    {"0", 0, 0, kNone},                                      // single zero
    {"1.2..4", 0x01020004, 0, "1.2.0.4"},                    // empty part is 0
    {"1.2.3.", 0x01020300, 0, "1.2.3.0"},                    // empty last part
    {"1.", 0x01000000, 0, "1.0.0.0"},                        // a. is the a.b form
    {"3232235777.", 0xC0A80101000000, 0, "1.0.0.0"},         // a shifted by 24 anyway
    {"1.a.3.4", 0x01000304, 0, "1.0.3.4"},                   // a letter part is 0
    {"1.1a.3.4", 0x01010304, 0, "1.1.3.4"},                  // leading digits only
    {"10.0.0.1x", 0x0A000001, 0, "10.0.0.1"},                // trailing x ignored
    {"1e5", 1, 0, "0.0.0.1"},                                // no exponent form
    {"1.x", 0x01000000, 0, "1.0.0.0"},                       // lone x is 0
    {"0XFF.1", 0xFF000001, 0, "255.0.0.1"},                  // upper-case mark folded
    {"1.2.3.4.", 0, 1, kNone},                               // fourth dot, even at the end
    {"1.2.3.4.5", 0, 1, kNone},                              // five parts
    {"1.2.3.4.g", 0, 1, kNone},                              // fourth dot before the g
    {"1.g.3.4.5", 0, 0, kNone},                              // g before the fourth dot
    {"1.2.3.4:80", 0, 0, kNone},                             // colon not admitted
    {"A.1", 0, 0, kNone},                                    // letter first, even folded
    {"-1.2", 0, 0, kNone},                                   // sign not admitted
    {"", 0, 0, kNone},                                       // empty
    {" 1.2", 0, 0, kNone},                                   // no leading blanks
    {"1.2 ", 0, 0, kNone},                                   // no trailing blanks
    {"1.2.3.4\xff", 0, 0, kNone},                            // high byte not admitted
    // Parts on the octal route that hold other characters count 0.
    {"1.2.3.0x", 0x01020300, 0, "1.2.3.0"},                  // bare 0x part
    {"0x.1", 1, 0, "0.0.0.1"},                               // bare 0x first part
    {"08.1", 1, 0, "0.0.0.1"},                               // 8 after a leading 0
    {"1.09", 0x01000000, 0, "1.0.0.0"},                      // 9 after a leading 0
    {"1.2.3.018", 0x01020300, 0, "1.2.3.0"},                 // 8 in a long octal part
    {"1.2.3.00x", 0x01020300, 0, "1.2.3.0"},                 // x in a long octal part
    {"1.2.3.0a", 0x01020300, 0, "1.2.3.0"},                  // letter after a leading 0
    // A further x inside a hexadecimal part holds its place as a 0 digit.
    {"0x1x.2", 0x10000002, 0, "16.0.0.2"},                   // 0x1x is 0x10
    {"0xx.1", 1, 0, "0.0.0.1"},                              // 0xx is 0
    {"1.0xx1", 0x01000001, 0, "1.0.0.1"},                    // 0xx1 is 0x01
    {"1.2.3.0XAB", 0x010203AB, 0, "1.2.3.171"},              // upper-case hex digits folded
    // Large values wrap modulo 2^64.
    {"18446744073709551615", 0xFFFFFFFFFFFFFFFF, 0, "255.255.255.255"},  // 2^64 - 1
    {"18446744073709551616", 0, 0, kNone},                   // 2^64 wraps to 0
    {"0x10000000000000001", 1, 0, "0.0.0.1"},                // 17 hex digits
    {"01777777777777777777777", 0xFFFFFFFFFFFFFFFF, 0, "255.255.255.255"},  // 22 octal sevens
    {"1099511627776.1", 1, 0, "0.0.0.1"},                    // 2^40 shifted out by 24
};

TEST(LGetIpFromAuth, Table) {
  for (const DecodeRow& row : kDecodeRows) {
    const Decoded d = Decode(row.host);
    EXPECT_EQ(Hex(static_cast<long>(d.value)), Hex(static_cast<long>(row.value))) << "host '" << row.host << "'";
    EXPECT_EQ(d.flag, row.flag) << "host '" << row.host << "'";
    EXPECT_EQ(d.quad, row.quad) << "host '" << row.host << "'";
  }
}

// Hosts and parts at and around the length limits.
TEST(LGetIpFromAuth, LengthLimits) {
  struct Row {
    std::string host;
    std::uint64_t value;
    int flag;
  };
  const std::string zeros255(255, '0');
  const std::string p254(254, '0');
  const Row rows[] = {
      {"1." + zeros255, 0x01000000, 0},                                   // part of 255: decoded
      {"1." + zeros255 + "0", 0, 0},                                      // part of 256: refused
      {zeros255 + "1.2", 0, 0},                                           // first part of 256: refused
      {p254 + "1." + p254 + "2." + p254 + "3." + p254 + "4", 0x01020304, 0},   // 1023, the longest numeric host
      {p254 + "1." + p254 + "2." + p254 + "3." + p254 + "04", 0, 0},      // 1024: its last part is 256
      {"1.2.3.4." + std::string(1015, '5'), 0, 1},                        // fourth dot, 1023 long
      {"1.2.3.4." + std::string(1016, '5'), 0, 0},                        // fourth dot, 1024 long
      {"1.2.3.4." + std::string(5000, '5'), 0, 0},                        // fourth dot, far longer
      {"1.2.3.4" + std::string(5000, 'g'), 0, 0},                         // bad character first
      {"1." + std::string(300, '0') + ".3.4.5", 0, 1},                    // fourth dot beats part length
  };
  for (const Row& row : rows) {
    const Decoded d = Decode(row.host);
    EXPECT_EQ(d.value, row.value) << "host of " << row.host.size() << " characters";
    EXPECT_EQ(d.flag, row.flag) << "host of " << row.host.size() << " characters";
  }
}

// A model of the decoding built the plain way: each part's value through
// strtoul or a digit loop with pow, written as "%lu" text and read back.
// Exact for the short parts the generator makes (all below 2^63).
std::uint64_t ModelPart(const std::string& p) {
  if (p.empty()) return 0;
  if (p.size() == 1 || p[0] != '0') return std::strtoul(p.c_str(), nullptr, 0);
  if (p.size() >= 3 && p[1] == 'x') {
    double sum = 0;
    for (std::size_t i = 2; i < p.size(); ++i) {
      const char c = p[i];
      const int d = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : 0;
      sum += d * std::pow(16.0, static_cast<double>(p.size() - 1 - i));
    }
    return static_cast<std::uint64_t>(sum);
  }
  double sum = 0;
  for (std::size_t i = 1; i < p.size(); ++i) {
    if (p[i] < '0' || p[i] > '7') return 0;
    sum += (p[i] - '0') * std::pow(8.0, static_cast<double>(p.size() - 1 - i));
  }
  return static_cast<std::uint64_t>(sum);
}

long ModelDecode(const std::string& host, int* flag) {
  *flag = 0;
  std::string s = host;
  for (char& c : s) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  if (s.empty() || s[0] < '0' || s[0] > '9') return 0;
  int dots = 0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '.') {
      if (++dots == 4) {
        *flag = 1;
        return 0;
      }
    } else if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || c == 'x')) {
      return 0;
    }
  }
  char slots[4][256] = {};
  std::size_t start = 0;
  for (int i = 0; i <= dots; ++i) {
    std::size_t end = s.find('.', start);
    if (end == std::string::npos) end = s.size();
    std::snprintf(slots[i], sizeof slots[i], "%lu", static_cast<unsigned long>(ModelPart(s.substr(start, end - start))));
    start = end + 1;
  }
  const std::uint64_t a = std::strtoul(slots[0], nullptr, 0);
  std::uint64_t v[4] = {a, 0, 0, 0};
  for (int i = 1; i <= dots; ++i) {
    v[i] = static_cast<std::uint64_t>(static_cast<std::int64_t>(static_cast<std::int32_t>(std::strtol(slots[i], nullptr, 10))));
  }
  static const int kShift[4][4] = {{0}, {24, 0}, {24, 16, 0}, {24, 16, 8, 0}};
  std::uint64_t sum = 0;
  for (int i = 0; i <= dots; ++i) sum += v[i] << kShift[dots][i];
  return static_cast<long>(sum);
}

// Random hosts over the admitted alphabet (and a few others), compared
// with the model: catches a part taking the wrong route.
TEST(LGetIpFromAuth, AgreesWithModel) {
  static const char kAlphabet[] = "0000111789abcfxX..A:g";
  std::mt19937 rng(20240611);
  for (int n = 0; n < 40000; ++n) {
    std::string host;
    const int len = static_cast<int>(rng() % 14);
    int run = 0;
    for (int i = 0; i < len; ++i) {
      char c = kAlphabet[rng() % (sizeof kAlphabet - 1)];
      if (run >= 6 && c != '.') c = '.';  // keep parts short, values small
      run = (c == '.') ? 0 : run + 1;
      host += c;
    }
    int flag = -1, model_flag = -1;
    ExactText text(host);
    const long got = lGetIpFromAuth(text.get(), &flag);
    const long want = ModelDecode(host, &model_flag);
    ASSERT_EQ(Hex(got), Hex(want)) << "host '" << host << "'";
    ASSERT_EQ(flag, model_flag) << "host '" << host << "'";
  }
}

TEST(BGetIpStr, Values) {
  struct Row {
    long ip;
    const char* text;
  };
  static const Row kRows[] = {
      {0, kNone},                                  // zero is the no-address text
      {1L << 32, "0.0.0.0"},                       // only the low 32 bits are printed
      {-1, "255.255.255.255"},                     // all bits set
      {2130706433, "127.0.0.1"},                   // loopback
      {0x0A0B0C0D, "10.11.12.13"},                 // two-digit bytes
      {0x64C8FF09, "100.200.255.9"},               // three-digit bytes
      {static_cast<long>(0x8000000000000000), "0.0.0.0"},  // only the sign bit
      {static_cast<long>(0xFFFFFFFF00000000), "0.0.0.0"},  // high bits only
  };
  for (const Row& row : kRows) {
    std::unique_ptr<char[]> out(new char[16]);
    std::memset(out.get(), '#', 16);
    EXPECT_EQ(bGetIpStr(row.ip, out.get()), 1);
    EXPECT_STREQ(out.get(), row.text) << "ip " << Hex(row.ip);
  }
}

// Every byte value in every position, against printf.
TEST(BGetIpStr, AgreesWithPrintf) {
  for (unsigned b = 0; b < 256; ++b) {
    for (int pos = 0; pos < 4; ++pos) {
      const std::uint64_t v = (0x1FFull << 32) | (static_cast<std::uint64_t>(b) << (8 * pos)) | (pos == 0 ? 0x100u : 0x1u);
      char want[32];
      std::snprintf(want, sizeof want, "%d.%d.%d.%d", static_cast<int>((v >> 24) & 255), static_cast<int>((v >> 16) & 255),
                    static_cast<int>((v >> 8) & 255), static_cast<int>(v & 255));
      char out[16];
      bGetIpStr(static_cast<long>(v), out);
      ASSERT_STREQ(out, want) << "byte " << b << " at " << pos;
    }
  }
}

struct TextRow {
  const char* text;
  int expected;
};

const TextRow kAuthIpRows[] = {
    {"1.2.3.4", 1},     // four decimal groups
    {"127.1", 1},       // one dot is enough
    {"1234", 0},        // no dot
    {"1.", 1},          // one dot at the end
    {"1.2.3.4.", 1},    // one dot at the end
    {"1..", 0},         // empty group
    {"1..2", 0},        // empty group
    {".1", 0},          // does not begin with a digit
    {"0.0", 1},         // octal groups of a single 0
    {"0", 0},           // no dot
    {"0x", 0},          // no dot
    {"0x.", 1},         // hex group without digits, dot at the end
    {"0x.1", 1},        // hex group without digits
    {"1.0x", 1},        // last group is 0x
    {"0x1.2", 1},       // hex group
    {"0xa.1", 1},       // lower-case hex digit
    {"0xA.1", 0},       // upper-case letter
    {"0X1.2", 0},       // upper-case X is no hex mark
    {"0x1x.2", 1},      // further x inside a hex group
    {"0xfg.1", 0},      // g not allowed
    {"07.1", 1},        // octal group
    {"08.1", 0},        // 8 in an octal group
    {"1.08", 0},        // 8 in an octal group
    {"01.2", 1},        // octal group
    {"00x.1", 0},       // x in an octal group
    {"1x.2", 0},        // x in a decimal group
    {"a.1", 0},         // letter first
    {"1.a", 0},         // group begins with a letter
    {"999.999", 1},     // values are not tested
    {"1.2.3.4.5", 1},   // number of groups not limited
    {"1.2.3.4:80", 0},  // colon
    {"1.-2", 0},        // minus sign
    {"1.2 ", 0},        // trailing space
    {"", 0},            // empty
    {"1.2.", 1},        // dot at the end after two groups
    {"1.2..", 0},       // two dots at the end
    {"10.0xffx.077", 1},  // all three kinds
    {"9.0777", 1},      // octal after decimal
    {"1.2\xff", 0},     // high byte
};

TEST(BIsAuthIp, Table) {
  for (const TextRow& row : kAuthIpRows) {
    ExactText text(row.text);
    EXPECT_EQ(bIsAuthIp(text.get()), row.expected) << "bIsAuthIp('" << row.text << "')";
  }
  // Long inputs: no limit on groups or their length.
  std::string many;
  for (int i = 0; i < 3000; ++i) many += "12.";
  ExactText long_ok(many + "0x" + std::string(2000, 'f'));
  EXPECT_EQ(bIsAuthIp(long_ok.get()), 1);
  ExactText long_bad(many + "1" + std::string(2000, 'f'));
  EXPECT_EQ(bIsAuthIp(long_bad.get()), 0);
}

const TextRow kPrivateRows[] = {
    {"10.1.2.3", 1},          // 10/8
    {"127.0.0.1", 1},         // loopback, 127.0.0.x only
    {"192.168.0.1", 1},       // 192.168/16
    {"172.16.0.1", 1},        // first of 172.16-31
    {"172.31.255.255", 1},    // last of 172.16-31
    {"172.20.1.1", 1},        // middle of 172.16-31
    {"0.1.2.3", 1},           // this network
    {"127.1.2.3", 0},         // rest of 127/8 is not listed
    {"100.1.2.3", 0},         // starts like 10 but is not
    {"172.15.0.1", 0},        // below the range
    {"172.32.0.1", 0},        // above the range
    {"172.1.0.1", 0},         // one digit only
    {"172.160.0.1", 0},       // three digits
    {"172.3", 0},             // shorter than the prefix
    {"172.16", 0},            // prefix without its dot
    {"192.169.0.1", 0},       // neighbour of 192.168
    {"169.254.1.1", 0},       // link-local is not listed
    {"8.8.8.8", 0},           // public
    {"000.000.000.000", 0},   // the no-address text
    {"10.example", 1},        // text test only
    {"10", 0},                // shorter than "10."
    {"0", 0},                 // shorter than "0."
    {"", 0},                  // empty
};

TEST(BIsPrivateIp, Table) {
  for (const TextRow& row : kPrivateRows) {
    ExactText text(row.text);
    EXPECT_EQ(bIsPrivateIp(text.get()), row.expected) << "bIsPrivateIp('" << row.text << "')";
  }
}

// The first two bytes of every quad, against the list of prefixes.
TEST(BIsPrivateIp, AgreesWithPrefixList) {
  static const char* const kPrefixes[] = {"0.", "10.", "127.0.0.", "192.168."};
  for (int a = 0; a < 256; ++a) {
    for (int b = 0; b < 256; ++b) {
      char quad[32];
      std::snprintf(quad, sizeof quad, "%d.%d.0.1", a, b);
      int want = (a == 172 && b >= 16 && b <= 31) ? 1 : 0;
      for (const char* p : kPrefixes) want |= std::strncmp(quad, p, std::strlen(p)) == 0 ? 1 : 0;
      ASSERT_EQ(bIsPrivateIp(quad), want) << quad;
    }
  }
}

}  // namespace
