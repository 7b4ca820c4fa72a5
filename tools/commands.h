// The tool's commands. Each is one entry of a table: its name, the options
// it accepts and the function that runs it; main() looks the name up and
// calls it. Adding a command is one function and one row in kCommands
// (commands.cpp), plus its line in the --help text (options.cpp).
#ifndef URLKEYS_TOOLS_COMMANDS_H
#define URLKEYS_TOOLS_COMMANDS_H

#include <functional>
#include <span>
#include <string_view>

#include "match/output.h"
#include "options.h"

namespace urlkeys::tool {

using match::Output;

// Options a command accepts besides --json and --stats.
enum : unsigned { kTakesList = 1, kTakesLimit = 2 };

struct Command {
  const char* name;
  unsigned takes;                      // kTakesList | kTakesLimit
  int (*run)(const Options& options);  // returns the exit status
};

// The command named `name`, or null.
const Command* FindCommand(std::string_view name);

// How a command answers one URL: the fields it writes after the input.
using UrlHandler = std::function<void(const char* url, Output& out)>;

// The loop of the per-URL commands: runs `handle` on each URL argument; with
// none, on the `sample` URLs when there are some and standard input is a
// terminal, else on each line of standard input (over-long and NUL-holding
// lines are reported and skipped). Prints the --stats line, with
// "N matched" when `matched` is not null. Returns the exit status: 0, 1 when
// lines were skipped, 2 on a read or write error.
int ForEachUrl(const Options& options, std::span<const char* const> sample,
               const UrlHandler& handle, const unsigned long* matched);

// The commands (commands.cpp, match_command.cpp, squid_helper.cpp).
int RunParse(const Options& options);
int RunSimple(const Options& options);
int RunLcp(const Options& options);
int RunDigest(const Options& options);
int RunEmbedded(const Options& options);
int RunMatch(const Options& options);
int RunSquidHelper(const Options& options);  // squid_helper.cpp

}  // namespace urlkeys::tool

#endif
