// urlkeys match: each URL's first LCP candidate that the key lists hold, and
// with named lists the names of the lists that hold it.
#include "commands.h"
#include "key_lists.h"
#include "match/line_matcher.h"

namespace urlkeys::tool {

int RunMatch(const Options& options) {
  urlkeys::match::KeyStore store;
  if (!LoadKeyLists(options, &store)) return 2;
  // Named lists on the command line are exactly a store with named lists.
  urlkeys::match::LineMatcher matcher(store, options.json, false);
  unsigned long matched = 0;
  // The sample URLs go with the sample list only.
  std::span<const char* const> sample;
  if (options.lists.empty()) sample = SampleUrls();
  return ForEachUrl(
      options, sample,
      [&](const char* url, Output& out) {
    if (matcher.WriteFields(url, out)) ++matched;
      },
      &matched);
}

}  // namespace urlkeys::tool
