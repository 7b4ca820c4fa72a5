// The command line: a command, options before or after it, then URLs.
#ifndef URLKEYS_TOOLS_OPTIONS_H
#define URLKEYS_TOOLS_OPTIONS_H

#include <string>
#include <vector>

#include "match/list_options.h"

namespace urlkeys::tool {

struct Command;

using match::ListOption;

struct Options {
  const Command* command = nullptr;
  bool json = false;
  bool stats = false;
  int limit = -1;                 // -1: not given
  match::ListOptionSet lists;     // the --list values, in command-line order
  std::vector<const char*> urls;  // URL arguments
};

// Reads the command line into *options. Returns -1 to go on, or the exit
// status to end with: 0 after --help, 2 after a usage error (the message is
// printed on standard error).
int ReadCommandLine(int argc, char** argv, Options* options);

// Prints "urlkeys: " + the message and a hint at --help on standard error;
// returns 2, the exit status of a usage error.
int UsageError(const std::string& message);

}  // namespace urlkeys::tool

#endif
