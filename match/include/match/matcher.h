// Matcher: finds the first LCP candidate of a URL that a KeyStore holds.
//
// A Matcher holds the working memory of one walk (a parsed URL record and a
// copy of its candidates, about 30 KB, allocated once when it is made), so
// matching a URL allocates nothing. Use one Matcher per thread; any number
// of Matchers may share one const KeyStore.
#ifndef URLKEYS_MATCH_MATCHER_H
#define URLKEYS_MATCH_MATCHER_H

#include <cstdint>
#include <memory>
#include <string_view>

#include "match/key_store.h"

class cLcpUrl;

namespace urlkeys::match {

// A match: the store's copy of the key (valid while the store is unchanged)
// and the lists that hold it (bit i: list i).
struct Hit {
  std::string_view key;
  uint64_t lists = 0;
};

class Matcher {
 public:
  Matcher();
  ~Matcher();
  // A moved-from Matcher may only be assigned to or destroyed.
  Matcher(Matcher&&) noexcept;
  Matcher& operator=(Matcher&&) noexcept;
  Matcher(const Matcher&) = delete;
  Matcher& operator=(const Matcher&) = delete;

  // Walks the LCP candidates of `url` (the cLcpUrl walk, most specific
  // first) and stops at the first one `store` holds: true with *hit set, or
  // false (and *hit cleared) when none is held. A null `url` is empty text.
  // When no candidate is held, the walk is repeated for other spellings of
  // the same host: without its trailing dots ("example.com."), then an IPv4
  // address in any written form ("0x7f000001", "2130706433", "0177.1") as
  // its dotted quad.
  bool Match(const KeyStore& store, const char* url, Hit* hit);

 private:
  // Looks the candidates of `walk` (fresh or reset, not yet walked) up in walk order,
  // in batches; true with *hit at the first held one.
  bool Walk(const KeyStore& store, cLcpUrl& walk, Hit* hit);

  struct Work;
  std::unique_ptr<Work> work_;
};

}  // namespace urlkeys::match

#endif
