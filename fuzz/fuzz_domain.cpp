// Fuzz target for the domain and path steps: bReverseDomain (length kept,
// labels reversed, an involution), sLcpDomain and sLcpPath against their
// definitions, and bParseDomain on any text.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "urlkeys/domain.h"
#include "urlkeys/tld.h"

using urlkeys::fuzz::cText;
using urlkeys::fuzz::vCheck;

namespace {

std::string sReversedLabels(const std::string& s) {
  std::vector<std::string> labels(1);
  for (char c : s) {
    if (c == '.') {
      labels.emplace_back();
    } else {
      labels.back().push_back(c);
    }
  }
  std::string out;
  for (size_t i = labels.size(); i-- > 0;) {
    out += labels[i];
    if (i != 0) out += '.';
  }
  return out;
}

void vCheckReverse(const cText& text) {
  const std::string before(text.get());
  cText copy(reinterpret_cast<const uint8_t*>(text.get()), text.size());
  vCheck(bReverseDomain(copy.get()) == 0, "bReverseDomain returns 0");
  const std::string once(copy.get());
  vCheck(once.size() == before.size(), "reversal keeps the length");
  vCheck(once == sReversedLabels(before), "labels in reverse order");
  vCheck(bReverseDomain(copy.get()) == 0, "bReverseDomain returns 0");
  vCheck(before == copy.get(), "reversing twice gives the original");
}

void vCheckDomainStep(const cText& text, char sep, int n) {
  const char* domain = text.get();
  const std::string s(domain);
  const int want_n = n < 1 ? 1 : n;
  size_t pos = std::string::npos;
  size_t from = 0;
  for (int k = 0; k < want_n; ++k) {
    pos = s.find(sep, from);
    if (pos == std::string::npos) break;
    from = pos + 1;
  }
  bool want_more = false;
  const char* want = nullptr;
  if (pos != std::string::npos) {
    want = domain + pos + 1;
    const std::string rest(want);
    want_more = !rest.empty() && rest.find(sep) != std::string::npos &&
                !bIsTLD2(const_cast<char*>(want), static_cast<int>(rest.size()));
  }
  bool more = !want_more;
  const char* got = sLcpDomain(domain, sep, n, &more);
  vCheck(got == want, "sLcpDomain points just after the n-th separator");
  vCheck(more == want_more, "sLcpDomain more flag");
  vCheck(s == domain, "sLcpDomain leaves the text unchanged");
}

void vCheckPathStep(const cText& text, char sep) {
  const std::string whole(text.get());
  const std::string s =
      whole.substr(0, ZU_LCP_PATH_SIZE - 1);  // a longer path is read as its first 4095 characters
  bool more = true;
  const char* got = sLcpPath(text.get(), sep, &more);
  const size_t last = s.rfind(sep);
  if (last == std::string::npos) {
    vCheck(got == nullptr && !more, "no step without a separator");
    return;
  }
  const std::string want = s.substr(0, last);
  vCheck(got != nullptr, "sLcpPath gives a result");
  vCheck(std::memchr(got, 0, ZU_LCP_PATH_SIZE) != nullptr, "path result unterminated");
  vCheck(want == got, "sLcpPath drops the last segment");
  vCheck(more == (want.find(sep) != std::string::npos), "sLcpPath more flag");
  vCheck(whole == text.get(), "sLcpPath leaves the text unchanged");
}

}  // namespace

// The first byte picks the separator and the label count; the rest is text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  urlkeys::fuzz::vSilenceStdout();
  if (size == 0) return 0;
  static const char kSeps[4] = {'.', '/', ':', '-'};
  const char sep = kSeps[data[0] & 3];
  const int n = ((data[0] >> 2) & 0x0F) - 2;  // -2 to 13
  const cText text(data + 1, size - 1);

  vCheckReverse(text);
  vCheckDomainStep(text, sep, n);
  vCheckDomainStep(text, '.', 1);
  vCheckPathStep(text, sep == '.' ? '/' : sep);
  vCheck(bParseDomain(text.get(), n), "bParseDomain returns true");
  return 0;
}
