// The dotted-quad text written for address 0 and for a host that is not
// numeric. Private to the library.
#ifndef URLKEYS_IP_QUAD_TEXT_H
#define URLKEYS_IP_QUAD_TEXT_H

#include "urlkeys/ip.h"

namespace urlkeys::ip {

inline constexpr char kNoAddress[ZU_DOTTED_QUAD_SIZE] = "000.000.000.000";

}  // namespace urlkeys::ip

#endif
