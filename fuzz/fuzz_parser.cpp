// Fuzz target for the url record: the parsing constructor, bParseUrl, the
// simplified URL, the reversed host, the error messages, bParseHostinfo and
// the flat functions that parse on their own record.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "urlkeys/domain.h"
#include "urlkeys/flat.h"
#include "urlkeys/ip.h"
#include "urlkeys/url.h"

using urlkeys::fuzz::bTerminated;
using urlkeys::fuzz::cText;
using urlkeys::fuzz::vCheck;

namespace {

constexpr unsigned char kMarker = 0xA7;
constexpr unsigned kNamedFlags = 0x3F;

// Every text field ends within its capacity.
void vCheckFields(const cZuUrl& r) {
  vCheck(bTerminated(r.url, ZU_URL_SIZE), "url unterminated");
  vCheck(bTerminated(r.hostinfo, ZU_HOSTINFO_SIZE), "hostinfo unterminated");
  vCheck(bTerminated(r.password, ZU_PASSWORD_SIZE), "password unterminated");
  vCheck(bTerminated(r.hostname, ZU_HOSTNAME_SIZE), "hostname unterminated");
  vCheck(bTerminated(r.auth_rev, ZU_AUTH_REV_SIZE), "auth_rev unterminated");
  vCheck(bTerminated(r.port_str, ZU_PORT_STR_SIZE), "port_str unterminated");
  vCheck(bTerminated(r.fragment, ZU_FRAGMENT_SIZE), "fragment unterminated");
  vCheck(bTerminated(r.scheme, ZU_SCHEME_SIZE), "scheme unterminated");
  vCheck(bTerminated(r.query, ZU_QUERY_SIZE), "query unterminated");
  vCheck(bTerminated(r.user, ZU_USER_SIZE), "user unterminated");
  vCheck(bTerminated(r.path, ZU_PATH_SIZE), "path unterminated");
}

bool bHasUpper(const char* s) {
  for (; *s != '\0'; ++s) {
    if (*s >= 'A' && *s <= 'Z') return true;
  }
  return false;
}

bool bHasAnyOf(const char* s, const char* set) { return std::strpbrk(s, set) != nullptr; }

// The message strGetError must give for an error word: the lowest named
// flag's message, or null.
const char* sExpectedMessage(unsigned errors) {
  static const struct {
    unsigned flag;
    const char* text;
  } kMessages[] = {
      {0x01, "general parsing error"},      {0x02, "host parsing error 1"},
      {0x04, "host parsing error 2"},       {0x08, "host parsing error 3"},
      {0x10, "parsing error no authority"}, {0x20, "parsing error no scheme"},
  };
  for (const auto& m : kMessages) {
    if ((errors & m.flag) != 0) return m.text;
  }
  return nullptr;
}

void vCheckMessage(cZuUrl& r) {
  const char* got = r.strGetError();
  const char* want = sExpectedMessage(r.errors);
  vCheck((got == nullptr) == ((r.errors & kNamedFlags) == 0), "strGetError null iff no named flag");
  vCheck(got == want || (got != nullptr && want != nullptr && std::strcmp(got, want) == 0),
         "strGetError gives the lowest flag's message");
}

bool bSame(const cZuUrl& a, const cZuUrl& b) {
  return std::strcmp(a.url, b.url) == 0 && std::strcmp(a.hostinfo, b.hostinfo) == 0 &&
         std::strcmp(a.password, b.password) == 0 && std::strcmp(a.hostname, b.hostname) == 0 &&
         std::strcmp(a.port_str, b.port_str) == 0 && std::strcmp(a.fragment, b.fragment) == 0 &&
         std::strcmp(a.scheme, b.scheme) == 0 && std::strcmp(a.query, b.query) == 0 &&
         std::strcmp(a.user, b.user) == 0 && std::strcmp(a.path, b.path) == 0 && a.port == b.port;
}

// The simplified URL composed from the record's fields: scheme "://", the
// host (canonical dotted quad when numeric), ":" port text, "/" path with
// the trailing slashes dropped.
std::string sExpectedSimple(cZuUrl& r, int* flag) {
  std::string s;
  *flag = 0;
  if (r.scheme[0] != '\0') s = std::string(r.scheme) + "://";
  if (r.hostname[0] != '\0') {
    if (r.bIsIp() != 0) {
      char quad[ZU_DOTTED_QUAD_SIZE];
      bGetIpStr(lGetIpFromAuth(r.hostname, flag), quad);
      s += quad;
    } else {
      s += r.hostname;
    }
  }
  if (r.port_str[0] != '\0') s += std::string(":") + r.port_str;
  if (r.path[0] != '\0') {
    s += std::string("/") + r.path;
    while (!s.empty() && s.back() == '/') s.pop_back();
  }
  return s;
}

void vCheckParsed(cZuUrl& r, const cText& text) {
  vCheckFields(r);
  vCheck((r.errors & ~0x36u) == 0, "constructor sets only flags 0x02, 0x04, 0x10, 0x20");
  vCheck(((r.errors & 0x20) != 0) == (r.scheme[0] == '\0'), "no-scheme flag iff empty scheme");
  vCheck(((r.errors & 0x10) != 0) == (r.hostname[0] == '\0'), "no-authority flag iff empty host");
  vCheck((r.errors & 0x06) != 0x06, "one parse result only");
  if ((r.errors & 0x02) != 0) {
    vCheck(r.hostname[0] == '\0' && r.port_str[0] == '\0' && r.path[0] == '\0' &&
               r.query[0] == '\0' && r.fragment[0] == '\0',
           "a bracket error stores nothing after the user information");
  }
  if ((r.errors & 0x04) != 0) {
    vCheck(r.path[0] == '\0' && r.query[0] == '\0' && r.fragment[0] == '\0',
           "a port error stores nothing after the port");
  }
  vCheck(!bHasUpper(r.scheme) && !bHasUpper(r.hostname), "scheme and host are lower-case");
  vCheck(r.hostinfo[0] != '\0' || r.hostname[0] == '\0', "a host comes from an authority");
  vCheck(!bHasAnyOf(r.hostinfo, "/?#\n"), "authority ends at / ? # or line feed");
  vCheck(!bHasAnyOf(r.hostname, "/?#\n"), "host lies inside the authority");
  const size_t host_len = std::strlen(r.hostname);
  vCheck(host_len == 0 || r.hostname[host_len - 1] != ' ', "host has no trailing space");
  vCheck(!bHasAnyOf(r.path, "?#"), "path ends at ? or #");
  vCheck(!bHasAnyOf(r.query, "#"), "query ends at #");
  vCheck(std::strlen(r.url) <= text.size() + 2, "decoded URL no longer than // + input");
  vCheck(r.auth_rev[0] == '\0', "parse leaves the reversed host empty");
  vCheckMessage(r);
}

void vCheckSimpleAndReverse(cZuUrl& r) {
  // bGetSimpleUrl: at most ZU_SIMPLE_URL_SIZE bytes written, terminated.
  constexpr size_t kRoom = ZU_SIMPLE_URL_SIZE + 64;
  std::unique_ptr<unsigned char[]> out(new unsigned char[kRoom]);
  std::memset(out.get(), kMarker, kRoom);
  char* simple = reinterpret_cast<char*>(out.get());
  const int flag = r.bGetSimpleUrl(simple);
  for (size_t i = ZU_SIMPLE_URL_SIZE; i < kRoom; ++i) {
    vCheck(out[i] == kMarker, "bGetSimpleUrl wrote past its buffer");
  }
  vCheck(bTerminated(simple, ZU_SIMPLE_URL_SIZE), "simplified URL unterminated");
  int want_flag = 0;
  const std::string want = sExpectedSimple(r, &want_flag);
  vCheck(flag == want_flag, "bGetSimpleUrl returns the too-many-dots flag");
  vCheck(want == simple, "simplified URL is scheme://host:port/path");
  vCheck(r.bIsIp() == bIsAuthIp(r.hostname), "bIsIp agrees with bIsAuthIp on the host");

  // bGetAuthRev: same length as the host, reverses back to it, cached.
  char* rev = r.bGetAuthRev();
  vCheck(rev == r.auth_rev, "bGetAuthRev returns the auth_rev field");
  vCheck(bTerminated(r.auth_rev, ZU_AUTH_REV_SIZE), "auth_rev unterminated");
  vCheck(std::strlen(rev) == std::strlen(r.hostname), "reversed host keeps its length");
  std::string back(rev);
  bReverseDomain(&back[0]);
  vCheck(back == r.hostname, "reversing the reversed host gives the host");
  const std::string first(rev);
  vCheck(first == r.bGetAuthRev(), "second bGetAuthRev gives the same text");
}

void vCheckHostinfo(const cText& text) {
  std::unique_ptr<cZuUrl> r(new cZuUrl());
  r->init();
  const int res = r->bParseHostinfo(text.get());
  vCheck(res >= 0 && res <= 3, "bParseHostinfo result 0-3");
  vCheckFields(*r);
  const size_t len = std::strlen(text.get());
  const size_t kept = len < ZU_HOSTINFO_SIZE - 1 ? len : ZU_HOSTINFO_SIZE - 1;
  vCheck(std::strlen(r->hostinfo) == kept && std::memcmp(r->hostinfo, text.get(), kept) == 0,
         "hostinfo is the text cut at 1023");
  vCheck(r->port >= 0 && r->port <= 65535, "bParseHostinfo keeps a 16-bit port");
  if (res == 2) {
    vCheck(std::strchr(text.get(), ':') == nullptr && r->hostname[0] == '\0',
           "result 2 only without a ':'");
  }
  if (res == 1) vCheck(text.get()[0] == '[', "result 1 only for a bracketed host");
  if (text.get()[0] != '[' && std::strchr(text.get(), ':') != nullptr) {
    vCheck(res != 1 && res != 2, "a host with ':' parses past the separator");
  }
  vCheck(!bHasUpper(r->hostname), "host is lower-case");
  const unsigned flags = static_cast<unsigned>(r->bSetErrors(res));
  const unsigned code_flag = res == 0 ? 0u : (1u << res);
  vCheck((flags & 0x0E) == code_flag, "bSetErrors maps the result code to its flag");
  vCheck(((flags & 0x10) != 0) == (r->hostname[0] == '\0'), "no-authority flag iff empty host");
  vCheck((flags & 0x20) != 0, "bParseHostinfo stores no scheme");
  vCheck(flags == r->errors, "bSetErrors returns the error word");
  vCheckMessage(*r);
}

void vCheckFlat(const cText& text, const cZuUrl& r) {
  static constexpr size_t kSizes[6] = {ZU_SCHEME_SIZE, ZU_HOSTNAME_SIZE, ZU_PORT_STR_SIZE,
                                       ZU_USER_SIZE,   ZU_PASSWORD_SIZE, ZU_PATH_SIZE};
  std::unique_ptr<char[]> out[6];
  for (int i = 0; i < 6; ++i) {
    out[i].reset(new char[kSizes[i]]);
    std::memset(out[i].get(), kMarker, kSizes[i]);
  }
  cText copy(reinterpret_cast<const uint8_t*>(text.get()), text.size());
  vZuParseUrl(copy.get(), out[0].get(), out[1].get(), out[2].get(), out[3].get(), out[4].get(),
              out[5].get());
  const char* fields[6] = {r.scheme, r.hostname, r.port_str, r.user, r.password, r.path};
  for (int i = 0; i < 6; ++i) {
    vCheck(bTerminated(out[i].get(), kSizes[i]), "vZuParseUrl output unterminated");
    vCheck(std::strcmp(out[i].get(), fields[i]) == 0, "vZuParseUrl agrees with the record");
  }
  vCheck(std::memcmp(copy.get(), text.get(), text.size() + 1) == 0, "flat functions keep input");

  const int is_ip = bIsUrlIp(copy.get());
  vCheck(is_ip == bIsAuthIp(r.hostname), "bIsUrlIp agrees with bIsAuthIp on the host");
  unsigned char quad[32];
  std::memset(quad, kMarker, sizeof quad);
  const int dq = bDottedQuadIp(copy.get(), reinterpret_cast<char*>(quad));
  for (size_t i = ZU_DOTTED_QUAD_SIZE; i < sizeof quad; ++i)
    vCheck(quad[i] == kMarker, "bDottedQuadIp overran");
  vCheck(bTerminated(reinterpret_cast<char*>(quad), ZU_DOTTED_QUAD_SIZE),
         "dotted quad unterminated");
  vCheck(dq == is_ip, "bDottedQuadIp returns 1 exactly for numeric hosts");
  char want[ZU_DOTTED_QUAD_SIZE] = "000.000.000.000";
  if (is_ip != 0) {
    int dots = 0;
    bGetIpStr(lGetIpFromAuth(r.hostname, &dots), want);
  }
  vCheck(std::strcmp(want, reinterpret_cast<char*>(quad)) == 0, "bDottedQuadIp text");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  urlkeys::fuzz::vSilenceStdout();
  const cText text(data, size);

  std::unique_ptr<cZuUrl> rec(new cZuUrl(text.get()));
  vCheckParsed(*rec, text);
  vCheck(rec->initialised == 1, "parsing constructor initialises");

  // bParseUrl on a fresh record must store the same fields, and its result
  // must be the code behind the constructor's error flags.
  std::unique_ptr<cZuUrl> again(new cZuUrl());
  again->init();
  const int res = again->bParseUrl(text.get());
  vCheck(res >= 0 && res <= 2, "bParseUrl result 0-2");
  vCheck(res == ((rec->errors & 0x02) != 0   ? 1
                 : (rec->errors & 0x04) != 0 ? 2
                                             : 0),
         "constructor flags follow the parse result");
  vCheck(bSame(*rec, *again), "bParseUrl and the constructor agree");
  vCheck(again->errors == 0, "bParseUrl leaves errors alone");

  vCheckSimpleAndReverse(*rec);
  vCheckFlat(text, *rec);
  rec->bDebugPrint();
  vCheckHostinfo(text);

  rec->freemem();
  vCheck(rec->bIsIp() == 0, "a freed record is not numeric");
  vCheck(rec->hostname[0] == '\0' && rec->url[0] == '\0' && rec->auth_rev[0] == '\0',
         "freemem empties the fields");
  return 0;
}
