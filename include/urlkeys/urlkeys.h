// urlkeys: every family of the library in one include.
#ifndef URLKEYS_URLKEYS_H
#define URLKEYS_URLKEYS_H

#include "url.h"
#include "unescape.h"
#include "flat.h"
#include "ip.h"
#include "tld.h"
#include "domain.h"
#include "lcp.h"
#include "findurl.h"
#include "digest.h"

#endif
