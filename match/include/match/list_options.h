// List options of the match job: which key list files to load, and under
// which list names. One option value is `FILE` (an unnamed list),
// `NAME=FILE` (a named list; NAME of letters, digits, '_', '.' and '-') or
// `=FILE` (an unnamed list whose file name holds '='). Either every list is
// named or none is; a name given again adds to that list. The error texts
// are the tool's usage messages.
#ifndef URLKEYS_MATCH_LIST_OPTIONS_H
#define URLKEYS_MATCH_LIST_OPTIONS_H

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace urlkeys::match {

// One list file, under a list name ("" for an unnamed list).
struct ListOption {
  std::string name;
  std::string path;
};

// True for a list name: not empty, only letters, digits, '_', '.', '-'.
bool IsListName(std::string_view name);
// The message for a name that IsListName refuses, or "" for a good one.
std::string ListNameError(std::string_view name);

// Reads one option value into *list. Returns "" or the error message (a bad
// name, no file, a file name holding a NUL byte).
std::string ParseListOption(std::string_view value, ListOption* list);

// The list options of one run, in the order given.
class ListOptionSet {
 public:
  // Reads and adds one option value. Returns "" or the error message; the
  // set is unchanged then.
  std::string Add(std::string_view value);

  const std::vector<ListOption>& items() const { return items_; }
  bool empty() const { return items_.empty(); }
  // True when the lists are named (NAME=FILE).
  bool named() const { return named_; }

 private:
  std::vector<ListOption> items_;
  bool named_ = false;
};

// Reads a whole set of option values in order, as the tool reads its
// command line: "" with *set filled, or the first error.
std::string ReadListOptions(std::span<const std::string_view> values, ListOptionSet* set);

}  // namespace urlkeys::match

#endif
