#include "match/host_forms.h"

#include <arpa/inet.h>

#include <cstdint>
#include <cstring>

#include "urlkeys/ip.h"
#include "urlkeys/url.h"

namespace urlkeys::match {

std::string_view WithoutTrailingDots(std::string_view host) {
  size_t n = host.size();
  while (n && host[n - 1] == '.') --n;
  return n ? host.substr(0, n) : host;
}

bool CanonicalAddress(std::string_view host, char quad[ZU_DOTTED_QUAD_SIZE]) {
  // inet_aton takes any number of leading zeros in a part, so the text is not
  // bounded by the forms; it is bounded by the longest host a URL record
  // holds (longer list keys cannot meet a parsed host anyway).
  char text[ZU_HOSTNAME_SIZE];
  if (host.empty() || host.size() >= sizeof text) return false;
  if (host[0] < '0' || host[0] > '9') return false;  // the common case: a name
  for (char c : host) {
    bool digit = c >= '0' && c <= '9';
    bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == 'x' || c == 'X';
    if (!digit && !hex && c != '.') return false;
  }
  memcpy(text, host.data(), host.size());
  text[host.size()] = '\0';
  in_addr address;
  if (inet_aton(text, &address) == 0) return false;
  // The library writes the quad; it keeps the text "000.000.000.000" for the
  // value 0, which as an address is 0.0.0.0.
  uint32_t value = ntohl(address.s_addr);
  if (value == 0) {
    memcpy(quad, "0.0.0.0", 8);
  } else {
    bGetIpStr(static_cast<long>(value), quad);
  }
  return true;
}

}  // namespace urlkeys::match
