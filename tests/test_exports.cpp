// The shared library exports exactly the interface: its defined dynamic
// symbols (read with nm) equal tests/data/exported_symbols.txt, apart from
// symbols that sanitizer runtimes and the linker add to any library.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

bool bRuntime(const std::string& name) {
  static const char* const kPrefixes[] = {"__asan",   "__ubsan",  "__sanitizer",
                                          "__tsan",   "__lsan",   "__odr_asan",
                                          "__sancov", "__start_", "__stop_"};
  for (const char* p : kPrefixes) {
    if (name.rfind(p, 0) == 0) return true;
  }
  return name == "_init" || name == "_fini" || name == "__bss_start" || name == "_edata" ||
         name == "_end";
}

TEST(Exports, LibraryExportsExactlyTheList) {
  std::set<std::string> listed, exported;
  std::ifstream in(URLKEYS_TEST_DATA_DIR "/exported_symbols.txt");
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) listed.insert(line);
  }
  ASSERT_FALSE(listed.empty()) << "exported_symbols.txt is missing or empty";

  const std::string cmd =
      std::string("'") + URLKEYS_NM_PATH + "' -D --defined-only '" + URLKEYS_LIBRARY_PATH + "'";
  FILE* pipe = popen(cmd.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char line[4096];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream fields(line);
    std::string addr, type, name;
    if (fields >> addr >> type >> name) exported.insert(name.substr(0, name.find('@')));
  }
  ASSERT_EQ(pclose(pipe), 0) << "cannot read the symbols of " << URLKEYS_LIBRARY_PATH;

  for (const std::string& name : listed)
    EXPECT_EQ(exported.count(name), 1u) << "not exported: " << name;
  for (const std::string& name : exported) {
    EXPECT_TRUE(listed.count(name) != 0 || bRuntime(name)) << "exported but not listed: " << name;
  }
}

}  // namespace
