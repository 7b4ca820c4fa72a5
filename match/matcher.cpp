// The walk behind Matcher::Match. Candidates are looked up in small batches:
// each batch's table lines are prefetched together, so their cache misses
// overlap instead of following one another; the batch is then probed in
// walk order, so the most specific held candidate still wins.
#include "match/matcher.h"

#include "match/host_forms.h"

#include <urlkeys/lcp.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <utility>

namespace urlkeys::match {
namespace {

constexpr int kBatch = 8;

struct Candidate {
  std::string_view text;
  uint64_t hash;
};

}  // namespace

struct Matcher::Work {
  std::optional<cLcpUrl> walk;  // re-made for every URL, in place
  // The whole member URL: every candidate is a piece of it, and the walk
  // writes NULs into its own copy as it goes.
  char text[LCP_MEMBER_URL_SIZE];
  Candidate batch[kBatch];
};

Matcher::Matcher() : work_(std::make_unique<Work>()) {}
Matcher::~Matcher() = default;
Matcher::Matcher(Matcher&&) noexcept = default;
Matcher& Matcher::operator=(Matcher&&) noexcept = default;

bool Matcher::Match(const KeyStore& store, const char* url, Hit* hit) {
  *hit = Hit{};
  cLcpUrl& walk = work_->walk.emplace(url);
  if (Walk(store, walk, hit)) return true;
  // Other spellings of the same host, each walked with the same path after
  // the walk as written, so that a key matching the written form wins: the
  // host without trailing dots, then an IPv4 address in any written form as
  // its dotted quad. The record's host is rewritten in place and the member
  // URL rebuilt from it: the path is the one parsed (and decoded) once.
  char* host = walk.oUrl.hostname;
  size_t length = strlen(host);
  std::string_view bare = WithoutTrailingDots(std::string_view(host, length));
  if (bare.size() != length) {
    host[bare.size()] = '\0';
    walk.vReset();
    if (Walk(store, walk, hit)) return true;
  }
  char quad[ZU_DOTTED_QUAD_SIZE];
  if (CanonicalAddress(bare, quad) && bare != quad) {
    memcpy(host, quad, strlen(quad) + 1);
    walk.vReset();
    if (Walk(store, walk, hit)) return true;
  }
  return false;
}

bool Matcher::Walk(const KeyStore& store, cLcpUrl& walk, Hit* hit) {
  Work& w = *work_;
  int n = 0;
  // Probes the batch in walk order; true at the first held candidate.
  auto probe = [&]() {
    const int count = std::exchange(n, 0);
    for (int i = 0; i < count; ++i) {
      std::string_view stored;
      uint64_t lists = store.FindHashed(w.batch[i].text, w.batch[i].hash, &stored);
      if (lists) {
        *hit = Hit{stored, lists};
        return true;
      }
    }
    return false;
  };
  const char* first = walk.sGetNextLcp();  // never null: the whole member URL
  const size_t first_length = strlen(first);
  memcpy(w.text, first, first_length + 1);
  bool whole = true;  // the first candidate, whose length is known
  for (const char* c = first; c; c = walk.sGetNextLcp(), whole = false) {
    const size_t length = whole ? first_length : strlen(c);
    // Each candidate is a piece of the member URL, found in the copy. Should
    // one ever lie elsewhere, the batch so far is probed and it is looked up
    // at once, where it lies.
    const uintptr_t offset = reinterpret_cast<uintptr_t>(c) - reinterpret_cast<uintptr_t>(first);
    if (offset > first_length || length > first_length - offset) {
      if (probe()) return true;
      std::string_view stored;
      if (uint64_t lists = store.Find(std::string_view(c, length), &stored)) {
        *hit = Hit{stored, lists};
        return true;
      }
      continue;
    }
    std::string_view text(w.text + offset, length);
    uint64_t hash = KeyStore::KeyHash(text);
    store.Prefetch(hash);
    w.batch[n++] = Candidate{text, hash};
    if (n == kBatch && probe()) return true;
  }
  return probe();
}

}  // namespace urlkeys::match
