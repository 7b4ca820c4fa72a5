// LineMatcher: the match job over lines of URLs, giving the bytes
// `urlkeys match` prints for them.
//
// Each URL gives one output line: the URL, the first LCP candidate a list
// holds (empty when none does), and when the store has named lists the
// names of the lists holding it, joined by ','; as tab-separated text with
// tab, LF, CR and backslash escaped, or with json as
// {"input":...,"match":...|null,"lists":[...]}. Lines are read as
// LineSplitter reads them; a skipped line gives no output line but a record
// of its number and reason. Counts of lines, matches and (when asked for)
// hits per key are kept.
//
// A LineMatcher holds a Matcher: use one per thread. The store must outlive
// it and stay unchanged (the hit counts point at its keys).
#ifndef URLKEYS_MATCH_LINE_MATCHER_H
#define URLKEYS_MATCH_LINE_MATCHER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "match/key_store.h"
#include "match/lines.h"
#include "match/matcher.h"
#include "match/output.h"

namespace urlkeys::match {

// True when one of the store's lists has a name.
bool HasNamedLists(const KeyStore& store);

class LineMatcher {
 public:
  struct Skipped {
    uint64_t line;       // its number, from 1
    const char* reason;  // SkipTextsOf(status).reason
  };

  LineMatcher(const KeyStore& store, bool json, bool count_hits);

  // Matches `url` and writes the fields after the input field (which the
  // caller began the line with): "match", and with named lists "lists".
  // Counts the URL as matched when a list holds a candidate.
  bool WriteFields(const char* url, Output& out);

  // Takes the next block of input lines (written to, see LineSplitter::Push)
  // and appends to *out the output lines of the lines it completes.
  void Feed(char* data, size_t size, std::string* out);
  // Ends the input: a last line without '\n' is processed.
  void Close(std::string* out);

  bool named() const { return named_; }
  uint64_t lines() const { return splitter_.number(); }
  uint64_t matched() const { return matched_; }
  // Hits per key (the store's copy of the key), when counted.
  const std::unordered_map<std::string_view, uint64_t>& hits() const { return hits_; }
  const std::vector<Skipped>& skipped() const { return skipped_; }

 private:
  void Take(const Line& line, Output& out);

  const KeyStore& store_;
  bool json_;
  bool named_;
  bool count_hits_;
  Matcher matcher_;
  LineSplitter splitter_;
  uint64_t matched_ = 0;
  std::unordered_map<std::string_view, uint64_t> hits_;
  std::vector<Skipped> skipped_;
};

// The summary rows of a match job. A hit row: the key (escaped as a text
// field), a tab, the count. A skipped row: the input's path (escaped), a
// tab, the line number, a tab, the reason.
void AppendHitRow(std::string* out, std::string_view key, uint64_t count);
void AppendSkippedRow(std::string* out, std::string_view path, uint64_t line,
                      std::string_view reason);

}  // namespace urlkeys::match

#endif
