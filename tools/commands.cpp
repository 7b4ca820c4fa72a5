// The command table, the per-URL loop, and the commands that show what the
// library makes of a URL (parse, simple, lcp, digest, embedded).
#include "commands.h"

#include <urlkeys/urlkeys.h>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>

#include "match/lcp_host.h"
#include "match/lines.h"

namespace urlkeys::tool {
namespace {

using match::kMaxLine;
using match::LineReader;

constexpr Command kCommands[] = {
    {"parse", 0, RunParse},
    {"simple", 0, RunSimple},
    {"lcp", kTakesLimit, RunLcp},
    {"digest", 0, RunDigest},
    {"embedded", 0, RunEmbedded},
    {"match", kTakesList, RunMatch},
    {"squid-helper", kTakesList, RunSquidHelper},
};

// A count of URLs on standard error while a long run goes on, when standard
// error is a terminal.
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
  double Seconds() const { return std::chrono::duration<double>(Clock::now() - start_).count(); }

 private:
  using Clock = std::chrono::steady_clock;
  bool enabled_;
  bool shown_ = false;
  Clock::time_point start_, last_;
};

}  // namespace

const Command* FindCommand(std::string_view name) {
  for (const Command& c : kCommands)
    if (name == c.name) return &c;
  return nullptr;
}

int ForEachUrl(const Options& options, std::span<const char* const> sample,
               const UrlHandler& handle, const unsigned long* matched) {
  Output out(stdout, options.json);
  Progress progress;
  unsigned long urls = 0, skipped = 0;
  bool read_failed = false;
  auto run = [&](const char* url) {
    out.Begin(url);
    handle(url, out);
    out.End();
    ++urls;
  };
  if (!options.urls.empty()) {
    for (const char* url : options.urls) run(url);
  } else if (!sample.empty() && isatty(STDIN_FILENO) == 1) {
    for (const char* url : sample) run(url);
  } else {
    LineReader in(STDIN_FILENO);
    const char* line;
    size_t length;
    for (LineReader::Result r; (r = in.Next(&line, &length)) != LineReader::kEnd;) {
      if (r == LineReader::kLine) {
        run(line);
        progress.Tick(urls);
        continue;
      }
      if (r == LineReader::kError) {
        fprintf(stderr, "urlkeys: error reading standard input: %s\n", strerror(errno));
        read_failed = true;
        break;
      }
      match::LineStatus status =
          r == LineReader::kTooLong ? match::LineStatus::kTooLong : match::LineStatus::kHasNul;
      fprintf(stderr, "urlkeys: line %lu %s; skipped\n", in.number(),
              match::SkipTextsOf(status).report);
      ++skipped;
    }
  }
  progress.Done();
  if (fflush(stdout) != 0 || ferror(stdout)) {
    fprintf(stderr, "urlkeys: error writing the output\n");
    return 2;
  }
  if (options.stats) {
    double seconds = progress.Seconds();
    fprintf(stderr, "urlkeys: %lu URLs", urls);
    if (matched) fprintf(stderr, ", %lu matched", *matched);
    if (skipped) fprintf(stderr, ", %lu lines skipped", skipped);
    fprintf(stderr, " in %.3f s (%.0f URLs/s)\n", seconds,
            seconds > 0 ? static_cast<double>(urls) / seconds : 0.0);
  }
  return read_failed ? 2 : skipped ? 1 : 0;
}

int RunParse(const Options& options) {
  auto record = std::make_unique<cZuUrl>();
  return ForEachUrl(
      options, {},
      [&](const char* url, Output& out) {
    cZuUrl& u = *record;
    u.init();
    u.bSetErrors(u.bParseUrl(url));
    out.Field("url", u.url);
    out.Field("scheme", u.scheme);
    out.Field("user", u.user);
    out.Field("password", u.password);
    out.Field("hostinfo", u.hostinfo);
    out.Field("hostname", u.hostname);
    out.Field("port_str", u.port_str);
    out.Number("port", u.port);
    out.Field("path", u.path);
    out.Field("query", u.query);
    out.Field("fragment", u.fragment);
    out.Number("errors", static_cast<long>(u.errors));
    const char* message = u.strGetError();
    out.Field("error", options.json ? message : (message ? message : ""));
      },
      nullptr);
}

int RunSimple(const Options& options) {
  auto record = std::make_unique<cZuUrl>();
  auto simple = std::make_unique<char[]>(ZU_SIMPLE_URL_SIZE);
  return ForEachUrl(
      options, {},
      [&](const char* url, Output& out) {
    cZuUrl& u = *record;
    u.init();
    u.bSetErrors(u.bParseUrl(url));
    int too_many_dots = u.bGetSimpleUrl(simple.get());
    out.Field("simple", simple.get());
    out.Field("auth_rev", u.bGetAuthRev());
    out.Bool("too_many_dots", too_many_dots != 0);
      },
      nullptr);
}

int RunLcp(const Options& options) {
  if (options.limit < 0) {
    return ForEachUrl(
        options, {},
        [](const char* url, Output& out) {
      cLcpUrl lcp(url);
      out.ListBegin("candidates");
      while (const char* candidate = lcp.sGetNextLcp()) out.ListItem(candidate);
      out.ListEnd();
        },
        nullptr);
  }
  // The numbered list works in place on a copy of the text.
  auto text = std::make_unique<char[]>(kMaxLine + 1);
  auto copy = std::make_unique<char[]>(kMaxLine + 1);
  return ForEachUrl(
      options, {},
      [&](const char* url, Output& out) {
    size_t len = strnlen(url, kMaxLine);
    memcpy(text.get(), url, len);
    text[len] = '\0';
    int count = 0;
    cLcpParse list(text.get(), options.limit, count);
    const char* host = match::LcpParseHostStart(text.get());
    out.Number("count", count);
    out.ListBegin("candidates");
    for (int i = 0; i < count; ++i) {
      list.nGetLcp(host, copy.get(), static_cast<int>(kMaxLine + 1));
      out.ListItem(copy.get());
    }
    out.ListEnd();
      },
      nullptr);
}

int RunDigest(const Options& options) {
  return ForEachUrl(
      options, {},
      [](const char* url, Output& out) {
    char hex[ZU_MD5_HEX_SIZE];
    vMd5FromUrl(url, hex);
    out.Field("md5", hex);
      },
      nullptr);
}

int RunEmbedded(const Options& options) {
  return ForEachUrl(
      options, {},
      [](const char* url, Output& out) {
    cFindUrl finder("");
    int form = finder.nFindEmbeddedUrl(url);
    out.Field("host", finder.pGetUrl());
    out.Number("form", form);
      },
      nullptr);
}

}  // namespace urlkeys::tool
