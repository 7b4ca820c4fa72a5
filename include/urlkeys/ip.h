// IPv4 numeric hosts: recognition, decoding to an address value, the
// canonical dotted quad, and the private-range test. All functions are
// reentrant and do not allocate. Pointer arguments must not be null.
#ifndef URLKEYS_IP_H
#define URLKEYS_IP_H

#include "export.h"

// Size of a dotted-quad buffer: "255.255.255.255" and its NUL.
#define ZU_DOTTED_QUAD_SIZE 16

// Decodes a host of 1-4 dot-separated decimal, octal ("0...") or hex ("0x...")
// parts into an address value (low 32 bits, first byte highest); over-large
// parts carry into the bytes above. Returns 0 for text that is not numeric;
// sets *too_many_dots to 1 only when a fourth dot is met, else 0.
// Letters may be of either case. Parts after the first count by their low 32
// bits taken as signed ("1.2147483648" gives 0xFFFFFFFF81000000), and sums wrap
// modulo 2^64. A part of a leading "0" and anything but octal digits (a bare
// "0x", "08", "019") counts 0; in a hex part a further "x" holds its place as
// the digit 0 ("0x1x" is 16). Hosts over 1023 characters or with a part over
// 255 characters give 0 with the flag 0 (the flag still reports a fourth dot
// in a host of at most 1023 characters).
URLKEYS_API long lGetIpFromAuth(const char* host, int* too_many_dots);
// Writes "%d.%d.%d.%d" of the low 32 bits of `ip` into `out` (ZU_DOTTED_QUAD_SIZE bytes), or
// "000.000.000.000" when `ip` is 0. Returns 1.
URLKEYS_API int bGetIpStr(long ip, char* out);
// 1 when `host` has the form of a numeric IPv4 host: dot-separated groups of
// decimal, octal ("0" + 0-7) or hexadecimal ("0x" + 0-9a-fx) characters with
// at least one dot (a single trailing dot allowed); else 0.
URLKEYS_API int bIsAuthIp(const char* host);
// 1 when the text begins with "0.", "10.", "127.0.0.", "192.168." or
// "172.16." to "172.31."; meaningful for canonical dotted quads only.
URLKEYS_API int bIsPrivateIp(const char* quad);

#endif
