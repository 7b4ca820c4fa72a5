// urlkeys: the library from the command line. Turns URLs (arguments, or one
// per line on standard input) into their components, simplified URL, LCP
// candidates, digest or embedded host, and matches them against key lists
// the way a host application searches its store.
#include <unistd.h>

#include <cstdio>

#include "commands.h"
#include "options.h"

int main(int argc, char** argv) {
  urlkeys::tool::Options options;
  int status = urlkeys::tool::ReadCommandLine(argc, argv, &options);
  if (status >= 0) return status;
  // Output to a file or pipe goes out in large writes.
  static char buffer[1 << 16];
  if (isatty(STDOUT_FILENO) != 1) setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  return options.command->run(options);
}
