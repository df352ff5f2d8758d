// The component's resource strings: what the host layer reports with the handshake when the
// resource file is missing, unreadable or damaged, instead of registering blank names.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "testhost.h"

namespace {

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The built resource strings (beside the built module).
std::string builtStrings() {
  std::string path = ZQ_MODULE_PATH;
  path.erase(path.find_last_of('.'));
  return readAll(path + ".strings");
}

// Registers the component as if it were loaded from a folder holding the given resource
// file (no file when strings is null), and restores the real module afterwards.
class ResourceFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/zq_resources_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    mDir = dir;
  }
  void TearDown() override {
    __ExtTerminate();
    __ExtInitialize(ZQ_MODULE_PATH);
    ASSERT_EQ(std::system(("rm -rf '" + mDir + "'").c_str()), 0);
  }
  const hostrt::Host::Registry& registerWith(const std::string* strings) {
    if (strings) std::ofstream(file(), std::ios::binary) << *strings;
    __ExtTerminate();
    __ExtInitialize((mDir + "/zqtools.so").c_str());
    return mHost.handshake();
  }
  std::string file() const { return mDir + "/zqtools.strings"; }

  std::string mDir;
  hostrt::Host mHost{ZQWndProc};
};

TEST_F(ResourceFiles, CompleteFileRegistersEveryName) {
  const std::string strings = builtStrings();
  const auto& reg = registerWith(&strings);
  EXPECT_TRUE(reg.resourceProblems.empty()) << reg.resourceProblems[0];
  EXPECT_EQ(reg.libName, "zqtools");
  EXPECT_EQ(reg.methods.at(1001).at(6).name, "$replace");
}

TEST_F(ResourceFiles, MissingFileIsReportedWithTheReason) {
  const auto& reg = registerWith(nullptr);
  ASSERT_EQ(reg.resourceProblems.size(), 3u);
  EXPECT_EQ(reg.resourceProblems[0],
            "cannot read the resource strings " + file() + ": No such file or directory");
  // Library information, 2 objects, 36 methods with their parameters, 38 constants.
  EXPECT_EQ(reg.resourceProblems[1].find(" registered names have no resource string (ids 1000, "
                                         "1001, 1002, 2000, 2001, 2002, 2003, 2004, ...)"),
            3u)
      << reg.resourceProblems[1];
  EXPECT_EQ(reg.resourceProblems[2], "the library has no name");
  EXPECT_EQ(reg.methods.at(1001).at(6).name, "");
  EXPECT_EQ(reg.methods.at(1001).at(6).id, 2106);  // calls by number still work
}

TEST_F(ResourceFiles, UnreadableOrDamagedFiles) {
  const std::string good = builtStrings();
  // The built file with its line for $replace (2106) broken in different ways.
  auto withLine = [&](const std::string& replacement) {
    std::string s = good;
    const size_t at = s.find("\n2106\t") + 1;
    return s.replace(at, s.find('\n', at) - at, replacement);
  };
  size_t replaceLine = 1;
  for (size_t i = 0; i <= good.find("\n2106\t"); ++i) replaceLine += good[i] == '\n';
  const std::string line = " (line " + std::to_string(replaceLine) + ")";
  const std::string damaged = "the resource strings " + file() + " are damaged: ";

  const struct {
    const char* what;
    std::string content;
    std::string problem;  // the first problem reported
    bool replaceNamed;    // $replace still has its name
  } cases[] = {
      {"invalid UTF-8", withLine("2106\t$rep\xC3\x28lace"),
       damaged + "1 line is not id<TAB>text in UTF-8" + line, false},
      {"no tab", withLine("2106 $replace"), damaged + "1 line is not id<TAB>text in UTF-8" + line,
       false},
      {"id not a number", withLine("21O6\t$replace"),
       damaged + "1 line is not id<TAB>text in UTF-8" + line, false},
      {"a NUL byte", withLine(std::string("2106\t$re\0place", 14)),
       damaged + "1 line is not id<TAB>text in UTF-8" + line, false},
      {"binary garbage",
       std::string("\x7f"
                   "ELF\x02\x01\x01\0\0\0\n\xff\xfe\t\x80\n",
                   16),
       damaged + "2 lines are not id<TAB>text in UTF-8 (line 1 first)", false},
      {"empty", "", "the resource strings " + file() + " hold no entries", false},
      {"only comments", "# nothing\n\n", "the resource strings " + file() + " hold no entries",
       false},
      {"cut short after 2105", good.substr(0, good.find("\n2106\t") + 1), "", false},
      {"CRLF line ends",
       [&] {
         std::string s;
         for (char c : good) s += c == '\n' ? std::string("\r\n") : std::string(1, c);
         return s;
       }(),
       "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto& reg = registerWith(&c.content);
    ASSERT_FALSE(c.replaceNamed && !reg.resourceProblems.empty()) << reg.resourceProblems[0];
    if (!c.replaceNamed) {
      ASSERT_FALSE(reg.resourceProblems.empty());
      if (!c.problem.empty()) {
        EXPECT_EQ(reg.resourceProblems[0], c.problem);
      } else {  // the file reads well but names are missing
        EXPECT_NE(reg.resourceProblems[0].find("have no resource string (ids 2106"),
                  std::string::npos)
            << reg.resourceProblems[0];
      }
    }
    EXPECT_EQ(reg.methods.at(1001).at(6).name, c.replaceNamed ? "$replace" : "");
  }

  // A folder where the file should be.
  std::remove(file().c_str());
  ASSERT_EQ(mkdir(file().c_str(), 0755), 0);
  const auto& reg = registerWith(nullptr);
  ASSERT_FALSE(reg.resourceProblems.empty());
  EXPECT_EQ(reg.resourceProblems[0],
            "cannot read the resource strings " + file() + ": Is a directory");
  rmdir(file().c_str());
}

}  // namespace
