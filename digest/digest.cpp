// vMd5FromUrl: the MD5 hex digest of a URL's bytes, as given.
#include "urlkeys/digest.h"

#include <cstring>

#include "md5.h"

void vMd5FromUrl(const char* url, char* out) { Md5Hex(url, out, std::strlen(url)); }
