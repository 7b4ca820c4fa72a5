// Where cLcpParse's host starts in the text it has scanned, for the `src`
// that nGetLcp copies path candidates from.
#ifndef URLKEYS_MATCH_LCP_HOST_H
#define URLKEYS_MATCH_LCP_HOST_H

namespace urlkeys::match {

// `text` is the text after a cLcpParse construction over it (decoded and
// cut in place). The host starts after "scheme://" when the first '/' comes
// before the first '.', is doubled and follows a ':'; then a leading "www."
// (lower case only, as the scan skips it) is passed over.
const char* LcpParseHostStart(const char* text);

}  // namespace urlkeys::match

#endif
