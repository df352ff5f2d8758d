// The host layer's resource strings: found from the module's path, beside a plain module and
// in the Resources folder of a macOS bundle.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "testhost.h"

namespace {

std::string loaded(const std::string& modulePath, qlong id) {
  HINSTANCE lib = RESinitLibrary(modulePath.c_str());
  str255 s;
  RESloadString(lib, id, s);
  RESfreeLibrary(lib);
  return hostrt::fromU32(std::u32string(s.cString(), s.length()));
}

TEST(HostResources, FoundBesideTheModuleOrInTheBundlesResources) {
  char pattern[] = "/tmp/zq_res_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  const auto write = [&](const std::string& path, const std::string& text) {
    std::system(("mkdir -p '" + dir + "/" + path.substr(0, path.find_last_of('/')) + "'").c_str());
    std::ofstream(dir + "/" + path) << "5000\t" << text << "\n";
  };
  write("plain/zqtools.strings", "plain");
  write("a.bundle/Contents/Resources/zqtools.strings", "in resources");
  write("b.bundle/Contents/Resources/zqtools.strings", "in resources");
  write("b.bundle/Contents/MacOS/zqtools.strings", "beside");
  write("c/Resources/zqtools.strings", "not a bundle");

  const struct {
    const char* module;
    const char* expected;
  } cases[] = {
      {"plain/zqtools.so", "plain"},
      {"plain/zqtools", "plain"},
      {"a.bundle/Contents/MacOS/zqtools", "in resources"},
      {"b.bundle/Contents/MacOS/zqtools", "beside"},  // beside the executable wins
      {"c/MacOS/zqtools", ""},                        // only a bundle's Contents folder counts
      {"missing.bundle/Contents/MacOS/zqtools", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(loaded(dir + "/" + c.module, 5000), c.expected) << c.module;
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
