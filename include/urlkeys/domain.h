// Host and path reduction: reversing a host's labels, dropping leading
// labels or the last path segment one step at a time.
// Pointer arguments must not be null. None of these functions allocates
// memory itself.
// A NUL `sep` never matches (the terminator is not a separator): the call
// returns null and sets *more to false.
#ifndef URLKEYS_DOMAIN_H
#define URLKEYS_DOMAIN_H

#include "export.h"

// Size of sLcpPath's result buffer.
#define ZU_LCP_PATH_SIZE 4096
// Size of bParseDomain's buffer for the last two labels.
#define ZU_DOMAIN_PAIR_SIZE 256

// Reverses the order of the dot-separated labels of `name` in place
// ("a.example.com" -> "com.example.a"); returns 0. Reentrant.
URLKEYS_API int bReverseDomain(char* name);
// Returns a pointer into `domain` just after the n-th `sep` (n < 1 counts as
// 1), or null when there are fewer. *more is true when that rest is not
// empty, holds `sep` again and is not a TLD by the key test. Reentrant.
URLKEYS_API char* sLcpDomain(const char* domain, char sep, int n, bool* more);
// Copies `path` without its last `sep` and what follows into a thread-local
// ZU_LCP_PATH_SIZE-byte buffer and returns it; null when there is no `sep`. A longer path
// is read as its first 4095 characters (and not past them), so its leading
// prefixes still come out. *more is true when the result still holds `sep`,
// false on every null.
// The result is valid until this thread's next call; `path` is not changed.
URLKEYS_API char* sLcpPath(const char* path, char sep, bool* more);
// Diagnostic: prints L*(L-1)/2 groups of three spaces (no newline) on
// standard output for a domain of L labels (dots + 1, empty labels counted)
// and keeps its last two labels as "a.b" in a thread-local ZU_DOMAIN_PAIR_SIZE-byte buffer
// (each label, then the pair, cut at 255 characters). Returns true. The int
// is ignored.
URLKEYS_API bool bParseDomain(const char* domain, int unused);

#endif
