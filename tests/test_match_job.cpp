// The match job around the matcher: list options, input lines (the pushed
// splitter against the descriptor reader), output escaping, the line
// matcher's output and summary rows, and where cLcpParse's host starts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>
#include <urlkeys/lcp.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "match/key_store.h"
#include "match/lcp_host.h"
#include "match/line_matcher.h"
#include "match/lines.h"
#include "match/list_options.h"
#include "match/output.h"

namespace {

using namespace std::string_literals;
using urlkeys::match::KeyStore;
using urlkeys::match::kMaxLine;
using urlkeys::match::Line;
using urlkeys::match::LineMatcher;
using urlkeys::match::LineReader;
using urlkeys::match::LineSplitter;
using urlkeys::match::LineStatus;
using urlkeys::match::ListOption;
using urlkeys::match::ListOptionSet;

// ------------------------------------------------------------ list options

TEST(ListOptions, OneValue) {
  const std::string bad_name_tail =
      "' may hold only letters, digits, '_', '.' and '-' "
      "(a file whose name holds '=' is given as --list =FILE)";
  const struct {
    std::string value, name, path, error;
  } cases[] = {
      {"keys.txt", "", "keys.txt", ""},
      {"ads=keys.txt", "ads", "keys.txt", ""},
      {"=k=eq.txt", "", "k=eq.txt", ""},  // a plain list whose file name holds '='
      {"a.b-c_D9=x", "a.b-c_D9", "x", ""},
      {"a=b=c", "a", "b=c", ""},  // the first '=' ends the name
      {"", "", "", ""},           // no name: opening the file reports it
      {"bad name=x", "", "", "list name 'bad name" + bad_name_tail},
      {"a/b=x", "", "", "list name 'a/b" + bad_name_tail},
      {"caf\xc3\xa9=x", "", "", "list name 'caf\xc3\xa9" + bad_name_tail},
      {"a=", "", "", "--list a= names no file"},
      {"=", "", "", "--list = names no file"},
      {"a=x\0y"s, "", "", "--list a=x\0y names a file holding a NUL byte"s},
      {"x\0y"s, "", "", "--list x\0y names a file holding a NUL byte"s},
  };
  for (const auto& c : cases) {
    ListOption list{"unchanged", "unchanged"};
    EXPECT_EQ(urlkeys::match::ParseListOption(c.value, &list), c.error) << c.value;
    if (c.error.empty()) {
      EXPECT_EQ(list.name, c.name) << c.value;
      EXPECT_EQ(list.path, c.path) << c.value;
    } else {
      EXPECT_EQ(list.name, "unchanged") << c.value;
    }
  }
  EXPECT_EQ(urlkeys::match::ListNameError("ok-1"), "");
  EXPECT_EQ(urlkeys::match::ListNameError("bad name"), "list name 'bad name" + bad_name_tail);
  EXPECT_FALSE(urlkeys::match::IsListName(""));
}

TEST(ListOptions, WholeSet) {
  const std::string mixed = "name every list (--list NAME=FILE) or none (--list FILE)";
  const struct {
    std::vector<std::string_view> values;
    std::string error;
    size_t items;
    bool named;
  } cases[] = {
      {{"a=x", "b=y", "a=z"}, "", 3, true},  // a name again adds to its list
      {{"x", "=y", "z"}, "", 3, false},
      {{"a=x", "y"}, mixed, 0, false},
      {{"x", "a=y"}, mixed, 0, false},
      {{"=x", "a=y"}, mixed, 0, false},
      // The first fault in command-line order is the one reported.
      {{"a=x", "y", "bad!=z"}, mixed, 0, false},
      {{"a=x", "bad!=z", "y"}, urlkeys::match::ListNameError("bad!"), 0, false},
      {{}, "", 0, false},
  };
  for (const auto& c : cases) {
    ListOptionSet set;
    EXPECT_EQ(urlkeys::match::ReadListOptions(c.values, &set), c.error);
    EXPECT_EQ(set.items().size(), c.items);
    EXPECT_EQ(set.named(), c.named);
  }
  ListOptionSet set;
  ASSERT_EQ(set.Add("a=x"), "");
  EXPECT_EQ(set.Add("y"), mixed);
  ASSERT_EQ(set.items().size(), 1u);  // a refused value leaves the set as it was
  EXPECT_EQ(set.items()[0].path, "x");
}

// ------------------------------------------------------------ input lines

struct Got {
  LineStatus status;
  std::string text;
  bool operator==(const Got&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Got& g) {
  return os << static_cast<int>(g.status) << ":" << g.text.size() << ":" << g.text.substr(0, 16);
}

// The splitter's lines for `input` pushed in blocks cut at `cuts` (sorted).
std::vector<Got> Split(const std::string& input, const std::vector<size_t>& cuts) {
  LineSplitter splitter;
  std::vector<Got> got;
  Line line;
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    size_t to = i < cuts.size() ? cuts[i] : input.size();
    std::string block = input.substr(from, to - from);  // alive while its lines are read
    splitter.Push(block.data(), block.size());
    while (splitter.Next(&line)) {
      EXPECT_EQ(line.text[line.length], '\0');
      got.push_back({line.status, std::string(line.text, line.length)});
      EXPECT_EQ(splitter.number(), got.size());
    }
    EXPECT_FALSE(splitter.HasLine());
    from = to;
  }
  if (splitter.Finish(&line)) got.push_back({line.status, std::string(line.text, line.length)});
  EXPECT_FALSE(splitter.Finish(&line));
  return got;
}

// The reader's lines for `input` read from a file.
std::vector<Got> Read(const std::string& input) {
  std::string path = testing::TempDir() + "/urlkeys_lines_" + std::to_string(getpid());
  std::ofstream(path, std::ios::binary) << input;
  int fd = open(path.c_str(), O_RDONLY);
  EXPECT_GE(fd, 0);
  std::vector<Got> got;
  {
    LineReader reader(fd);
    const char* text;
    size_t length;
    for (LineReader::Result r; (r = reader.Next(&text, &length)) != LineReader::kEnd;) {
      EXPECT_NE(r, LineReader::kError);
      if (r == LineReader::kError) break;
      LineStatus status = r == LineReader::kLine      ? LineStatus::kLine
                          : r == LineReader::kTooLong ? LineStatus::kTooLong
                                                      : LineStatus::kHasNul;
      got.push_back({status, std::string(text, length)});
      EXPECT_EQ(reader.number(), got.size());
    }
    EXPECT_EQ(reader.Next(&text, &length), LineReader::kEnd);
  }
  close(fd);
  unlink(path.c_str());
  return got;
}

TEST(Lines, SplitterAndReaderAgreeWhereverBlocksEnd) {
  const std::string full(kMaxLine, 'x');
  const auto kLine = LineStatus::kLine, kTooLong = LineStatus::kTooLong,
             kHasNul = LineStatus::kHasNul;
  const struct {
    std::string input;
    std::vector<Got> lines;
  } cases[] = {
      {"", {}},
      {"a\nb", {{kLine, "a"}, {kLine, "b"}}},  // a last line without '\n'
      {"a\r\nb\r", {{kLine, "a"}, {kLine, "b"}}},
      {"\n\n", {{kLine, ""}, {kLine, ""}}},
      {"\r", {{kLine, ""}}},
      {"a\r\r\n\rb\n", {{kLine, "a\r"}, {kLine, "\rb"}}},  // one '\r' only, at the end
      {"a\0b\r\nc\n"s, {{kHasNul, "a\0b"s}, {kLine, "c"}}},
      {"\0"s, {{kHasNul, "\0"s}}},
      {full + "\n", {{kLine, full}}},
      {full + "\r\n", {{kTooLong, full}}},  // the limit counts the '\r'
      {full.substr(1) + "\r\nok", {{kLine, full.substr(1)}, {kLine, "ok"}}},
      {full + "y\nok\n", {{kTooLong, full}, {kLine, "ok"}}},
      {full + "y", {{kTooLong, full}}},
      {"a\n" + full + full + "\0\n"s, {{kLine, "a"}, {kTooLong, full}}},
  };
  for (const auto& c : cases) {
    const std::string& in = c.input;
    SCOPED_TRACE(testing::Message() << "input of " << in.size() << " bytes");
    EXPECT_EQ(Read(in), c.lines);
    EXPECT_EQ(Split(in, {}), c.lines);
    // Every cut position for short inputs; around the limit and the ends
    // for long ones.
    std::vector<size_t> cuts;
    if (in.size() < 64) {
      for (size_t i = 1; i < in.size(); ++i) cuts.push_back(i);
      EXPECT_EQ(Split(in, cuts), c.lines);  // one block per byte
    } else {
      for (size_t at : {size_t{1}, size_t{2}, kMaxLine - 1, kMaxLine, kMaxLine + 1, kMaxLine + 2,
                        in.size() - 2, in.size() - 1})
        if (at > 0 && at < in.size()) cuts.push_back(at);
      std::sort(cuts.begin(), cuts.end());
      cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
    }
    for (size_t cut : cuts) EXPECT_EQ(Split(in, {cut}), c.lines) << "cut at " << cut;
    for (size_t i = 1; i < cuts.size(); ++i)
      EXPECT_EQ(Split(in, {cuts[i - 1], cuts[i]}), c.lines) << "cuts at " << cuts[i];
  }
}

TEST(Lines, SkipTexts) {
  const auto& too_long = urlkeys::match::SkipTextsOf(LineStatus::kTooLong);
  const auto& nul = urlkeys::match::SkipTextsOf(LineStatus::kHasNul);
  EXPECT_STREQ(too_long.reason, "longer than 65536 bytes");
  EXPECT_STREQ(too_long.report, "is longer than 65536 bytes");
  EXPECT_STREQ(too_long.request, "request line longer than 65536 bytes");
  EXPECT_STREQ(nul.reason, "holds a NUL byte");
  EXPECT_STREQ(nul.report, "holds a NUL byte");
  EXPECT_STREQ(nul.request, "request line holding a NUL byte");
  EXPECT_EQ(urlkeys::match::SkipTextsOf(LineStatus::kLine).reason, nullptr);
}

// ------------------------------------------------------------ output

TEST(Output, Escaping) {
  const struct {
    std::string in, text, json;
  } cases[] = {
      {"plain", "plain", "\"plain\""},
      {"a\tb\nc\rd\\e", "a\\tb\\nc\\rd\\\\e", "\"a\\u0009b\\u000ac\\u000dd\\\\e\""},
      {"q\"\x01\x7f", "q\"\x01\x7f", "\"q\\\"\\u0001\x7f\""},
      {"\xc3\xa9\xf0\x9f\x98\x80", "\xc3\xa9\xf0\x9f\x98\x80", "\"\xc3\xa9\xf0\x9f\x98\x80\""},
      {"\xff", "\xff", "\"\\udcff\""},
      {"a\xc3", "a\xc3", "\"a\\udcc3\""},                             // cut sequence
      {"\xc0\xaf", "\xc0\xaf", "\"\\udcc0\\udcaf\""},                 // overlong
      {"\xed\xa0\x80", "\xed\xa0\x80", "\"\\udced\\udca0\\udc80\""},  // surrogate
      {"\xf4\x90\x80\x80", "\xf4\x90\x80\x80", "\"\\udcf4\\udc90\\udc80\\udc80\""},
      {"\xe2\x82", "\xe2\x82", "\"\\udce2\\udc82\""},
  };
  for (const auto& c : cases) {
    std::string text = "<", json = "<";
    urlkeys::match::AppendText(&text, c.in);
    urlkeys::match::AppendJson(&json, c.in);
    EXPECT_EQ(text, "<" + c.text) << c.in;
    EXPECT_EQ(json, "<" + c.json) << c.in;
  }
}

TEST(Output, LinesIntoAString) {
  std::string sink = "kept\n";
  for (bool json : {false, true}) {
    urlkeys::match::Output out(&sink, json);
    out.Begin("u\t1");
    out.Field("null", static_cast<const char*>(nullptr));
    out.Number("n", -3);
    out.Bool("b", true);
    out.JoinedBegin("names");
    out.JoinedItem("a", ',');
    out.JoinedItem("b", ',');
    out.JoinedEnd();
    out.End();
  }
  EXPECT_EQ(
      sink,
      "kept\n"
      "u\\t1\t\t-3\t1\ta,b\n"
      "{\"input\":\"u\\u00091\",\"null\":null,\"n\":-3,\"b\":true,\"names\":[\"a\",\"b\"]}\n");
}

// ------------------------------------------------------------ line matcher

KeyStore NamedStore() {
  KeyStore store;
  EXPECT_TRUE(store.AddLine("ads", "example.com/ads"));
  EXPECT_TRUE(store.AddLine("all", "example.com"));
  EXPECT_TRUE(store.AddLine("ads", "example.com"));
  EXPECT_TRUE(store.AddLine("all", "tab.test"));
  return store;
}

const std::string kJobInput =
    "http://www.example.com/ads/x\n"
    "http://nothing.test/\r\n"
    "bad\0line\n"s +
    std::string(kMaxLine + 1, 'a') + "\n" +
    "http://tab.test/a\tb\\c\n"
    "example.com";  // the last line, without '\n'

TEST(LineMatcher, OutputAsTheToolPrintsIt) {
  KeyStore named = NamedStore();
  KeyStore plain;
  ASSERT_TRUE(plain.AddLine("", "example.com"));
  const struct {
    const KeyStore* store;
    bool json;
    std::string out;
  } cases[] = {
      {&named, false,
       "http://www.example.com/ads/x\texample.com/ads\tads\n"
       "http://nothing.test/\t\t\n"
       "http://tab.test/a\\tb\\\\c\ttab.test\tall\n"
       "example.com\texample.com\tads,all\n"},
      {&named, true,
       "{\"input\":\"http://www.example.com/ads/x\",\"match\":\"example.com/ads\",\"lists\":[\"ads\"]}\n"
       "{\"input\":\"http://nothing.test/\",\"match\":null,\"lists\":[]}\n"
       "{\"input\":\"http://tab.test/a\\u0009b\\\\c\",\"match\":\"tab.test\",\"lists\":[\"all\"]}\n"
       "{\"input\":\"example.com\",\"match\":\"example.com\",\"lists\":[\"ads\",\"all\"]}\n"},
      {&plain, false,
       "http://www.example.com/ads/x\texample.com\n"
       "http://nothing.test/\t\n"
       "http://tab.test/a\\tb\\\\c\t\n"
       "example.com\texample.com\n"},
  };
  for (const auto& c : cases) {
    // Whole, and in pieces cut at a few places (inside the long line too).
    for (size_t cut : {size_t{0}, size_t{5}, size_t{29}, size_t{60}, kMaxLine}) {
      LineMatcher matcher(*c.store, c.json, true);
      std::string input = kJobInput, out;
      matcher.Feed(input.data(), cut, &out);
      matcher.Feed(input.data() + cut, input.size() - cut, &out);
      matcher.Close(&out);
      EXPECT_EQ(out, c.out) << "cut at " << cut;
      EXPECT_EQ(matcher.lines(), 6u);
      EXPECT_EQ(matcher.matched(), c.store == &named ? 3u : 2u);
      ASSERT_EQ(matcher.skipped().size(), 2u);
      EXPECT_EQ(matcher.skipped()[0].line, 3u);
      EXPECT_STREQ(matcher.skipped()[0].reason, "holds a NUL byte");
      EXPECT_EQ(matcher.skipped()[1].line, 4u);
      EXPECT_STREQ(matcher.skipped()[1].reason, "longer than 65536 bytes");
    }
  }
  LineMatcher matcher(named, false, true);
  std::string input = kJobInput, out;
  matcher.Feed(input.data(), input.size(), &out);
  matcher.Close(&out);
  EXPECT_EQ(matcher.hits().size(), 3u);
  EXPECT_EQ(matcher.hits().at("example.com"), 1u);
  EXPECT_EQ(matcher.hits().at("example.com/ads"), 1u);
  EXPECT_EQ(matcher.hits().at("tab.test"), 1u);
  LineMatcher uncounted(named, false, false);
  input = kJobInput;  // Feed wrote NULs over the line ends
  out.clear();
  uncounted.Feed(input.data(), 29, &out);
  EXPECT_EQ(out, "http://www.example.com/ads/x\texample.com/ads\tads\n");
  EXPECT_TRUE(uncounted.hits().empty());
}

TEST(LineMatcher, SummaryRows) {
  std::string rows;
  urlkeys::match::AppendHitRow(&rows, "a\tb\\c", 12);
  urlkeys::match::AppendSkippedRow(&rows, "in\nput.txt", 7, "holds a NUL byte");
  EXPECT_EQ(rows, "a\\tb\\\\c\t12\nin\\nput.txt\t7\tholds a NUL byte\n");
}

// ------------------------------------------------------------ LCP host start

// The host start must be where cLcpParse's own host begins: path candidates
// are copied from it, so each one is the whole host, '/', and a path.
TEST(LcpHost, PathCandidatesStartWithTheHost) {
  const struct {
    const char* url;
    const char* host;  // the text from the host start on, after the scan
  } cases[] = {
      {"http://www.example.com/a/b", "example.com/a/b"},
      {"www.example.com/a", "example.com/a"},
      {"http://WWW.example.com/a", "WWW.example.com/a"},  // only a lower-case "www." is passed
      {"Www.x.com/", "Www.x.com"},
      {"http://www.%77ww.example.com/p/", "www.example.com/p"},  // decoded, one "www." passed
      {"ftp://user@www.a.com:21/x", "user@www.a.com:21/x"},
      {"a.b/http://www.c.d/e", "a.b/http://www.c.d/e"},  // a '.' before the first '/'
      {"x://www.y.org/w", "y.org/w"},
  };
  for (const auto& c : cases) {
    std::string text = c.url;
    int count = 0;
    cLcpParse list(text.data(), 20, count);
    const char* host = urlkeys::match::LcpParseHostStart(text.c_str());
    EXPECT_STREQ(host, c.host) << c.url;
    std::vector<char> auth(text.size() + 1), copy(text.size() + 1);
    const int room = static_cast<int>(copy.size());
    list.GetAuth(host, auth.data(), room);
    std::string prefix = std::string(auth.data()) + "/";
    for (int i = 0; i < count; ++i) {
      list.nGetLcp(host, copy.data(), room);
      std::string candidate = copy.data();
      if (candidate.find('/') != std::string::npos) {
        EXPECT_EQ(candidate.compare(0, prefix.size(), prefix), 0) << c.url << ": " << candidate;
      }
    }
  }
}

}  // namespace
