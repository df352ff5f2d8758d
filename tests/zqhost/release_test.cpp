// The release as a user gets it: the build tree installed under a scratch prefix (zqhost
// without options, relative run paths, one version everywhere), and zqhost with a module
// that is away from its resource file.
#include <gtest/gtest.h>
#include <limits.h>
#include <stdlib.h>

#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>

#include "runner.h"
#include "zqversion.h"

using namespace zqhosttest;

namespace {

bool contains(const std::string& s, const std::string& part) {
  return s.find(part) != std::string::npos;
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string scratchDir(const char* what) {
  std::string name = std::string("/tmp/zq_") + what + "_XXXXXX";
  if (!mkdtemp(&name[0])) return "";
  char real[PATH_MAX];
  return realpath(name.c_str(), real) ? real : name;
}

void removeTree(const std::string& dir) {
  if (!dir.empty()) EXPECT_EQ(runProgram("rm", {"-rf", dir}).status, 0);
}

const std::string kVersion = ZQ_VERSION_STRING;
// The version the entry procedure answers: the minor version is one lower in the 32-bit build.
const std::string kMajorMinor = std::to_string(ZQ_VERSION_MAJOR) + "." +
                                std::to_string(ZQ_VERSION_MINOR - (sizeof(void*) == 8 ? 0 : 1));

// ------------------------------------------------------------------------------------------
// The installed tree

class InstalledTree : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    prefix = scratchDir("install");
    const Result r = runProgram(ZQ_CMAKE_COMMAND, {"--install", ZQ_BINARY_DIR, "--prefix", prefix});
    ASSERT_EQ(r.status, 0) << r.out << r.err;
  }
  static void TearDownTestSuite() { removeTree(prefix); }

  static std::string zqhost() { return prefix + "/bin/zqhost"; }
  static std::string libdir() { return prefix + "/" ZQ_INSTALL_LIBDIR; }

  static std::string prefix;
};
std::string InstalledTree::prefix;

TEST_F(InstalledTree, ZqhostFindsTheInstalledComponentWithoutOptions) {
  const Result info = runProgram(zqhost(), {"info"});
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_EQ(info.err, "");
  EXPECT_TRUE(contains(info.out, "library   zqtools (version " + kMajorMinor +
                                     ")\n          zqtools " + kVersion + ": text editing"))
      << info.out;
  EXPECT_TRUE(contains(info.out, "2106 $replace(Source char, "));

  const Result call = runProgram(
      zqhost(), {"call", "$replace", "one, two, one", "one", "three", "", "int:0", "int:0"});
  EXPECT_EQ(call.status, 0) << call.err;
  EXPECT_TRUE(contains(call.out, "return  {\"int\":2}\nparam 4 {\"char\":\"three, two, three\"}\n"))
      << call.out;

  const Result version = runProgram(zqhost(), {"--version"});
  EXPECT_EQ(version.status, 0) << version.err;
  EXPECT_EQ(version.out, "zqhost " + kVersion + "\nzqtools " + kMajorMinor + " (" + libdir() +
                             "/zqtools/zqtools.so)\n");

  // --module still chooses another component.
  const Result other = runProgram(zqhost(), {"--module", ZQ_MODULE_PATH, "--version"});
  EXPECT_TRUE(contains(other.out, "zqtools " + kMajorMinor + " (" ZQ_MODULE_PATH ")\n"))
      << other.out << other.err;
}

TEST_F(InstalledTree, WorksWhereverTheTreeIsMoved) {
  const std::string moved = prefix + "-moved";
  ASSERT_EQ(std::rename(prefix.c_str(), moved.c_str()), 0);
  const Result r =
      runProgram(moved + "/bin/zqhost", {"call", "2106", "abc", "b", "x", "", "int:0", "int:0"});
  ASSERT_EQ(std::rename(moved.c_str(), prefix.c_str()), 0);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(contains(r.out, "{\"char\":\"axc\"}")) << r.out;
}

TEST_F(InstalledTree, RunPathsAreRelativeAndVersionsAgree) {
  const struct {
    std::string file;
    std::string runpath;  // "" when the file needs none
  } files[] = {
      {zqhost(), "$ORIGIN/../" ZQ_INSTALL_LIBDIR},
      {libdir() + "/zqtools/zqtools.so", "$ORIGIN/.."},
      {libdir() + "/libzqhost.so." + kVersion, ""},
  };
  for (const auto& f : files) {
    SCOPED_TRACE(f.file);
    const Result r = runProgram("readelf", {"-d", f.file});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(contains(r.out, ZQ_BINARY_DIR)) << r.out;
    EXPECT_FALSE(contains(r.out, "(RPATH)")) << r.out;
    if (f.runpath.empty())
      EXPECT_FALSE(contains(r.out, "(RUNPATH)")) << r.out;
    else
      EXPECT_TRUE(contains(r.out, "Library runpath: [" + f.runpath + "]\n")) << r.out;
  }
  const Result soname = runProgram("readelf", {"-d", libdir() + "/libzqhost.so"});
  EXPECT_TRUE(contains(soname.out,
                       "Library soname: [libzqhost.so." + std::to_string(ZQ_VERSION_MAJOR) + "]"))
      << soname.out;

  EXPECT_TRUE(
      contains(readAll(libdir() + "/pkgconfig/zqhost.pc"), "\nVersion: " + kVersion + "\n"));
  EXPECT_TRUE(contains(readAll(libdir() + "/cmake/zqhost/zqhostConfigVersion.cmake"),
                       "set(PACKAGE_VERSION \"" + kVersion + "\")"));
  EXPECT_TRUE(
      contains(readAll(prefix + "/share/doc/zqtools/CHANGELOG.md"), "## [" + kVersion + "]"));
  for (const char* header : {"extcomp.h", "extfldval.h", "hosttypes.h", "hostruntime.h"})
    EXPECT_FALSE(readAll(prefix + "/include/zqhost/" + header).empty()) << header;
}

TEST_F(InstalledTree, ManualPageNamesTheVersionAndEveryOption) {
  const std::string page = readAll(prefix + "/share/man/man1/zqhost.1");
  ASSERT_FALSE(page.empty());
  EXPECT_TRUE(contains(page, ".TH ZQHOST 1 \"December 2026\" \"zqtools " + kVersion + "\""));
  const std::regex option("--([a-z][a-z-]*)");
  int options = 0;
  for (const char* command : {"", "info", "call", "run"}) {
    const Result help = runProgram(zqhost(), *command ? std::vector<std::string>{command, "--help"}
                                                      : std::vector<std::string>{"--help"});
    for (std::sregex_iterator it(help.out.begin(), help.out.end(), option), end; it != end; ++it) {
      EXPECT_TRUE(contains(page, "\\fB\\-\\-" + (*it)[1].str() + "\\fR")) << (*it)[1].str();
      ++options;
    }
  }
  EXPECT_GE(options, 5);
}

// ------------------------------------------------------------------------------------------
// A module away from its resource file

class ModuleAway : public ::testing::Test {
 protected:
  void SetUp() override { dir = scratchDir("module"); }
  void TearDown() override { removeTree(dir); }
  std::string dir;
};

TEST_F(ModuleAway, CopiedWithoutItsStringsSaysSoAndCallsByNumberStillWork) {
  const std::string module = dir + "/zqtools.so";
  ASSERT_EQ(runProgram("cp", {ZQ_MODULE_PATH, module}).status, 0);
  const std::string why =
      "cannot read the resource strings " + dir + "/zqtools.strings: No such file or directory";

  const Result info = runProgram(ZQHOST_PATH, {"--module", module, "info"});
  EXPECT_EQ(info.status, 0);
  EXPECT_TRUE(contains(info.err, "zqhost: warning: " + why + "\n")) << info.err;
  EXPECT_TRUE(contains(info.err, "methods can still be called by number")) << info.err;
  EXPECT_TRUE(contains(info.out, "object    1001 (no name), 27 methods\n")) << info.out;
  EXPECT_TRUE(contains(info.out, "  2106 (no name)((no name) char, ")) << info.out;

  const json j = json::parse(runProgram(ZQHOST_PATH, {"--module", module, "info", "--json"}).out);
  ASSERT_EQ(j["library"]["resourceProblems"].size(), 3u);
  EXPECT_EQ(j["library"]["resourceProblems"][0], why);

  const Result byName = runProgram(ZQHOST_PATH, {"--module", module, "call", "$replace", "abc"});
  EXPECT_EQ(byName.status, 2);
  EXPECT_TRUE(contains(byName.err, "unknown method \"$replace\" of object 1001 (" + why +
                                       "; methods can still be called by number)"))
      << byName.err;

  const Result byNumber = runProgram(
      ZQHOST_PATH, {"--module", module, "call", "2106", "abc", "b", "x", "", "int:0", "int:0"});
  EXPECT_EQ(byNumber.status, 0) << byNumber.err;
  EXPECT_TRUE(contains(byNumber.out, "{\"char\":\"axc\"}")) << byNumber.out;

  // The same module with a damaged resource file beside it.
  std::ofstream(dir + "/zqtools.strings", std::ios::binary) << "1000\tzqtools\n\x01\x02garbage\n";
  const Result damaged = runProgram(ZQHOST_PATH, {"--module", module, "info"});
  EXPECT_TRUE(contains(damaged.err, "zqhost: warning: the resource strings " + dir +
                                        "/zqtools.strings are damaged: 1 line is not "
                                        "id<TAB>text in UTF-8 (line 2)\n"))
      << damaged.err;
}

TEST_F(ModuleAway, LinkedFromElsewhereFindsTheStringsBesideTheRealFile) {
  ASSERT_EQ(runProgram("ln", {"-s", ZQ_MODULE_PATH, dir + "/zqtools.so"}).status, 0);
  const Result r = runProgram(ZQHOST_PATH, {"--module", dir + "/zqtools.so", "call", "$replace",
                                            "abc", "b", "x", "", "int:0", "int:0"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

}  // namespace
