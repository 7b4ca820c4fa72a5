// urlkeys: the library from the command line. Turns URLs (arguments, or one
// per line on standard input) into their components, simplified URL, LCP
// candidates, digest or embedded host, and matches them against a key list
// the way a host application searches its store.
#include <urlkeys/urlkeys.h>

#include <getopt.h>
#include <unistd.h>

#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>
#include <vector>

namespace {

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
    "  match      the first LCP candidate that a key list holds; with neither\n"
    "             --list nor URLs it runs on a built-in sample\n"
    "\n"
    "options:\n"
    "  -l, --list FILE   match: keys, one host or host/path per line; '#' starts\n"
    "                    a comment; hosts match in any case (default: the\n"
    "                    built-in sample list)\n"
    "  -n, --limit N     lcp: the numbered candidate list, at most N (0-20)\n"
    "  -j, --json        JSON Lines instead of tab-separated text\n"
    "  -s, --stats       counts and throughput on standard error\n"
    "  -h, --help        this text\n"
    "\n"
    "Text output: one line per URL, the URL first, fields separated by tabs;\n"
    "tab, newline, carriage return and backslash inside a field are written as\n"
    "\\t, \\n, \\r and \\\\. JSON output: one object per URL; bytes that are not\n"
    "valid UTF-8 are written as \\udcXX (XX the byte), never dropped.\n"
    "Input lines longer than 65536 bytes are reported and skipped (exit 1);\n"
    "shorter ones are processed as the library defines (URL text is cut at\n"
    "4095 characters by the parser). Exit status: 0 done, 1 some lines were\n"
    "skipped, 2 usage or file error.\n";

// The built-in sample: a small key list and URLs that show a path-prefix hit,
// host-suffix hits, a numeric host and misses.
constexpr const char* kSampleList[] = {
    "# sample key list: hosts and host/path prefixes",
    "example.com/ads",
    "tracker.example.net",
    "phish.example.co.uk/login",
    "192.168.1.10",
    "malware.test",
};
constexpr const char* kSampleUrls[] = {
    "http://www.example.com/ads/banner.gif?id=7",
    "https://example.com/news/today.html",
    "http://cdn.tracker.example.net/pixel.png",
    "http://tracker.example.net/",
    "https://phish.example.co.uk/login/index.php?user=bob",
    "https://phish.example.co.uk/about",
    "http://192.168.1.10/admin/setup.cgi",
    "http://192.168.1.100/",
    "http://download.malware.test/setup.exe",
    "example.org/ads/banner.gif",
    "ftp://files.example.com:21/pub/",
    "http://www.example.net/",
};

constexpr size_t kMaxLine = 65536;

enum class Command { kParse, kSimple, kLcp, kDigest, kEmbedded, kMatch };

struct Options {
  Command command = Command::kParse;
  bool json = false;
  bool stats = false;
  int limit = -1;  // -1: the cLcpUrl walk
  const char* list = nullptr;
};

// Output: fields of one line written into a reused buffer, then one fwrite.
class Output {
 public:
  explicit Output(bool json) : json_(json) { line_.reserve(1024); }

  void Begin(const char* input) {
    line_.clear();
    first_ = true;
    if (json_) line_ += '{';
    Field("input", input);
  }
  void Field(const char* name, const char* value) {
    Key(name);
    if (json_) {
      if (value) Json(value);
      else line_ += "null";
    } else if (value) {
      Text(value);
    }
  }
  void Number(const char* name, long value) {
    Key(name);
    line_ += std::to_string(value);
  }
  void Bool(const char* name, bool value) {
    Key(name);
    if (json_) line_ += value ? "true" : "false";
    else line_ += value ? '1' : '0';
  }
  // A list of texts: a JSON array, or one tab-separated field per item.
  void ListBegin(const char* name) {
    if (json_) {
      Key(name);
      line_ += '[';
      list_first_ = true;
    }
  }
  void ListItem(const char* value) {
    if (json_) {
      if (!list_first_) line_ += ',';
      list_first_ = false;
      Json(value);
    } else {
      line_ += '\t';
      Text(value);
    }
  }
  void ListEnd() {
    if (json_) line_ += ']';
  }
  void End() {
    line_ += json_ ? "}\n" : "\n";
    fwrite(line_.data(), 1, line_.size(), stdout);
  }

 private:
  void Key(const char* name) {
    if (json_) {
      if (!first_) line_ += ',';
      line_ += '"';
      line_ += name;
      line_ += "\":";
    } else if (!first_) {
      line_ += '\t';
    }
    first_ = false;
  }
  void Text(const char* s) {
    for (; *s; ++s) {
      switch (*s) {
        case '\t': line_ += "\\t"; break;
        case '\n': line_ += "\\n"; break;
        case '\r': line_ += "\\r"; break;
        case '\\': line_ += "\\\\"; break;
        default: line_ += *s;
      }
    }
  }
  // A JSON string; valid UTF-8 passes through, every other byte becomes a
  // \udcXX escape so that no byte of the input is lost.
  void Json(const char* str) {
    static const char kHex[] = "0123456789abcdef";
    const auto* s = reinterpret_cast<const unsigned char*>(str);
    line_ += '"';
    while (*s) {
      unsigned char c = *s;
      if (c < 0x80) {
        if (c == '"' || c == '\\') {
          line_ += '\\';
          line_ += static_cast<char>(c);
        } else if (c < 0x20) {
          line_ += "\\u00";
          line_ += kHex[c >> 4];
          line_ += kHex[c & 15];
        } else {
          line_ += static_cast<char>(c);
        }
        ++s;
        continue;
      }
      size_t n = Utf8Length(s);
      if (n) {
        line_.append(reinterpret_cast<const char*>(s), n);
        s += n;
      } else {
        line_ += "\\udc";
        line_ += kHex[c >> 4];
        line_ += kHex[c & 15];
        ++s;
      }
    }
    line_ += '"';
  }
  // Length of the well-formed UTF-8 sequence at s (lead byte >= 0x80), or 0.
  static size_t Utf8Length(const unsigned char* s) {
    unsigned char c = s[0];
    size_t n;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
      n = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      n = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return 0;
    }
    if (s[1] < lo || s[1] > hi) return 0;
    for (size_t i = 2; i < n; ++i)
      if (s[i] < 0x80 || s[i] > 0xBF) return 0;
    return n;
  }

  bool json_;
  bool first_ = true;
  bool list_first_ = true;
  std::string line_;
};

// Keys of the match list, looked up without building a string per candidate.
struct KeyHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using KeySet = std::unordered_set<std::string, KeyHash, std::equal_to<>>;

void AddKey(KeySet& keys, std::string_view line) {
  size_t hash = line.find('#');
  if (hash != std::string_view::npos) line = line.substr(0, hash);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\t' || line.back() == '\r'))
    line.remove_suffix(1);
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
  if (line.empty()) return;
  // Candidates carry the host in lower case, as the parser stores it: so do
  // the keys. The path part keeps its case.
  std::string key(line);
  for (char& c : key) {
    if (c == '/') break;
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  keys.emplace(std::move(key));
}

bool LoadKeys(const char* path, KeySet& keys) {
  FILE* f = fopen(path, "rb");
  if (!f) {
    fprintf(stderr, "urlkeys: cannot read the key list '%s': %s\n", path, strerror(errno));
    return false;
  }
  std::string line;
  char block[65536];
  size_t n;
  while ((n = fread(block, 1, sizeof block, f)) > 0) {
    for (size_t i = 0; i < n; ++i) {
      if (block[i] == '\n') {
        AddKey(keys, line);
        line.clear();
      } else {
        line += block[i];
      }
    }
  }
  bool failed = ferror(f);
  fclose(f);
  if (failed) {
    fprintf(stderr, "urlkeys: error reading the key list '%s'\n", path);
    return false;
  }
  AddKey(keys, line);
  return true;
}

// Where cLcpParse's host starts in its (decoded) text: after "scheme://" when
// the first '/' comes before the first '.', is doubled and follows a ':', and
// after a leading "www.".
const char* LcpParseHostStart(const char* text) {
  const char* dot = strchr(text, '.');
  const char* slash = strchr(text, '/');
  const char* host = text;
  if (slash && dot && dot > slash && slash[1] == '/' && slash > text && slash[-1] == ':')
    host = slash + 2;
  if (strncmp(host, "www.", 4) == 0) host += 4;
  return host;
}

class Runner {
 public:
  Runner(const Options& options, const KeySet* keys)
      : options_(options), keys_(keys), out_(options.json) {}

  void Run(const char* url) {
    ++urls_;
    out_.Begin(url);
    switch (options_.command) {
      case Command::kParse: Parse(url); break;
      case Command::kSimple: Simple(url); break;
      case Command::kLcp: options_.limit >= 0 ? LcpList(url) : LcpWalk(url); break;
      case Command::kDigest: Digest(url); break;
      case Command::kEmbedded: Embedded(url); break;
      case Command::kMatch: Match(url); break;
    }
    out_.End();
  }

  unsigned long urls() const { return urls_; }
  unsigned long hits() const { return hits_; }

 private:
  void Parse(const char* url) {
    cZuUrl& u = record_;
    u.init();
    u.bSetErrors(u.bParseUrl(url));
    out_.Field("url", u.url);
    out_.Field("scheme", u.scheme);
    out_.Field("user", u.user);
    out_.Field("password", u.password);
    out_.Field("hostinfo", u.hostinfo);
    out_.Field("hostname", u.hostname);
    out_.Field("port_str", u.port_str);
    out_.Number("port", u.port);
    out_.Field("path", u.path);
    out_.Field("query", u.query);
    out_.Field("fragment", u.fragment);
    out_.Number("errors", static_cast<long>(u.errors));
    const char* message = u.strGetError();
    out_.Field("error", options_.json ? message : (message ? message : ""));
  }

  void Simple(const char* url) {
    cZuUrl& u = record_;
    u.init();
    u.bSetErrors(u.bParseUrl(url));
    int too_many_dots = u.bGetSimpleUrl(simple_);
    out_.Field("simple", simple_);
    out_.Field("auth_rev", u.bGetAuthRev());
    out_.Bool("too_many_dots", too_many_dots != 0);
  }

  void LcpWalk(const char* url) {
    cLcpUrl lcp(url);
    out_.ListBegin("candidates");
    while (const char* candidate = lcp.sGetNextLcp()) out_.ListItem(candidate);
    out_.ListEnd();
  }

  void LcpList(const char* url) {
    size_t len = strlen(url);
    memcpy(text_, url, len + 1);
    int count = 0;
    cLcpParse list(text_, options_.limit, count);
    const char* host = LcpParseHostStart(text_);
    out_.Number("count", count);
    out_.ListBegin("candidates");
    for (int i = 0; i < count; ++i) {
      list.nGetLcp(host, copy_, sizeof copy_);
      out_.ListItem(copy_);
    }
    out_.ListEnd();
  }

  void Digest(const char* url) {
    char hex[33];
    vMd5FromUrl(url, hex);
    out_.Field("md5", hex);
  }

  void Embedded(const char* url) {
    cFindUrl finder("");
    int form = finder.nFindEmbeddedUrl(url);
    out_.Field("host", finder.pGetUrl());
    out_.Number("form", form);
  }

  void Match(const char* url) {
    cLcpUrl lcp(url);
    const char* hit = nullptr;
    while (const char* candidate = lcp.sGetNextLcp()) {
      if (keys_->find(std::string_view(candidate)) != keys_->end()) {
        hit = candidate;
        ++hits_;
        break;
      }
    }
    out_.Field("match", options_.json ? hit : (hit ? hit : ""));
  }

  const Options& options_;
  const KeySet* keys_;
  Output out_;
  cZuUrl record_;
  char simple_[ZU_SIMPLE_URL_SIZE];
  char text_[kMaxLine + 1];
  char copy_[kMaxLine + 1];
  unsigned long urls_ = 0;
  unsigned long hits_ = 0;
};

// Reads standard input line by line in constant memory; lines longer than
// kMaxLine are reported and skipped. Returns the number of skipped lines.
template <class Fn>
unsigned long ForEachLine(FILE* in, Fn&& fn) {
  static char block[1 << 16];
  static char line[kMaxLine + 1];
  size_t len = 0;
  bool too_long = false;
  unsigned long number = 0, skipped = 0;
  auto finish = [&]() {
    ++number;
    if (too_long) {
      fprintf(stderr, "urlkeys: line %lu is longer than %zu bytes; skipped\n", number, kMaxLine);
      ++skipped;
    } else {
      if (len && line[len - 1] == '\r') --len;
      line[len] = '\0';
      fn(line);
    }
    len = 0;
    too_long = false;
  };
  size_t n;
  while ((n = fread(block, 1, sizeof block, in)) > 0) {
    const char* p = block;
    const char* end = block + n;
    while (p < end) {
      const char* nl = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(end - p)));
      const char* stop = nl ? nl : end;
      size_t chunk = static_cast<size_t>(stop - p);
      if (!too_long) {
        if (len + chunk > kMaxLine) {
          too_long = true;
        } else {
          memcpy(line + len, p, chunk);
          len += chunk;
        }
      }
      if (!nl) break;
      finish();
      p = nl + 1;
    }
  }
  if (len || too_long) finish();
  return skipped;
}

class Progress {
 public:
  Progress() : enabled_(isatty(STDERR_FILENO) == 1), start_(Clock::now()), last_(start_) {}
  void Tick(unsigned long urls) {
    if (!enabled_ || (urls & 0x3FFF)) return;
    auto now = Clock::now();
    if (now - last_ < std::chrono::milliseconds(500)) return;
    last_ = now;
    fprintf(stderr, "\rurlkeys: %lu URLs", urls);
    shown_ = true;
  }
  void Done() {
    if (shown_) fprintf(stderr, "\r\033[K");
  }
  double Seconds() const {
    return std::chrono::duration<double>(Clock::now() - start_).count();
  }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_, last_;
};

bool ParseCommand(const char* word, Command& command) {
  static const struct { const char* name; Command command; } kCommands[] = {
      {"parse", Command::kParse},   {"simple", Command::kSimple},
      {"lcp", Command::kLcp},       {"digest", Command::kDigest},
      {"embedded", Command::kEmbedded}, {"match", Command::kMatch},
  };
  for (const auto& c : kCommands) {
    if (strcmp(word, c.name) == 0) {
      command = c.command;
      return true;
    }
  }
  return false;
}

int UsageError(const char* fmt, const char* what) {
  fprintf(stderr, "urlkeys: ");
  fprintf(stderr, fmt, what);
  fprintf(stderr, "\nRun 'urlkeys --help' for the usage.\n");
  return 2;
}

// Reads options until the first word that is not one (getopt's "+" mode).
// Returns -1 to go on, or the exit status.
int ReadOptions(int argc, char** argv, Options& options) {
  static const option kLong[] = {
      {"list", required_argument, nullptr, 'l'}, {"limit", required_argument, nullptr, 'n'},
      {"json", no_argument, nullptr, 'j'},       {"stats", no_argument, nullptr, 's'},
      {"help", no_argument, nullptr, 'h'},       {nullptr, 0, nullptr, 0},
  };
  opterr = 0;
  int c;
  while ((c = getopt_long(argc, argv, "+:l:n:jsh", kLong, nullptr)) != -1) {
    switch (c) {
      case 'l': options.list = optarg; break;
      case 'n': {
        char* end;
        errno = 0;
        long v = strtol(optarg, &end, 10);
        if (*optarg == '\0' || *end != '\0' || errno || v < 0 || v > 1000000)
          return UsageError("--limit takes a whole number from 0 up, not '%s'", optarg);
        options.limit = static_cast<int>(v);
        break;
      }
      case 'j': options.json = true; break;
      case 's': options.stats = true; break;
      case 'h': fputs(kUsage, stdout); return 0;
      case ':': return UsageError("option '%s' needs a value", argv[optind - 1]);
      default: return UsageError("unknown option '%s'", argv[optind - 1]);
    }
  }
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  int status = ReadOptions(argc, argv, options);
  if (status >= 0) return status;
  if (optind >= argc) return UsageError("%s", "no command given");
  if (!ParseCommand(argv[optind], options.command))
    return UsageError("unknown command '%s'", argv[optind]);
  // Options may also follow the command; URLs follow the options.
  ++optind;
  status = ReadOptions(argc, argv, options);
  if (status >= 0) return status;
  if (options.list && options.command != Command::kMatch)
    return UsageError("%s", "--list goes with the match command");
  if (options.limit >= 0 && options.command != Command::kLcp)
    return UsageError("%s", "--limit goes with the lcp command");

  KeySet keys;
  bool sample = false;
  if (options.command == Command::kMatch) {
    if (options.list) {
      if (!LoadKeys(options.list, keys)) return 2;
    } else {
      for (const char* line : kSampleList) AddKey(keys, line);
      sample = optind >= argc;
    }
  }

  static Runner runner(options, &keys);  // large buffers: keep off the stack
  Progress progress;
  unsigned long skipped = 0;
  if (sample) {
    for (const char* url : kSampleUrls) runner.Run(url);
  } else if (optind < argc) {
    for (int i = optind; i < argc; ++i) runner.Run(argv[i]);
  } else {
    skipped = ForEachLine(stdin, [&](const char* line) {
      runner.Run(line);
      progress.Tick(runner.urls());
    });
  }
  progress.Done();
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fprintf(stderr, "urlkeys: error writing the output\n");
    return 2;
  }
  if (options.stats) {
    double seconds = progress.Seconds();
    fprintf(stderr, "urlkeys: %lu URLs", runner.urls());
    if (options.command == Command::kMatch) fprintf(stderr, ", %lu matched", runner.hits());
    if (skipped) fprintf(stderr, ", %lu lines skipped", skipped);
    fprintf(stderr, " in %.3f s (%.0f URLs/s)\n", seconds,
            seconds > 0 ? static_cast<double>(runner.urls()) / seconds : 0.0);
  }
  return skipped ? 1 : 0;
}
