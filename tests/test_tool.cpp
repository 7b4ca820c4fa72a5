// The urlkeys command-line tool: each command on a few URLs, options, the
// built-in sample, and bad input (clear message, non-zero exit, no crash).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
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
  std::string cmd = std::string(URLKEYS_TOOL_RUNNER "'") + URLKEYS_TOOL_PATH + "' " + args + " <'" +
                    in + "' 2>'" + err + "'";
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
  std::string path =
      testing::TempDir() + "/urlkeys_tool_" + tag + "_" + std::to_string(getpid()) + ".txt";
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
            std::string::npos);                                                  // numeric host
  EXPECT_NE(sample.out.find("http://www.example.net/\t\n"), std::string::npos);  // miss
}

TEST(Tool, MatchList) {
  std::string list =
      ListFile("list", "# comment\nexample.org/a   # trailing comment\n\n  B.Example.COM\n");
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
  EXPECT_EQ(r.out,
            "http://cdn.tracker.example.net/x\ttracker.example.net\nhttp://www.example.net/\t\n");
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
  EXPECT_EQ(
      json.out,
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

// Lines the tool cannot read whole are reported by number and skipped.
TEST(Tool, UnreadableLinesAreReportedAndSkipped) {
  const struct {
    std::string line, message;
  } kLines[] = {
      {std::string(70000, 'x'), "line 2 is longer than 65536 bytes"},
      {std::string("http://b\0.example.com/", 22), "line 2 holds a NUL byte; skipped"},
  };
  for (const auto& l : kLines) {
    // The last line has no '\n'.
    Result r = RunTool("lcp", "http://a.example.com/\n" + l.line + "\nhttp://c.example.com/");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find(l.message), std::string::npos) << r.err;
    EXPECT_EQ(r.out,
              "http://a.example.com/\ta.example.com\texample.com\n"
              "http://c.example.com/\tc.example.com\texample.com\n");
  }
}

TEST(Tool, SquidHelperProtocol) {
  std::string ads = ListFile("ads", "ads.example.test\nnews.example.test/ads\n");
  std::string bad = ListFile("bad", "evil.example.test\nnews.example.test/ads\nq.test/a\"b\\c\n");
  std::string input =
      "0 http://banner.ads.example.test/x.gif -\n"  // channel ID, %DATA token
      "17 http://news.example.test/ads/1 a b\n"     // key in both lists
      "http://EVIL.example.test./p\n"               // no channel; other spelling
      "3 evil.example.test:443 -\n"                 // CONNECT
      "4 http://news.example.test/%2561ds/ -\n"     // the URL's own escape kept
      "5 http://q.test/a%22b%5Cc\n"                 // key quoted in the answer
      "6\n"                                         // no URL
      "7 " +
      std::string(70000, 'x') + "\n" +      // over-long: BH, channel kept
      std::string("8 http://a\0b\n", 13) +  // NUL byte
      "9 http://ok.test/";                  // last line without '\n'
  Result r = RunTool("squid-helper --list ads='" + ads + "' --list malware='" + bad + "'", input);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "0 OK tag=\"ads\" message=\"ads.example.test\"\n"
            "17 OK tag=\"ads,malware\" message=\"news.example.test/ads\"\n"
            "OK tag=\"malware\" message=\"evil.example.test\"\n"
            "3 OK tag=\"malware\" message=\"evil.example.test\"\n"
            "4 ERR\n"
            "5 OK tag=\"malware\" message=\"q.test/a\\\"b\\\\c\"\n"
            "6 BH message=\"no URL in the request\"\n"
            "7 BH message=\"request line longer than 65536 bytes\"\n"
            "8 BH message=\"request line holding a NUL byte\"\n"
            "9 ERR\n");
  Result unnamed = RunTool("squid-helper --list '" + ads + "'", "http://ads.example.test/\n");
  EXPECT_EQ(unnamed.out, "OK message=\"ads.example.test\"\n");
  EXPECT_EQ(RunTool("squid-helper", "").status, 2);  // no list
}

// The helper as a proxy runs it: requests written one at a time, each answer
// read before the next request; the list changed and SIGHUP sent in between.
TEST(Tool, SquidHelperReloadsOnHangup) {
  signal(SIGPIPE, SIG_IGN);  // a helper that is gone fails the checks, not the program
  std::string list = ListFile("reload", "old.example.test\n");
  int to[2], from[2], err[2];
  ASSERT_EQ(pipe(to), 0);
  ASSERT_EQ(pipe(from), 0);
  ASSERT_EQ(pipe(err), 0);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    dup2(to[0], 0);
    dup2(from[1], 1);
    dup2(err[1], 2);
    for (int fd : {to[0], to[1], from[0], from[1], err[0], err[1]}) close(fd);
    // Through the shell, so that a cross build's emulator runs the tool; exec
    // keeps this process's id for the signals.
    std::string cmd = std::string("exec " URLKEYS_TOOL_RUNNER "'") + URLKEYS_TOOL_PATH +
                      "' squid-helper '--list=l=" + list + "'";
    execl("/bin/sh", "sh", "-c", cmd.c_str(), nullptr);
    _exit(127);
  }
  close(to[0]);
  close(from[1]);
  close(err[1]);
  FILE* answers = fdopen(from[0], "r");
  FILE* log = fdopen(err[0], "r");
  auto ask = [&](const std::string& url) {
    std::string line = "1 " + url + "\n";
    EXPECT_EQ(write(to[1], line.data(), line.size()), static_cast<ssize_t>(line.size()));
    char buf[256] = "";
    if (!fgets(buf, sizeof buf, answers)) return std::string("(no answer)");
    return std::string(buf);
  };
  auto reload = [&]() {
    kill(pid, SIGHUP);
    char buf[512] = "";
    return fgets(buf, sizeof buf, log) ? std::string(buf) : std::string();
  };
  EXPECT_EQ(ask("http://old.example.test/"), "1 OK tag=\"l\" message=\"old.example.test\"\n");
  EXPECT_EQ(ask("http://new.example.test/"), "1 ERR\n");
  ListFile("reload", "new.example.test\n");
  EXPECT_NE(reload().find("reloaded 1 keys"), std::string::npos);
  EXPECT_EQ(ask("http://old.example.test/"), "1 ERR\n");
  EXPECT_EQ(ask("http://new.example.test/"), "1 OK tag=\"l\" message=\"new.example.test\"\n");
  // A list that cannot be read keeps the lists in use.
  ASSERT_EQ(unlink(list.c_str()), 0);
  EXPECT_NE(reload().find("reload failed, the old lists stay in use"), std::string::npos);
  EXPECT_EQ(ask("http://new.example.test/"), "1 OK tag=\"l\" message=\"new.example.test\"\n");
  close(to[1]);
  int status = 0;
  waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  fclose(answers);
  fclose(log);
}

}  // namespace
#else
TEST(Tool, NotBuilt) { GTEST_SKIP() << "the tool is not part of this build"; }
#endif
