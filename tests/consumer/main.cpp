// Uses the installed library: parses a URL and walks its LCP candidates.
#include <urlkeys/urlkeys.h>

#include <cstdio>
#include <cstring>

int main() {
  cLcpUrl lcp("http://www.a.example.co.uk/x/y?q=1");
  if (lcp.oUrl.errors != 0) return 1;
  const char* expected[] = {"a.example.co.uk/x/y", "a.example.co.uk/x", "a.example.co.uk",
                            "example.co.uk"};
  int n = 0;
  while (const char* candidate = lcp.sGetNextLcp()) {
    std::printf("%s\n", candidate);
    if (n >= 4 || std::strcmp(candidate, expected[n]) != 0) return 1;
    ++n;
  }
  return n == 4 ? 0 : 1;
}
