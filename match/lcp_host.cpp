#include "match/lcp_host.h"

#include <cstring>

#include "common/ascii.h"

namespace urlkeys::match {

const char* LcpParseHostStart(const char* text) {
  const char* dot = strchr(text, '.');
  const char* slash = strchr(text, '/');
  const char* host = text;
  if (slash && dot && dot > slash && slash[1] == '/' && slash > text && slash[-1] == ':')
    host = slash + 2;
  if (urlkeys::common::bHasWwwPrefix(host)) host += 4;
  return host;
}

}  // namespace urlkeys::match
