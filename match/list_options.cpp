#include "match/list_options.h"

#include <utility>

namespace urlkeys::match {

bool IsListName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '.' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::string ListNameError(std::string_view name) {
  if (IsListName(name)) return "";
  return "list name '" + std::string(name) +
         "' may hold only letters, digits, '_', '.' and '-' "
         "(a file whose name holds '=' is given as --list =FILE)";
}

std::string ParseListOption(std::string_view value, ListOption* list) {
  ListOption parsed{"", std::string(value)};
  size_t eq = value.find('=');
  if (eq != std::string_view::npos) {
    parsed.path.assign(value.substr(eq + 1));
    if (eq != 0) {
      parsed.name.assign(value.substr(0, eq));
      std::string problem = ListNameError(parsed.name);
      if (!problem.empty()) return problem;
    }
    if (parsed.path.empty()) return "--list " + std::string(value) + " names no file";
  }
  // A file is opened by its NUL-terminated name: one holding a NUL would
  // silently name another file.
  if (parsed.path.find('\0') != std::string::npos)
    return "--list " + std::string(value) + " names a file holding a NUL byte";
  *list = std::move(parsed);
  return "";
}

std::string ListOptionSet::Add(std::string_view value) {
  ListOption list;
  std::string problem = ParseListOption(value, &list);
  if (!problem.empty()) return problem;
  bool named = !list.name.empty();
  if (!items_.empty() && named != named_)
    return "name every list (--list NAME=FILE) or none (--list FILE)";
  named_ = named;
  items_.push_back(std::move(list));
  return "";
}

std::string ReadListOptions(std::span<const std::string_view> values, ListOptionSet* set) {
  ListOptionSet read;
  for (std::string_view value : values) {
    std::string problem = read.Add(value);
    if (!problem.empty()) return problem;
  }
  *set = std::move(read);
  return "";
}

}  // namespace urlkeys::match
