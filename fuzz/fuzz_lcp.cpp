// Fuzz target for the LCP candidates: the cLcpUrl walk against the step rule
// (cut the last path segment, then the first host label; stop at a TLD, a
// numeric host or the last label) and the cLcpParse list with a fuzzed
// limit, its full nGetLcp walk, the bounded copies and PrintAll.
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "urlkeys/ip.h"
#include "urlkeys/lcp.h"
#include "urlkeys/tld.h"
#include "urlkeys/unescape.h"

using urlkeys::fuzz::cText;
using urlkeys::fuzz::vCheck;

namespace {

bool bInside(const void* p, const void* obj, size_t size) {
  const char* c = static_cast<const char*>(p);
  const char* o = static_cast<const char*>(obj);
  return c >= o && c < o + size;
}

// The candidate that follows `prev` (at `at`), or null; `next_at` gets the
// position where it must start.
bool bNextModel(const std::string& prev, const char* at, std::string* next, const char** next_at) {
  const size_t slash = prev.rfind('/');
  if (slash != std::string::npos) {
    *next = prev.substr(0, slash);
    *next_at = at;
  } else {
    if (bIsAuthIp(prev.c_str()) != 0) return false;
    const size_t dot = prev.find('.');
    if (dot == std::string::npos) return false;
    *next = prev.substr(dot + 1);
    *next_at = at + dot + 1;
  }
  std::string tld_probe = *next;
  return !bIsTLD(&tld_probe[0]);
}

std::vector<std::string> vWalkUrl(cLcpUrl& o, size_t max_calls) {
  std::vector<std::string> out;
  const char* at = o.sGetNextLcp();
  vCheck(at != nullptr, "the first candidate always exists");
  size_t calls = 1;
  for (;;) {
    vCheck(bInside(at, &o, sizeof o), "candidate points into the object");
    const std::string cur(at);
    out.push_back(cur);
    std::string want;
    const char* want_at = nullptr;
    const bool has_next = bNextModel(cur, at, &want, &want_at);
    const char* next = o.sGetNextLcp();
    ++calls;
    vCheck(calls <= max_calls, "the walk ends within strlen + 4 calls");
    if (!has_next) {
      vCheck(next == nullptr, "the walk ends at a TLD, a numeric host or the last label");
      return out;
    }
    vCheck(next == want_at, "next candidate starts where the step leaves it");
    vCheck(want == next, "next candidate is the previous one cut by one step");
    vCheck(std::strlen(next) < cur.size(), "candidates shrink");
    at = next;
  }
}

void vCheckLcpUrl(const cText& text) {
  std::unique_ptr<cLcpUrl> o(new cLcpUrl(text.get()));
  const cZuUrl& rec = o->oUrl;
  std::string member(rec.hostname);
  if (rec.path[0] != '\0') member += std::string("/") + rec.path;
  const bool www = member.compare(0, 4, "www.") == 0;
  const std::string shown = www ? member.substr(4) : member;
  const std::string host(rec.hostname);
  vCheck((www ? host.substr(4) : host) == o->sGetAuth(), "sGetAuth is the host without www.");
  vCheck(shown == o->sGetBasicUrl(), "sGetBasicUrl is the member URL without www.");

  const size_t max_calls = text.size() + 4;
  const std::vector<std::string> first = vWalkUrl(*o, max_calls);
  vCheck(first[0] == shown, "the first candidate is the whole member URL");
  o->vReset();
  vCheck(shown == o->sGetBasicUrl(), "vReset rebuilds the member URL");
  const std::vector<std::string> second = vWalkUrl(*o, max_calls);
  vCheck(first == second, "a reset walk repeats the candidates");
}

int nLimit(uint8_t b) {
  static const int kExtreme[] = {INT_MIN, -1, 0, 1, 2, 18, 19, 20, 21, 22, 23, 40, 1000, INT_MAX};
  if (b >= 0xF0 && b - 0xF0 < 14) return kExtreme[b - 0xF0];
  return (b & 0x1F) - 4;  // -4 to 27
}

void vCheckLcpParse(const cText& input, int limit, int small) {
  cText text(reinterpret_cast<const uint8_t*>(input.get()), input.size());
  char* url = text.get();
  int count = -1;
  cLcpParse p(url, limit, count);
  vCheck(count >= 0 && count <= 20, "count 0 to 20");
  vCheck(count <= (limit > 0 ? limit : 0), "count within the limit");
  // The text, cut at 4095 characters, is decoded as by whole-text passes
  // while a '%' remains, then loses one trailing '/'.
  {
    std::string model(input.get());
    if (model.size() > LCP_TEXT_SIZE - 1) model.resize(LCP_TEXT_SIZE - 1);
    while (model.find('%') != std::string::npos) {
      zuUrlUnescape(&model[0]);
      model.resize(std::strlen(model.c_str()));
    }
    const std::string got(url);
    vCheck(got == model || (got + "/" == model && !got.empty()),
           "decoded text equals repeated whole-text decoding");
  }
  if (std::strchr(url, '.') == nullptr) vCheck(count == 0, "no '.' gives no candidate");

  const size_t room = std::strlen(url) + 1;
  std::unique_ptr<char[]> dst(new char[room]);
  std::vector<std::string> cands;
  size_t prev_len = room;
  for (int k = 0; k <= count + 1; ++k) {
    const int r = p.nGetLcp(url, dst.get());
    vCheck(std::memchr(dst.get(), 0, room) != nullptr, "candidate unterminated");
    const std::string c(dst.get());
    vCheck(std::strstr(url, c.c_str()) != nullptr, "candidate is part of the text");
    if (k < count) {
      vCheck(r == 1, "count calls return 1");
      vCheck(c.size() <= prev_len, "candidates never grow");
      prev_len = c.size();
    } else {
      vCheck(r == 0, "the walk ends after count candidates");
      if (k == count + 1 && count > 0) vCheck(c.empty(), "a call past the end copies nothing");
    }
    cands.push_back(c);
  }

  // The bounded overloads copy a prefix of the same texts into `small` bytes.
  std::unique_ptr<char[]> tiny(new char[static_cast<size_t>(small)]);
  p.vReset();
  for (int k = 0; k <= count + 1; ++k) {
    const int r = p.nGetLcp(url, tiny.get(), small);
    vCheck(r == (k < count ? 1 : 0), "bounded walk gives the same results");
    vCheck(std::memchr(tiny.get(), 0, static_cast<size_t>(small)) != nullptr,
           "bounded copy unterminated");
    vCheck(cands[static_cast<size_t>(k)].compare(0, std::strlen(tiny.get()), tiny.get()) == 0,
           "bounded copy is a prefix of the candidate");
  }

  p.vReset();
  for (int k = 0; k < count; ++k) {
    vCheck(p.nGetLcp(url, dst.get()) == 1 && cands[static_cast<size_t>(k)] == dst.get(),
           "a reset walk repeats the candidates");
  }

  vCheck(p.GetAuth(url, dst.get()) == 0, "GetAuth returns 0");
  vCheck(std::strstr(url, dst.get()) != nullptr, "GetAuth copies part of the text");
  const std::string auth(dst.get());
  vCheck(p.GetAuth(url, tiny.get(), small) == 0, "bounded GetAuth returns 0");
  vCheck(auth.compare(0, std::strlen(tiny.get()), tiny.get()) == 0, "bounded GetAuth is a prefix");
  vCheck(p.GetTld1(url, dst.get()) == 0, "GetTld1 returns 0");
  vCheck(std::strstr(url, dst.get()) != nullptr, "GetTld1 copies part of the text");
  const std::string tld1(dst.get());
  vCheck(p.GetTld1(url, tiny.get(), small) == 0, "bounded GetTld1 returns 0");
  vCheck(tld1.compare(0, std::strlen(tiny.get()), tiny.get()) == 0, "bounded GetTld1 is a prefix");
  vCheck(p.PrintAll(url, dst.get()) == 0, "PrintAll returns 0");
  vCheck(p.PrintAll(url, tiny.get(), small) == 0, "bounded PrintAll returns 0");
}

}  // namespace

// Byte 0 picks the cLcpParse limit, byte 1 the size of the bounded copies;
// the rest is the URL.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  urlkeys::fuzz::vSilenceStdout();
  if (size < 2) return 0;
  const int limit = nLimit(data[0]);
  const int small = 1 + data[1] % 48;
  const cText text(data + 2, size - 2);
  vCheckLcpUrl(text);
  vCheckLcpParse(text, limit, small);
  return 0;
}
