// Other spellings of one host: the forms a resolver treats as the same host
// while their text differs, reduced to one form so that a key list and the
// URLs looked up in it meet.
//
// Both functions are pure (no state, no allocation) and safe on any bytes.
#ifndef URLKEYS_MATCH_HOST_FORMS_H
#define URLKEYS_MATCH_HOST_FORMS_H

#include <cstddef>
#include <string_view>

#include "urlkeys/ip.h"

namespace urlkeys::match {

// `host` without its trailing dots ("example.com." is the fully qualified
// form of "example.com"); a host of dots only is returned as it is.
std::string_view WithoutTrailingDots(std::string_view host);

// Writes into quad[ZU_DOTTED_QUAD_SIZE] the dotted quad of a host that the C library's
// inet_aton reads as an IPv4 address, in any of its written forms (one to
// four parts, each decimal, octal with a leading 0 or hexadecimal with 0x,
// the last part filling the bytes left), and returns true; "0x7f000001",
// "2130706433", "0177.1" and "127.0.0.1" all give "127.0.0.1". Returns false
// for anything else, including text with bytes other than digits, the
// letters a-f and x (either case) and dots (so no trailing junk, which
// inet_aton would skip after a blank).
bool CanonicalAddress(std::string_view host, char quad[ZU_DOTTED_QUAD_SIZE]);

}  // namespace urlkeys::match

#endif
