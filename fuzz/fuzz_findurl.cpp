// Fuzz target for cFindUrl: the host found is null or a terminated text of
// less than 1024 bytes taken from the input, exactly as the cache and
// archive forms define it; a later miss keeps the earlier result.
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_common.h"
#include "urlkeys/findurl.h"

using urlkeys::fuzz::vCheck;

namespace {

const std::string kCacheMarker = "search?q=cache:";
const std::string kArchiveMarker = std::string(URLKEYS_ARCHIVE_HOST) + "/web/";

// The host between `from` (inclusive) and the next '/', when there is one,
// it is not empty and it fits the result buffer.
bool bHostAfter(const std::string& s, size_t from, std::string* host) {
  const size_t slash = s.find('/', from);
  if (slash == std::string::npos || slash == from) return false;
  if (slash - from >= ZU_FINDURL_SIZE) return false;
  *host = s.substr(from, slash - from);
  return true;
}

bool bCacheModel(const std::string& s, std::string* host) {
  const size_t m = s.find(kCacheMarker);
  if (m == std::string::npos) return false;
  const size_t colon = s.find(':', m + kCacheMarker.size());
  return colon != std::string::npos && bHostAfter(s, colon + 1, host);
}

bool bArchiveModel(const std::string& s, std::string* host) {
  const size_t m = s.find(kArchiveMarker);
  if (m == std::string::npos) return false;
  const size_t http = s.find("http://", m + kArchiveMarker.size());
  return http != std::string::npos && bHostAfter(s, http + 7, host);
}

// Checks pGetUrl against the host expected to be held (empty for none).
void vCheckHeld(cFindUrl& f, const std::string& want) {
  char* got = f.pGetUrl();
  if (want.empty()) {
    vCheck(got == nullptr, "no host gives null");
    return;
  }
  vCheck(got != nullptr, "a host found is returned");
  vCheck(std::memchr(got, 0, ZU_FINDURL_SIZE) != nullptr, "host unterminated within 1024 bytes");
  vCheck(want == got, "host is the text up to the first '/'");
}

}  // namespace

// The input holds up to two URLs separated by a NUL: the first is given to
// the constructor, the second to the finders on the same object.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const urlkeys::fuzz::cText text(data, size);
  const char* first = text.get();
  const size_t first_len = std::strlen(first);
  const char* second = first_len < size ? first + first_len + 1 : nullptr;

  std::string held;
  if (!bCacheModel(first, &held)) bArchiveModel(first, &held);
  std::unique_ptr<cFindUrl> f(new cFindUrl(first));
  vCheckHeld(*f, held);
  if (!held.empty()) vCheck(std::strstr(first, f->pGetUrl()) != nullptr, "host is part of the URL");
  if (second == nullptr) return 0;

  std::string cache, archive;
  const bool is_cache = bCacheModel(second, &cache);
  const bool is_archive = bArchiveModel(second, &archive);
  const int form = is_cache ? 1 : is_archive ? 2 : 0;
  vCheck(f->nFindEmbeddedUrl(second) == form, "nFindEmbeddedUrl names the form, cache first");
  if (form != 0) held = is_cache ? cache : archive;
  vCheckHeld(*f, held);

  vCheck(f->nFindInternetArchiveUrl(second) == (is_archive ? 1 : 0), "archive form alone");
  if (is_archive) held = archive;
  vCheckHeld(*f, held);
  vCheck(f->nFindGoogleCacheUrl(second) == (is_cache ? 1 : 0), "cache form alone");
  if (is_cache) held = cache;
  vCheckHeld(*f, held);
  return 0;
}
