// LCP candidates: the ordered lookup texts of a URL, from the most specific
// (host and whole path) down to the shortest host suffix above a TLD.
//
// cLcpUrl parses the URL into its own record and hands out candidates one by
// one; cLcpParse scans the caller's own text and keeps a numbered list of
// pointers into it. Neither allocates. Distinct objects may be used on
// different threads at once; one object is used by one thread at a time.
#ifndef URLKEYS_LCP_H
#define URLKEYS_LCP_H

#include "export.h"
#include "url.h"

class URLKEYS_API cLcpUrl {
 public:
  cZuUrl oUrl;  // the parsed URL; its `errors` tell the parse outcome

  // Parses `url` into oUrl and builds the member URL (host, '/', path).
  explicit cLcpUrl(const char* url);
  ~cLcpUrl();

  // Rebuilds the member URL from oUrl's hostname and path; a leading "www."
  // is skipped. Does not restart the walk count (vReset does).
  void vSetMemberUrl();
  // oUrl's hostname without a leading "www."; points into this object.
  char* sGetAuth();
  // The member URL as it now stands (cut where the walk dropped path
  // segments), without a leading "www."; points into this object.
  char* sGetBasicUrl();
  // Starts the walk again at the whole member URL.
  void vReset();
  // Returns the next candidate, or null once the walk is over. Points into
  // this object; valid until the next call that changes it. The first call
  // gives the whole member URL untested; later calls drop the last path
  // segment, then the first host label (never of a numeric host), and end
  // with null when the rest is a TLD by the list test or has no '.' left.
  char* sGetNextLcp();

 private:
  char sMemberUrl[4096];
  char* pLcp;
  int nLcpCount;
};

class URLKEYS_API cLcpParse {
 public:
  // Scans `url` in place and writes the number of candidates (0 to 20, and
  // at most `limit`) into `count`. While the text holds a '%' it is
  // percent-decoded in place; one trailing '/' after the host is removed.
  // Candidates are the host suffixes above the TLD (found by the key test on
  // the last one and two labels), the whole host and the path prefixes.
  // The text must stay unchanged and alive while the object is used.
  cLcpParse(char* url, int limit, int& count);

  // Copies the next candidate into `dst` and returns 1; the call after the
  // last candidate copies the TLD and returns 0, and any later call writes
  // an empty text and returns 0. Path candidates are copied from `src` (a
  // pointer into the scanned text, at or before the host). `dst` must hold
  // strlen(scanned text) + 1 bytes; the overload bounds the copy by `size`.
  int nGetLcp(const char* src, char* dst);
  int nGetLcp(const char* src, char* dst, int size);
  // Copies the whole host into `dst`, or an empty text when no host was
  // stored; returns 0. `src` is not used.
  int GetAuth(const char* src, char* dst);
  int GetAuth(const char* src, char* dst, int size);
  // Copies the host suffix one label above the TLD into `dst`, or an empty
  // text when it was not stored; returns 0. `src` is not used.
  int GetTld1(const char* src, char* dst);
  int GetTld1(const char* src, char* dst, int size);
  // Restarts nGetLcp at the most specific candidate.
  void vReset();
  // Prints the element list to standard output, using `dst` as work space
  // (strlen(scanned text) + 1 bytes, or `size`); returns 0.
  int PrintAll(const char* src, char* dst);
  int PrintAll(const char* src, char* dst, int size);

 private:
  // Up to 20 candidates, the TLD element and the label below a two-label TLD.
  char* pElement[22];
  char* pHostEnd;
  int nElements;
  int nAuthIndex;
  int nTldIndex;
  int nUrlLen;
  int nNext;
  int nPath;
  int nLimit;
  int nSub;
};

#endif
