// The key lists of the tool: the --list files loaded into a key store, or
// the built-in sample list (and the sample URLs that go with it).
#ifndef URLKEYS_TOOLS_KEY_LISTS_H
#define URLKEYS_TOOLS_KEY_LISTS_H

#include <span>

#include "match/key_store.h"
#include "options.h"

namespace urlkeys::tool {

// Loads the --list files of `options` into *store, each under its name, or
// the built-in sample list when there is none. With --stats, reports the
// keys, the memory and the time taken on standard error. On failure prints
// the reason and returns false.
bool LoadKeyLists(const Options& options, urlkeys::match::KeyStore* store);

// The built-in sample URLs: a path-prefix hit, host-suffix hits, a numeric
// host and misses against the sample list.
std::span<const char* const> SampleUrls();

}  // namespace urlkeys::tool

#endif
