// urlkeys match: each URL's first LCP candidate that the key lists hold, and
// with named lists the names of the lists that hold it.
#include "commands.h"
#include "key_lists.h"
#include "match/matcher.h"

namespace urlkeys::tool {

int RunMatch(const Options& options) {
  urlkeys::match::KeyStore store;
  if (!LoadKeyLists(options, &store)) return 2;
  urlkeys::match::Matcher matcher;
  unsigned long matched = 0;
  // The sample URLs go with the sample list only.
  std::span<const char* const> sample;
  if (options.lists.empty()) sample = SampleUrls();
  return ForEachUrl(options, sample, [&](const char* url, Output& out) {
    urlkeys::match::Hit hit;
    bool found = matcher.Match(store, url, &hit);
    if (found) {
      ++matched;
      out.Field("match", hit.key);
    } else {
      out.Field("match", options.json ? nullptr : "");  // JSON null, or an empty field
    }
    if (!options.named_lists) return;
    out.JoinedBegin("lists");
    for (int i = 0; i < store.ListCount(); ++i)
      if (hit.lists >> i & 1) out.JoinedItem(store.ListName(i), ',');
    out.JoinedEnd();
  }, &matched);
}

}  // namespace urlkeys::tool
