#include "options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "commands.h"
#include "match/lines.h"

namespace urlkeys::tool {
namespace {

// The text names the input line limit; it must change with it.
static_assert(urlkeys::match::kMaxLine == 65536, "update the line limit in kUsage");

constexpr const char* kUsage =
    "usage: urlkeys <command> [options] [URL...]\n"
    "\n"
    "Turns URLs into the keys a URL store is searched with. URLs come as\n"
    "arguments, or one per line on standard input.\n"
    "\n"
    "commands:\n"
    "  parse      the URL's components and its error message\n"
    "  simple     the simplified URL and the reversed host\n"
    "  lcp        the LCP candidates, most specific first (--limit N: the\n"
    "             numbered list of at most N candidates over the raw text)\n"
    "  digest     the MD5 hex digest of the URL text\n"
    "  embedded   the host inside a search-engine cache or web-archive URL\n"
    "  match      the first LCP candidate that a key list holds, and with\n"
    "             named lists the names of the lists holding it; URLs from\n"
    "             arguments or standard input are matched against the --list\n"
    "             files, or against the built-in sample list when there is\n"
    "             none; with no --list, no URL arguments and standard input a\n"
    "             terminal, it runs the built-in sample URLs\n"
    "  squid-helper\n"
    "             a proxy's external ACL helper over the --list files: one\n"
    "             request per line on standard input ([channel-ID] URL\n"
    "             [ignored...]), one answer per line: OK tag=\"LISTS\"\n"
    "             message=\"KEY\" when a list holds a candidate, ERR when none\n"
    "             does, BH message=\"...\" for a line it cannot read; SIGHUP\n"
    "             reloads the lists (the old ones answer until the new ones\n"
    "             are loaded; a list that fails to load keeps the old ones)\n"
    "\n"
    "options:\n"
    "  -l, --list FILE   match, squid-helper: keys, one host or host/path per\n"
    "                    line; '#' starts a comment; hosts match in any case,\n"
    "                    with or without trailing dots, addresses in any form\n"
    "                    inet_aton reads (0x7f000001 is 127.0.0.1); paths as\n"
    "                    written\n"
    "  -l, --list NAME=FILE\n"
    "                    a named list (NAME of letters, digits, '_', '.'\n"
    "                    and '-'); give it once per list, up to 64 lists, the\n"
    "                    same NAME again adds to that list; name every list or\n"
    "                    none. A FILE whose name holds '=' is given as =FILE.\n"
    "  -n, --limit N     lcp: the numbered candidate list, at most N (0-20)\n"
    "  -j, --json        JSON Lines instead of tab-separated text\n"
    "  -s, --stats       counts and throughput (and key-list loading) on\n"
    "                    standard error\n"
    "  -h, --help        this text\n"
    "\n"
    "Text output: one line per URL, the URL first, fields separated by tabs;\n"
    "tab, newline, carriage return and backslash inside a field are written as\n"
    "\\t, \\n, \\r and \\\\. JSON output: one object per URL; bytes that are not\n"
    "valid UTF-8 are written as \\udcXX (XX the byte), never dropped.\n"
    "match prints the URL and the key found (empty, or null in JSON, when\n"
    "none); with named lists also the names of the lists holding the key,\n"
    "joined by ',' (JSON: \"lists\":[...]).\n"
    "Input lines longer than 65536 bytes, and lines holding a NUL byte, are\n"
    "reported with their line number and skipped (exit 1); other lines are\n"
    "processed as the library defines (URL text is cut at 4095 characters by\n"
    "the parser). Exit status: 0 done, 1 some lines were skipped, 2 usage,\n"
    "file or read error.\n";

// Reads options until the first word that is not one (getopt's "+" mode).
// Returns -1 to go on, or the exit status.
int ReadOptions(int argc, char** argv, Options* options) {
  static const option kLong[] = {
      {"list", required_argument, nullptr, 'l'}, {"limit", required_argument, nullptr, 'n'},
      {"json", no_argument, nullptr, 'j'},       {"stats", no_argument, nullptr, 's'},
      {"help", no_argument, nullptr, 'h'},       {nullptr, 0, nullptr, 0},
  };
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "+:l:n:jsh", kLong, nullptr)) != -1) {
    switch (c) {
      case 'l': {
        std::string problem = options->lists.Add(optarg);
        if (!problem.empty()) return UsageError(problem);
        break;
      }
      case 'n': {
        char* end;
        errno = 0;
        long v = strtol(optarg, &end, 10);
        if (*optarg == '\0' || *end != '\0' || errno || v < 0 || v > 20)
          return UsageError("--limit takes a whole number from 0 to 20, not '" +
                            std::string(optarg) + "'");
        options->limit = static_cast<int>(v);
        break;
      }
      case 'j': options->json = true; break;
      case 's': options->stats = true; break;
      case 'h': fputs(kUsage, stdout); return 0;
      case ':': return UsageError("option '" + std::string(argv[optind - 1]) + "' needs a value");
      default: return UsageError("unknown option '" + std::string(argv[optind - 1]) + "'");
    }
  }
  return -1;
}

}  // namespace

int UsageError(const std::string& message) {
  fprintf(stderr, "urlkeys: %s\nRun 'urlkeys --help' for the usage.\n", message.c_str());
  return 2;
}

int ReadCommandLine(int argc, char** argv, Options* options) {
  int status = ReadOptions(argc, argv, options);
  if (status >= 0) return status;
  if (optind >= argc) return UsageError("no command given");
  options->command = FindCommand(argv[optind]);
  if (!options->command) return UsageError("unknown command '" + std::string(argv[optind]) + "'");
  // Options may also follow the command; URLs follow the options.
  ++optind;
  status = ReadOptions(argc, argv, options);
  if (status >= 0) return status;
  const Command& command = *options->command;
  if (!options->lists.empty() && !(command.takes & kTakesList))
    return UsageError("--list goes with the match and squid-helper commands");
  if (options->limit >= 0 && !(command.takes & kTakesLimit))
    return UsageError("--limit goes with the lcp command");
  for (int i = optind; i < argc; ++i) options->urls.push_back(argv[i]);
  return -1;
}

}  // namespace urlkeys::tool
