// LCP candidates: the ordered lookup texts of a URL, from the most specific
// (host and whole path) down to the shortest host suffix above a TLD.
//
// cLcpUrl parses the URL into its own record and hands out candidates one by
// one; cLcpParse scans the caller's own text and keeps a numbered list of
// pointers into it. Neither allocates. Objects rule of urlkeys.h.
#ifndef URLKEYS_LCP_H
#define URLKEYS_LCP_H

#include <cstdint>

#include "export.h"
#include "url.h"

// Size of cLcpUrl's member URL: host, '/', path, cut at 4095 characters.
#define LCP_MEMBER_URL_SIZE 4096
// cLcpParse reads at most LCP_TEXT_SIZE - 1 characters of its text.
#define LCP_TEXT_SIZE 4096
// Most candidates one cLcpParse construction keeps.
#define LCP_MAX_CANDIDATES 20
// cLcpParse's element slots: every candidate, the TLD element and the label
// below a two-label TLD.
#define LCP_ELEMENT_SLOTS (LCP_MAX_CANDIDATES + 2)

class URLKEYS_API cLcpUrl {
 public:
  cZuUrl oUrl;  // the parsed URL; its `errors` tell the parse outcome

  // Parses `url` into oUrl and builds the member URL (host, '/', path).
  // Parse errors only set oUrl.errors; a null `url` is read as empty text.
  explicit cLcpUrl(const char* url);
  ~cLcpUrl();

  // Rebuilds the member URL from oUrl's hostname and path; a leading "www."
  // is skipped. Does not restart the walk (vReset does): a walk in progress
  // goes on over the rebuilt text. Each field is read up to its capacity and
  // the member URL is cut at 4095 characters (only reachable when the caller
  // wrote oUrl's fields itself; a parse always fits).
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
  // The end is not remembered: a call after null goes on cutting labels and
  // may return a shorter text; stop at the first null or call vReset.
  // Each step costs the part it removes plus one list test.
  char* sGetNextLcp();

 private:
  char sMemberUrl[LCP_MEMBER_URL_SIZE];
  char* pLcp;      // the current candidate
  int nLcpCount;   // 0 until the walk's first candidate, then counts steps
  char* pEnd;      // the current candidate's terminating NUL
  char* pHostEnd;  // where the host ends in sMemberUrl
  char* pStart;    // where the walk starts: sMemberUrl after a leading "www."
  // Where sMemberUrl holds a '.' and a '/' (bit i of word i / 64 for the
  // byte at i), marked when the member URL is built, so that each step of
  // the walk finds its label or segment by bit arithmetic.
  std::uint64_t anDotBits[LCP_MEMBER_URL_SIZE / 64];
  std::uint64_t anSlashBits[LCP_MEMBER_URL_SIZE / 64];
};

class URLKEYS_API cLcpParse {
 public:
  // Scans `url` in place and writes the number of candidates (0 to 20, and
  // at most `limit`; 0 when `limit` <= 0) into `count`. While the text holds
  // a '%' it is percent-decoded in place; one trailing '/' after the host is
  // removed. Candidates are the host suffixes above the TLD (found by the
  // key test on the last one and two labels), the whole host and the path
  // prefixes. Failures (no '.', empty host, no TLD, last labels over 255
  // characters) give 0. A text over 4095 characters is cut in place (a NUL
  // written at position 4095) and read as those 4095 characters. A null
  // `url` gives 0. The text must stay unchanged and alive while the object
  // is used. Each decoding pass works only on the span it can change, so the
  // worst 4095-character text of nested escapes constructs in a few
  // milliseconds. Does not allocate.
  cLcpParse(char* url, int limit, int& count);

  // Copies the next candidate into `dst` and returns 1; the call after the
  // last candidate copies the TLD and returns 0, and any later call, or any
  // call after a construction with count 0, writes an empty text and returns
  // 0. Path candidates are copied from `src` (a pointer into the scanned
  // text, at or before the host), host candidates from the host. `dst` must
  // hold strlen(scanned text) + 1 bytes; the overloads with `size` cut every
  // copy to `size` - 1 characters and terminate it (size <= 0 writes nothing).
  int nGetLcp(const char* src, char* dst);
  int nGetLcp(const char* src, char* dst, int size);
  // Copies the whole host into `dst` (the last label when the scan stopped
  // at the limit before the whole host), or an empty text when no element
  // was stored; returns 0. `src` is not used.
  int GetAuth(const char* src, char* dst);
  int GetAuth(const char* src, char* dst, int size);
  // Copies the host suffix one label above the TLD into `dst`, or an empty
  // text when it was not stored; returns 0. `src` is not used.
  int GetTld1(const char* src, char* dst);
  int GetTld1(const char* src, char* dst, int size);
  // Restarts nGetLcp at the most specific candidate.
  void vReset();
  // Prints the element list to standard output, using `dst` as work space
  // (strlen(scanned text) + 1 bytes, or `size`: lines are then cut to
  // `size` - 1 characters); returns 0. Safe after any construction.
  int PrintAll(const char* src, char* dst);
  int PrintAll(const char* src, char* dst, int size);

 private:
  // A construction never stores more than these elements.
  char* pElement[LCP_ELEMENT_SLOTS];
  char* pHostEnd;
  int nElements;
  int nAuthIndex;
  int nTldIndex;
  int nUrlLen;
  int nNext;
  int nPath;
  int nLimit;
  int nSub;
  int nCount;  // the candidate count the constructor gave
};

#endif
