// zqhost info and zqhost call, driven through the built program.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "runner.h"

using namespace zqhosttest;

namespace {

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(ZqhostCli, InfoListsWhatWasRegistered) {
  const Result r = runZqhost({"info"});
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* text :
       {"version 2.58", "object    1001", "27 methods", "2 methods", "static    7 methods",
        "constants 38", "2106 $replace(", "Result char writable", "SelectedOnly bool optional"})
    EXPECT_NE(r.out.find(text), std::string::npos) << text << "\n" << r.out;

  const Result j = runZqhost({"info", "--json"});
  EXPECT_EQ(j.status, 0);
  const json info = json::parse(j.out);
  EXPECT_EQ(info["statics"].size(), 7u);
}

TEST(ZqhostCli, ExplicitModuleAndMissingModule) {
  const Result good = runZqhost({"--module", ZQ_MODULE_PATH, "call", "$error"});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.out, "return  {\"int\":1}\n");

  const Result bad = runZqhost({"--module", "/nonexistent/zqtools.so", "info"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("cannot load /nonexistent/zqtools.so"), std::string::npos) << bad.err;
}

TEST(ZqhostCli, CallReportsReturnAndErrors) {
  const Result invalid = runZqhost({"call", "2129"});
  EXPECT_EQ(invalid.status, 1);
  EXPECT_EQ(invalid.out,
            "return  {\"int\":0}\n"
            "error   -101 Invalid method called. Internal method index error.\n");

  const Result pending = runZqhost({"call", "2109", "x"});
  EXPECT_EQ(pending.status, 1);
  EXPECT_NE(pending.out.find("error   -999 Feature not implemented. ($encode64)"),
            std::string::npos)
      << pending.out;

  // A static method's name is found among the static methods; --static forces a number there.
  EXPECT_EQ(runZqhost({"call", "$is64Bit"}).out, runZqhost({"call", "--static", "2003"}).out);
  EXPECT_EQ(runZqhost({"call", "--static", "2007"}).out, "return  {\"int\":-101}\n");
}

TEST(ZqhostCli, ArgumentsAndSavedBinaries) {
  char in[] = "/tmp/zqhost_cli_in_XXXXXX";
  char out[] = "/tmp/zqhost_cli_out_XXXXXX";
  ASSERT_GE(mkstemp(in), 0);
  ASSERT_GE(mkstemp(out), 0);
  const std::string bytes("\x00\xff\x10zq", 5);
  std::ofstream(in, std::ios::binary) << bytes;

  // 2109 fails, so --save writes nothing; $error succeeds and leaves its parameters as
  // given, so --save writes what went in.
  std::ofstream(out) << "old";
  Result r = runZqhost({"call", "--save", "1=" + std::string(out), "2109",
                        "file:" + std::string(in), "int:-5", "num:2.5", "bool:true", "bin:0A"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out.find("saved"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(r.err, "zqhost: the call reported an error; nothing saved\n");
  EXPECT_EQ(readFile(out), "old");
  r = runZqhost({"call", "--save", "1=" + std::string(out), "$error", "file:" + std::string(in),
                 "int:-5", "num:2.5", "bool:true", "bin:0A"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("saved   parameter 1 to"), std::string::npos) << r.out << r.err;
  EXPECT_EQ(readFile(out), bytes);

  const struct {
    std::vector<std::string> args;
    const char* complaint;
    int status = 2;
  } bad[] = {
      {{"call", "2109", "int:x"}, "not an integer: int:x"},
      {{"call", "2109", "int:2147483648"}, "out of range"},
      {{"call", "2109", "num:1.5x"}, "not a number"},
      {{"call", "2109", "bool:maybe"}, "not a boolean"},
      {{"call", "2109", "bin:abc"}, "not hexadecimal"},
      {{"call", "2109", "file:/nonexistent/file"}, "/nonexistent/file: No such file", 3},
      {{"call", "2109", "json:{\"int\": 1.5}"}, "not a JSON value"},
      {{"call", "--save", "2=/tmp/x", "2109", "bin:00"}, "no such parameter"},
      {{"call", "$nope"}, "unknown method"},
      {{"call", "67636"}, "0 to 65535"},
      {{"call"}, "METHOD is required"},
      {{"frobnicate"}, "unknown command frobnicate"},
      {{"run", "/nonexistent/requests"}, "/nonexistent/requests: No such file", 3},
      {{"info", "--static"}, "not expected: --static"},
  };
  for (const auto& b : bad) {
    r = runZqhost(b.args);
    EXPECT_EQ(r.status, b.status) << b.complaint;
    EXPECT_NE(r.err.find(b.complaint), std::string::npos) << r.err;
  }

  // Parameter 1 is text, not binary: nothing is written and the call reports failure.
  r = runZqhost({"call", "--save", "1=" + std::string(out), "$error", "char:int:1"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("parameter 1 is not binary"), std::string::npos) << r.err;
  std::remove(in);
  std::remove(out);
}

TEST(ZqhostCli, RunReadsAFileOrStandardInput) {
  char path[] = "/tmp/zqhost_cli_run_XXXXXX";
  ASSERT_GE(mkstemp(path), 0);
  std::ofstream(path) << "{\"message\": 589824}\n\n  \n{\"call\": 2129}\r\n";
  const Result fromFile = runZqhost({"run", path});
  const Result fromStdin = runZqhost({"run"}, readFile(path));
  std::remove(path);
  EXPECT_EQ(fromFile.status, 0);
  EXPECT_EQ(fromFile.out, fromStdin.out);
  const std::vector<json> lines = fromFile.lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], json({{"answer", 1549}}));
  EXPECT_EQ(lines[1]["errors"][0]["code"], -101);
}

}  // namespace
