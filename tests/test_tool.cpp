// The urlkeys command-line tool: each command on a few URLs, options, the
// built-in sample, and bad input (clear message, non-zero exit, no crash).
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#ifdef URLKEYS_TOOL_PATH
// The emulator command, when the tool is built for another machine.
#ifndef URLKEYS_TOOL_RUNNER
#define URLKEYS_TOOL_RUNNER ""
#endif

namespace {

struct Result {
  std::string out;
  std::string err;
  int status;
};

// Runs the tool with `args` (shell words) and `input` on standard input, or
// with a terminal as standard input when `terminal` is set.
Result RunTool(const std::string& args, const std::string& input = "", bool terminal = false) {
  // Tests may run as parallel processes: name the files after this one.
  std::string base = testing::TempDir() + "/urlkeys_tool_" + std::to_string(getpid());
  std::string in = base + "_in.txt", err = base + "_err.txt";
  std::ofstream(in, std::ios::binary) << input;
  int pty = -1;
  if (terminal) {
    pty = posix_openpt(O_RDWR | O_NOCTTY);
    if (pty < 0 || grantpt(pty) != 0 || unlockpt(pty) != 0) return Result{"", "", -1};
    in = ptsname(pty);
  }
  std::string cmd = std::string(URLKEYS_TOOL_RUNNER "'") + URLKEYS_TOOL_PATH + "' " + args + " <'" + in +
                    "' 2>'" + err + "'";
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int raw = pclose(p);
  if (pty >= 0) close(pty);
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  std::ifstream e(err, std::ios::binary);
  r.err.assign(std::istreambuf_iterator<char>(e), {});
  return r;
}

struct Case {
  const char* args;
  const char* input;
  const char* out;
};

const Case kCases[] = {
    {"lcp 'http://a.b.example.co.uk/x/y?q=1'", "",
     "http://a.b.example.co.uk/x/y?q=1\ta.b.example.co.uk/x/y\ta.b.example.co.uk/x\t"
     "a.b.example.co.uk\tb.example.co.uk\texample.co.uk\n"},  // walk ends above the TLD
    {"lcp --limit 10", "http://www.example.com/a/b/\n",
     "http://www.example.com/a/b/\t3\texample.com/a/b\texample.com/a\texample.com\n"},
    {"simple 'HTTP://User:pw@Host.Test:8080/p/'", "",
     "HTTP://User:pw@Host.Test:8080/p/\thttp://host.test:8080/p\ttest.host\t0\n"},
    {"digest", "\nabc\n",
     "\td41d8cd98f00b204e9800998ecf8427e\nabc\t900150983cd24fb0d6963f7d28e17f72\n"},
    {"embedded 'http://" URLKEYS_ARCHIVE_HOST "/web/2005/http://www.example.com/x'", "",
     "http://" URLKEYS_ARCHIVE_HOST "/web/2005/http://www.example.com/x\twww.example.com\t2\n"},
    {"--json lcp", "http://10.1.2.3/a\n",
     "{\"input\":\"http://10.1.2.3/a\",\"candidates\":[\"10.1.2.3/a\",\"10.1.2.3\"]}\n"},
    // Invalid UTF-8 in the input is kept as an escape (the decoder drops the
    // lone lead byte from the parsed fields); a tab is escaped.
    {"parse --json", "h\xe9/\t\n",
     "{\"input\":\"h\\udce9/\\u0009\",\"url\":\"//h/\\u0009\",\"scheme\":\"\",\"user\":\"\","
     "\"password\":\"\",\"hostinfo\":\"h\",\"hostname\":\"h\",\"port_str\":\"\","
     "\"port\":0,\"path\":\"\\u0009\",\"query\":\"\",\"fragment\":\"\",\"errors\":32,"
     "\"error\":\"parsing error no scheme\"}\n"},
    {"parse 'http://h:80x/p'", "",
     "http://h:80x/p\thttp://h:80x/p\thttp\t\t\th:80x\th\t80x\t80\t\t\t\t4\thost parsing error 2\n"},
};

TEST(Tool, Commands) {
  for (const Case& c : kCases) {
    Result r = RunTool(c.args, c.input);
    EXPECT_EQ(r.status, 0) << c.args << ": " << r.err;
    EXPECT_EQ(r.out, c.out) << c.args;
  }
}

// Writes `content` to a key list named after this process and `tag`.
std::string ListFile(const std::string& tag, const std::string& content) {
  std::string path = testing::TempDir() + "/urlkeys_tool_" + tag + "_" + std::to_string(getpid()) + ".txt";
  std::ofstream(path) << content;
  return path;
}

TEST(Tool, MatchSampleOnTerminal) {
  // The built-in sample runs when standard input is a terminal.
  Result sample = RunTool("match", "", true);
  if (sample.status == -1) GTEST_SKIP() << "no pseudo-terminal to stand in for one";
  ASSERT_EQ(sample.status, 0) << sample.err;
  EXPECT_NE(sample.out.find("http://www.example.com/ads/banner.gif?id=7\texample.com/ads\n"),
            std::string::npos);  // path prefix
  EXPECT_NE(sample.out.find("http://cdn.tracker.example.net/pixel.png\ttracker.example.net\n"),
            std::string::npos);  // host suffix
  EXPECT_NE(sample.out.find("http://192.168.1.10/admin/setup.cgi\t192.168.1.10\n"),
            std::string::npos);  // numeric host
  EXPECT_NE(sample.out.find("http://www.example.net/\t\n"), std::string::npos);  // miss
}

TEST(Tool, MatchList) {
  std::string list = ListFile("list", "# comment\nexample.org/a   # trailing comment\n\n  B.Example.COM\n");
  Result r = RunTool("match --stats --list '" + list + "'",
                 "http://example.org/a/b\nhttp://x.b.example.com/\nhttp://example.org/\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "http://example.org/a/b\texample.org/a\nhttp://x.b.example.com/\tb.example.com\n"
            "http://example.org/\t\n");
  EXPECT_NE(r.err.find("3 URLs, 2 matched"), std::string::npos) << r.err;
}

TEST(Tool, MatchReadsPipedUrlsAgainstTheSampleListWithoutList) {
  Result r = RunTool("match", "http://cdn.tracker.example.net/x\nhttp://www.example.net/\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "http://cdn.tracker.example.net/x\ttracker.example.net\nhttp://www.example.net/\t\n");
}

TEST(Tool, MatchNamedLists) {
  std::string ads = ListFile("ads", "example.com\nshared.test\n");
  std::string malware = ListFile("malware", "example.com/a/b\nShared.Test\n");
  std::string odd = ListFile("odd=name", "odd.test\n");
  std::string lists = "--list ads='" + ads + "' -l malware='" + malware + "'";
  const char* input =
      "http://www.example.com/a/b/c\nhttp://x.example.com/\nhttp://shared.test/\nhttp://none.test/\n";
  Result text = RunTool("match " + lists, input);
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(text.out,
            "http://www.example.com/a/b/c\texample.com/a/b\tmalware\n"  // most specific first
            "http://x.example.com/\texample.com\tads\n"
            "http://shared.test/\tshared.test\tads,malware\n"
            "http://none.test/\t\t\n");
  Result json = RunTool("match --json " + lists, "http://shared.test/\nhttp://none.test/\n");
  EXPECT_EQ(json.out,
            "{\"input\":\"http://shared.test/\",\"match\":\"shared.test\",\"lists\":[\"ads\",\"malware\"]}\n"
            "{\"input\":\"http://none.test/\",\"match\":null,\"lists\":[]}\n");
  // A file whose name holds '=' is given as =FILE (a plain list).
  Result plain = RunTool("match --list ='" + odd + "'", "http://odd.test/\n");
  EXPECT_EQ(plain.out, "http://odd.test/\todd.test\n") << plain.err;
}

TEST(Tool, BadInput) {
  const struct {
    const char* args;
    const char* message;
  } kBad[] = {
      {"", "no command given"},
      {"--bogus lcp", "unknown option '--bogus'"},
      {"lcp --limit x", "--limit takes a whole number"},
      {"match --list /nonexistent/keys.txt", "cannot read the key list '/nonexistent/keys.txt'"},
      {"lcp --list k", "--list goes with the match and squid-helper commands"},
      {"lcp --limit 21", "--limit takes a whole number from 0 to 20, not '21'"},
      {"lcp --limit -1", "--limit takes a whole number from 0 to 20"},
      {"match --list 'a b=k'", "list name 'a b' may hold only letters"},
      {"match --list ads=", "--list ads= names no file"},
      {"match --list k --list ads=k", "name every list (--list NAME=FILE) or none"},
      {"match --list ads=/nonexistent/k", "cannot read the key list '/nonexistent/k'"},
  };
  for (const auto& b : kBad) {
    Result r = RunTool(b.args, "http://example.com/\n");
    EXPECT_EQ(r.status, 2) << b.args;
    EXPECT_NE(r.err.find(b.message), std::string::npos) << b.args << ": " << r.err;
    EXPECT_EQ(r.out, "") << b.args;
  }
}

TEST(Tool, OverlongLineIsReportedAndSkipped) {
  std::string input = "http://a.example.com/\n" + std::string(70000, 'x') + "\nhttp://b.example.com/\n";
  Result r = RunTool("lcp", input);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 2 is longer than 65536 bytes"), std::string::npos) << r.err;
  EXPECT_EQ(r.out,
            "http://a.example.com/\ta.example.com\texample.com\n"
            "http://b.example.com/\tb.example.com\texample.com\n");
}

TEST(Tool, LineWithNulIsReportedAndSkipped) {
  std::string input("http://a.example.com/\nhttp://b\0.example.com/\nhttp://c.example.com/", 66);
  Result r = RunTool("lcp", input);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("line 2 holds a NUL byte; skipped"), std::string::npos) << r.err;
  EXPECT_EQ(r.out,
            "http://a.example.com/\ta.example.com\texample.com\n"
            "http://c.example.com/\tc.example.com\texample.com\n");  // last line without '\n'
}

TEST(Tool, AtMost64Lists) {
  std::string list = ListFile("many", "x.test\n"), args = "match";
  for (int i = 0; i < 65; ++i) args += " --list l" + std::to_string(i) + "='" + list + "'";
  Result r = RunTool(args, "http://x.test/\n");
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("more than 64 lists"), std::string::npos) << r.err;
}

}  // namespace
#else
TEST(Tool, NotBuilt) { GTEST_SKIP() << "the tool is not part of this build"; }
#endif
