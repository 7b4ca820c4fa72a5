// The built-in TLD table (1149 top-level and public second-level domains)
// and the tests against it.
//
// Two tests answer differently for some names, and callers pick one:
// - the list test bIsTLD matches whole table entries (and any "xn--" name);
// - the key test bIsTLD2 compares a packed key of the first 8 characters,
//   so it also accepts names that only share a key with an entry.
// All four functions are safe on any number of threads at any time and
// allocate nothing: the key table is constant data built into the library.
#ifndef URLKEYS_TLD_H
#define URLKEYS_TLD_H

#include "export.h"

// Longest name the key test accepts.
#define ZU_TLD_KEY_MAX_LEN 10
// Longest name the list test accepts.
#define ZU_TLD_LIST_MAX_LEN 256

// Prepares the key table for bIsTLD2 and returns 0. Optional: the table is
// always ready. Prints a warning to standard output for any table name over
// 16 characters (the built-in table has none). Allocates nothing.
URLKEYS_API int ZuCreateTldHashTable();
// Key test: true when len <= ZU_TLD_KEY_MAX_LEN and the key of the first min(len, 8) bytes of
// `name` equals the key of a table entry. Reads exactly min(len, 8) bytes
// (none when len <= 0), so `name` may be a span inside a longer text.
URLKEYS_API bool bIsTLD2(char* name, int len);
// List test: true when `name` is a whole table entry (case-sensitive; a name
// with commas matches consecutive entries) or begins with "xn--"; false for
// names over ZU_TLD_LIST_MAX_LEN characters.
URLKEYS_API bool bIsTLD(char* name);
// The list test on the text after the last dot of `host`; false without a dot.
// Hosts of any length are accepted.
URLKEYS_API bool bCheckTLD(char* host);

#endif
