// The urlkeys command-line tool: each command on a few URLs, options, the
// built-in sample, and bad input (clear message, non-zero exit, no crash).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
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

// Runs the tool with `args` (shell words) and `input` on standard input.
Result RunTool(const std::string& args, const std::string& input = "") {
  // Tests may run as parallel processes: name the files after this one.
  std::string base = testing::TempDir() + "/urlkeys_tool_" + std::to_string(getpid());
  std::string in = base + "_in.txt", err = base + "_err.txt";
  std::ofstream(in, std::ios::binary) << input;
  std::string cmd = std::string(URLKEYS_TOOL_RUNNER "'") + URLKEYS_TOOL_PATH + "' " + args + " <'" + in +
                    "' 2>'" + err + "'";
  Result r;
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int raw = pclose(p);
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

TEST(Tool, MatchOnSampleAndList) {
  Result sample = RunTool("match");
  ASSERT_EQ(sample.status, 0) << sample.err;
  EXPECT_NE(sample.out.find("http://www.example.com/ads/banner.gif?id=7\texample.com/ads\n"),
            std::string::npos);  // path prefix
  EXPECT_NE(sample.out.find("http://cdn.tracker.example.net/pixel.png\ttracker.example.net\n"),
            std::string::npos);  // host suffix
  EXPECT_NE(sample.out.find("http://192.168.1.10/admin/setup.cgi\t192.168.1.10\n"),
            std::string::npos);  // numeric host
  EXPECT_NE(sample.out.find("http://www.example.net/\t\n"), std::string::npos);  // miss

  std::string list = testing::TempDir() + "/urlkeys_tool_list_" + std::to_string(getpid()) + ".txt";
  std::ofstream(list) << "# comment\nexample.org/a   # trailing comment\n\n  B.Example.COM\n";
  Result r = RunTool("match --stats --list '" + list + "'",
                 "http://example.org/a/b\nhttp://x.b.example.com/\nhttp://example.org/\n");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "http://example.org/a/b\texample.org/a\nhttp://x.b.example.com/\tb.example.com\n"
            "http://example.org/\t\n");
  EXPECT_NE(r.err.find("3 URLs, 2 matched"), std::string::npos) << r.err;
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
      {"lcp --list k", "--list goes with the match command"},
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

}  // namespace
#else
TEST(Tool, NotBuilt) { GTEST_SKIP() << "the tool is not part of this build"; }
#endif
