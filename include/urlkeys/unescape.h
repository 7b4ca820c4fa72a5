// Percent-decoding of URL text in place.
#ifndef URLKEYS_UNESCAPE_H
#define URLKEYS_UNESCAPE_H

#include "export.h"

// Decodes %XX escapes and '+' (to a space) and folds each UTF-8 sequence to
// the low byte of its code point, in place; the text never grows. Returns the
// number of escapes decoded ('%' followed by two characters, and '+').
// Any length is accepted: the text is rewritten where it lies, and bytes
// after the new terminator are left unspecified. A null pointer gives 0; the
// count stops at INT_MAX. Reentrant; does not allocate.
URLKEYS_API int zuUrlUnescape(char* text);

#endif
