// urlkeys: every family of the library in one include.
//
// Rules the family headers refer to:
// - Lifetime: a pointer an object hands out points into that object and
//   stays valid until the object is changed or destroyed.
// - Objects: distinct objects may be used on different threads at once; one
//   object is used by one thread at a time.
// - Reentrant functions read only their arguments and may run on any number
//   of threads at once.
#ifndef URLKEYS_URLKEYS_H
#define URLKEYS_URLKEYS_H

#include "digest.h"
#include "domain.h"
#include "findurl.h"
#include "flat.h"
#include "ip.h"
#include "lcp.h"
#include "tld.h"
#include "unescape.h"
#include "url.h"

#endif
