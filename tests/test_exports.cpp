// The shared library exports exactly the interface: its dynamic symbols
// (read with nm) are compared both ways with tests/data/exported_symbols.txt,
// and nothing else may be exported apart from sanitizer and linker symbols.
#include <cxxabi.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Demangled form of a symbol, or the symbol itself when it is not C++.
std::string sDemangle(const std::string& name) {
  int status = 0;
  char* d = abi::__cxa_demangle(name.c_str(), nullptr, nullptr, &status);
  if (status != 0 || d == nullptr) return name;
  std::string out(d);
  std::free(d);
  return out;
}

// True for a symbol of our interface: a member of one of the classes or one
// of the free functions (demangled name before its parameter list).
bool bOurs(const std::string& mangled) {
  static const char* const kClasses[] = {"cZuUrl::", "cLcpUrl::", "cLcpParse::", "cFindUrl::"};
  static const char* const kFunctions[] = {
      "zuUrlUnescape", "vZuParseUrl",    "bIsUrlIp",  "bDottedQuadIp", "lGetIpFromAuth",
      "bGetIpStr",     "bIsAuthIp",      "bIsPrivateIp", "ZuCreateTldHashTable", "bIsTLD2",
      "bIsTLD",        "bCheckTLD",      "bReverseDomain", "sLcpDomain", "sLcpPath",
      "bParseDomain",  "vMd5FromUrl"};
  const std::string d = sDemangle(mangled);
  for (const char* c : kClasses) {
    if (d.rfind(c, 0) == 0) return true;
  }
  const std::string head = d.substr(0, d.find('('));
  for (const char* f : kFunctions) {
    if (head == f) return true;
  }
  return false;
}

// Symbols that sanitizer runtimes and the linker may add to any library.
bool bRuntime(const std::string& name) {
  static const char* const kPrefixes[] = {
      "__asan", "__ubsan", "__sanitizer", "__tsan", "__lsan", "__msan", "__odr_asan",
      "__sancov", "__llvm", "__gcov", "__interceptor_", "__start_", "__stop_"};
  static const char* const kNames[] = {"_init", "_fini", "__bss_start", "_edata", "_end"};
  for (const char* p : kPrefixes) {
    if (name.rfind(p, 0) == 0) return true;
  }
  return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}

std::vector<std::string> vListed() {
  std::ifstream in(URLKEYS_TEST_DATA_DIR "/exported_symbols.txt");
  std::vector<std::string> out;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty()) out.push_back(line);
  }
  return out;
}

// Defined dynamic symbols of the built library, without version suffixes.
bool bExported(std::set<std::string>* out) {
  const std::string cmd =
      std::string("'") + URLKEYS_NM_PATH + "' -D --defined-only '" + URLKEYS_LIBRARY_PATH + "'";
  FILE* pipe = popen(cmd.c_str(), "r");
  if (pipe == nullptr) return false;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream fields(line);
    std::string addr, type, name;
    if (!(fields >> addr >> type >> name)) continue;
    out->insert(name.substr(0, name.find('@')));
  }
  return pclose(pipe) == 0 && !out->empty();
}

TEST(Exports, ListIsSortedAndNamesTheInterface) {
  const std::vector<std::string> listed = vListed();
  ASSERT_FALSE(listed.empty()) << "exported_symbols.txt is missing or empty";
  EXPECT_TRUE(std::is_sorted(listed.begin(), listed.end()));
  EXPECT_EQ(std::adjacent_find(listed.begin(), listed.end()), listed.end()) << "duplicate line";
  for (const std::string& name : listed) {
    EXPECT_TRUE(bOurs(name)) << name << " (" << sDemangle(name) << ") is not an interface name";
  }
}

TEST(Exports, LibraryExportsExactlyTheList) {
  std::set<std::string> exported;
  ASSERT_TRUE(bExported(&exported)) << "cannot read the symbols of " << URLKEYS_LIBRARY_PATH;
  const std::vector<std::string> listed = vListed();
  const std::set<std::string> wanted(listed.begin(), listed.end());

  for (const std::string& name : wanted) {
    EXPECT_TRUE(exported.count(name) != 0) << "not exported: " << name << " (" << sDemangle(name) << ")";
  }
  for (const std::string& name : exported) {
    if (wanted.count(name) != 0 || bRuntime(name)) continue;
    if (bOurs(name)) {
      ADD_FAILURE() << "exported but not listed: " << name << " (" << sDemangle(name) << ")";
    } else {
      ADD_FAILURE() << "stray export: " << name << " (" << sDemangle(name) << ")";
    }
  }
}

}  // namespace
