// Host and path reduction: reversing a host's labels, dropping leading
// labels or the last path segment one step at a time.
#ifndef URLKEYS_DOMAIN_H
#define URLKEYS_DOMAIN_H

#include "export.h"

// Reverses the order of the dot-separated labels of `name` in place
// ("a.example.com" -> "com.example.a"); returns 0. Reentrant.
URLKEYS_API int bReverseDomain(char* name);
// Returns a pointer into `domain` just after the n-th `sep` (n < 1 counts as
// 1), or null when there are fewer. *more is true when that rest is not
// empty, holds `sep` again and is not a TLD by the key test. Reentrant.
URLKEYS_API char* sLcpDomain(const char* domain, char sep, int n, bool* more);
// Copies `path` without its last `sep` and what follows into a thread-local
// 4096-byte buffer and returns it; null when there is no `sep` or the path is
// 4096 characters or longer. *more is true when the result still holds `sep`.
// The result is valid until this thread's next call.
URLKEYS_API char* sLcpPath(const char* path, char sep, bool* more);
// Diagnostic: prints L*(L-1)/2 groups of three spaces for a domain of L
// labels and keeps its last two labels in a thread-local buffer (labels and
// the pair cut at 255 characters). Returns true. The int is ignored.
URLKEYS_API bool bParseDomain(const char* domain, int unused);

#endif
