// zqhost's command line as people and scripts use it: help and version, files and "-",
// text files, bare output, saving results, named constants and the exit statuses.
#include <dirent.h>
#include <gtest/gtest.h>

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

bool exists(const std::string& path) { return std::ifstream(path).good(); }

std::vector<std::string> filesIn(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (dirent* e = readdir(d))
      if (e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.')) names.push_back(e->d_name);
    closedir(d);
  }
  return names;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

const std::string kSha256Abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

class ZqhostOptions : public ::testing::Test {
 protected:
  void SetUp() override { dir = makeTempDir(); }
  void TearDown() override { removeTree(dir); }
  std::string path(const std::string& name) const { return dir + "/" + name; }
  void write(const std::string& name, const std::string& content) const {
    std::ofstream(path(name), std::ios::binary) << content;
  }
  std::string dir;
};

TEST_F(ZqhostOptions, EachCommandHasItsOwnHelp) {
  const struct {
    std::vector<std::string> args;
    std::vector<const char*> shown;
  } cases[] = {
      {{"--help"},
       {"Usage: zqhost [OPTIONS] [SUBCOMMAND]", "--module PATH", "--version", "info",
        "Exit status:"}},
      {{"call", "--help"},
       {"Usage: zqhost call [OPTIONS] METHOD [ARG...]", "--save N=PATH", "--print", "--quiet",
        "textfile:PATH", "kZQCipherAES128"}},
      {{"run", "-h"},
       {"Usage: zqhost run [OPTIONS] [FILE]", "--echo", "--strict", "4  run --strict:"}},
      {{"info", "--help"}, {"Usage: zqhost info [OPTIONS]", "--json"}},
  };
  for (const auto& c : cases) {
    const Result r = runZqhost(c.args);
    EXPECT_EQ(r.status, 0) << c.args[0];
    EXPECT_EQ(r.err, "");
    for (const char* text : c.shown) EXPECT_TRUE(contains(r.out, text)) << text << "\n" << r.out;
  }
  // A command's help is not the global text.
  EXPECT_FALSE(contains(runZqhost({"call", "--help"}).out, "Subcommands:"));
}

// info shows the registered types, and points to where the README explains what each
// parameter accepts beyond them; the section it names must exist.
TEST_F(ZqhostOptions, InfoPointsToTheAcceptedValues) {
  const Result r = runZqhost({"info"});
  EXPECT_EQ(r.status, 0);
  const std::string section = "Registered types and accepted values";
  EXPECT_TRUE(contains(r.out, "README, \"" + section + "\"\n")) << r.out;
  EXPECT_TRUE(contains(readFile(ZQ_SOURCE_DIR "/README.md"), "### " + section + "\n"));
  EXPECT_TRUE(contains(r.out, "2124 $barcodeUSPS(BarcodeIdentifier int,")) << r.out;
}

TEST_F(ZqhostOptions, VersionNamesZqhostAndTheComponent) {
  const Result r = runZqhost({"--version"});
  EXPECT_EQ(r.status, 0) << r.err;
  std::istringstream lines(r.out);
  std::string first, second;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(first.rfind("zqhost ", 0), 0u) << r.out;
  // The component's version answer: 2.58 in the 64-bit build, 2.57 in the 32-bit one.
  EXPECT_EQ(second.rfind(sizeof(void*) == 8 ? "zqtools 2.58 (" : "zqtools 2.57 (", 0), 0u) << r.out;
  EXPECT_TRUE(contains(second, "zqtools.so)")) << r.out;
}

TEST_F(ZqhostOptions, UsageErrorsAreShortAndExitWith2) {
  const struct {
    std::vector<std::string> args;
    const char* complaint;
  } cases[] = {
      {{"call", "-q"}, "zqhost: METHOD is required\n"},
      {{"call", "--save", "x", "$error"}, "zqhost: --save needs N=PATH, not x\n"},
      {{"call", "--save", "0=f", "$error"}, "a parameter number is 1 to 65535"},
      {{"call", "-p", "2", "$error", "int:1"}, "zqhost: --print 2: no such parameter\n"},
      {{"call", "-r", "-p", "1", "$error"}, "choose different values"},
      {{"call", "int:kZQNothing"}, "unknown method"},
      {{"call", "$error", "int:kZQNothing"}, "not an integer: int:kZQNothing"},
      {{"run", "--echo", "some"}, "--echo"},
      {{}, "zqhost: no command: info, call or run\n"},
  };
  for (const auto& c : cases) {
    const Result r = runZqhost(c.args);
    EXPECT_EQ(r.status, 2) << c.complaint;
    EXPECT_EQ(r.out, "") << c.complaint;
    EXPECT_TRUE(contains(r.err, c.complaint)) << r.err;
    EXPECT_FALSE(contains(r.err, "Usage:")) << r.err;
  }
}

// After METHOD everything is an argument, even text that looks like an option; an option of
// zqhost written there is passed on, with a warning.
TEST_F(ZqhostOptions, ArgumentsMayStartWithADash) {
  Result r = runZqhost({"call", "-p", "1", "$trim", "--x--", "-"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "x\n");
  EXPECT_EQ(r.err, "");
  r = runZqhost({"call", "-p", "4", "$replace", "-5 -q", "-q", "x", "", "int:-1"});
  EXPECT_EQ(r.out, "-5 x\n");
  EXPECT_EQ(r.err,
            "zqhost: warning: -q follows METHOD and goes to the method as text; options "
            "go before METHOD (char:-q says text)\n");
  EXPECT_EQ(runZqhost({"call", "-p", "4", "$replace", "-5 -q", "char:-q", "x", ""}).err, "");
}

TEST_F(ZqhostOptions, FileErrorsNameTheFileAndTheReason) {
  write("in.txt", "abc");
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"call", "$trim", "file:" + path("nope.txt"), ""},
       "zqhost: " + path("nope.txt") + ": No such file or directory\n"},
      {{"call", "$trim", "textfile:" + dir, ""}, "zqhost: " + dir + ": Is a directory\n"},
      {{"run", path("nope.jsonl")},
       "zqhost: " + path("nope.jsonl") + ": No such file or directory\n"},
      {{"run", dir}, "zqhost: " + dir + ": Is a directory\n"},
      {{"call", "$getsignature", "int:2", "file:-", "textfile:-"},
       "zqhost: standard input: already read by an earlier argument\n"},
      {{"call", "--save", "3=" + path("no/such/dir/out.bin"), "$getsignature", "int:2",
        "file:" + path("in.txt"), "bin:"},
       "zqhost: " + path("no/such/dir/out.bin") + ": No such file or directory\n"},
      {{"call", "--save", "3=" + dir + "/", "$getsignature", "int:2", "x", "bin:"},
       "zqhost: " + dir + "/: Is a directory\n"},
  };
  for (const auto& c : cases) {
    const Result r = runZqhost(c.args);
    EXPECT_EQ(r.status, 3) << c.err;
    EXPECT_EQ(r.err, c.err);
  }
  // Standard output that cannot be written.
  const Result full = runShell("zqhost info > /dev/full", dir);
  EXPECT_EQ(full.status, 3);
  EXPECT_EQ(full.err, "zqhost: standard output: No space left on device\n");
}

TEST_F(ZqhostOptions, DashIsStandardInputAndOutput) {
  write("req.jsonl", "{\"call\": \"$error\"}\n");
  // run - and run without a file read standard input.
  const Result dash = runZqhost({"run", "-"}, readFile(path("req.jsonl")));
  EXPECT_EQ(dash.status, 0) << dash.err;
  EXPECT_EQ(dash.out, runZqhost({"run", path("req.jsonl")}).out);

  // file:- and --save N=-: the digest's bytes alone on standard output, the report nowhere.
  Result r =
      runZqhost({"call", "--save", "3=-", "$getsignature", "int:2", "file:-", "bin:"}, "abc");
  EXPECT_EQ(r.status, 0) << r.err;
  std::string hex;
  for (unsigned char c : r.out)
    hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
  EXPECT_EQ(hex, kSha256Abc);
  EXPECT_EQ(r.err, "");

  // textfile:- reads characters.
  r = runZqhost({"call", "-p", "3", "$getsignature", "int:2", "textfile:-", ""}, "abc");
  EXPECT_EQ(r.out, kSha256Abc + "\n");

  // Binary data never goes to a terminal.
  r = runOnTerminal({"call", "--save", "3=-", "$getsignature", "int:2", "x", "bin:"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(contains(r.err, "--save 3=-: standard output is a terminal")) << r.err;
}

// A client writes a request and waits for its answer before it writes the next one: each
// line is answered as soon as it arrives, not when the input ends.
TEST_F(ZqhostOptions, RunAnswersEachLineAsItComes) {
  const Result r = runShell(
      "coproc Z { zqhost run -; }\n"
      "for i in 1 2; do\n"
      "  echo '{\"call\": \"$trim\", \"params\": [{\"char\": \"*x*\"}, {\"char\": \"*\"}]}' "
      ">&\"${Z[1]}\"\n"
      "  read -r -t 10 line <&\"${Z[0]}\" || { echo no answer; exit 1; }\n"
      "  echo \"${line:0:30}\"\n"
      "done\n",
      dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "{\"answer\":0,\"return\":{\"int\":1}\n{\"answer\":0,\"return\":{\"int\":1}\n");
}

TEST_F(ZqhostOptions, TextFilesAreReadAsUtf8) {
  // Invalid UTF-8 becomes U+FFFD, as the host reads any UTF-8 text.
  write("bad.txt", std::string("a\xff<b\xc3", 5));
  Result r = runZqhost({"call", "-r", "$encodeEntities", "textfile:" + path("bad.txt")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "a\xEF\xBF\xBD&lt;b\xEF\xBF\xBD\n");

  // Larger than a command line may carry; the file's text comes back whole.
  std::string big;
  for (int i = 0; i < 40000; ++i) big += "\xC3\xA9 line\n";  // 320 KB
  write("big.txt", big);
  r = runZqhost({"call", "-p", "4", "$replace", "textfile:" + path("big.txt"), "line", "x", ""});
  EXPECT_EQ(r.status, 0) << r.err;
  ASSERT_EQ(r.out.size(), 40000u * 5 + 1);
  EXPECT_EQ(r.out.substr(0, 10), "\xC3\xA9 x\n\xC3\xA9 x\n");
  // file: gives the same bytes as binary, which the text method refuses.
  r = runZqhost({"call", "$encodeEntities", "file:" + path("bad.txt")});
  EXPECT_EQ(r.status, 1);
}

TEST_F(ZqhostOptions, BareOutputPrintsOneValue) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"call", "-r", "$encodeEntities", "<é>"}, "&lt;&eacute;&gt;\n"},
      {{"call", "--print", "return", "$replace", "a-a", "a", "b", "", "int:0", "int:1"}, "1\n"},
      {{"call", "-p", "4", "$replace", "a-a", "a", "b", "", "int:0", "int:1"}, "b-a\n"},
      {{"call", "-p", "6", "$replace", "a-a", "a", "b", "", "int:0", "int:1"}, "1\n"},
      {{"call", "-p", "1", "$error", "num:1.5"}, "1.5\n"},
      {{"call", "-r", "$is64Bit"}, sizeof(void*) == 8 ? "true\n" : "false\n"},
      {{"call", "-p", "3", "$getsignature", "int:1", "abc", "bin:"},
       std::string(
           "\xa9\x99\x3e\x36\x47\x06\x81\x6a\xba\x3e\x25\x71\x78\x50\xc2\x6c\x9c\xd0\xd8\x9d", 20)},
  };
  for (const auto& c : cases) {
    const Result r = runZqhost(c.args);
    EXPECT_EQ(r.status, 0) << c.args[2] << r.err;
    EXPECT_EQ(r.out, c.out) << c.args[2];
  }
  // A failed call prints no value; its error goes to standard error.
  Result r = runZqhost({"call", "-r", "$encodeEntities"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "zqhost: error -102 Invalid parameters: Parameter count must be exactly 1 "
            "($encodeEntities)\n");
  // Text goes to a terminal; binary is refused there with a hint, after the call.
  r = runOnTerminal({"call", "-r", "$encodeEntities", "a&b"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "a&amp;b\r\n");
  r = runOnTerminal({"call", "-p", "3", "$getsignature", "int:1", "abc", "bin:"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "zqhost: parameter 3 is binary: not written to a terminal; redirect standard "
            "output (> FILE) or use --save 3=FILE\n");
  // A report on a terminal summarises long binaries; piped, it shows them whole.
  r = runOnTerminal({"call", "$barcode39", "bin:", "*A*"});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::string image = runZqhost({"call", "-p", "1", "$barcode39", "bin:", "*A*"}).out;
  EXPECT_EQ(r.out, "return  {\"int\":1}\r\nparam 1 " + std::to_string(image.size()) +
                       " bytes (not shown on a terminal; --save 1=FILE writes them)\r\n");
  EXPECT_TRUE(
      contains(runZqhost({"call", "$barcode39", "bin:", "*A*"}).out, "param 1 {\"bin\":\"ffd8ff"));
  r = runOnTerminal({"call", "$getsignature", "int:2", "abc", "bin:"});
  EXPECT_EQ(r.out, "return  {\"int\":1}\r\nparam 3 {\"bin\":\"" + kSha256Abc + "\"}\r\n");
  // -q prints nothing; the status tells.
  EXPECT_EQ(runZqhost({"call", "-q", "$encodeEntities"}).out, "");
  EXPECT_EQ(runZqhost({"call", "-q", "$encodeEntities"}).err, "");
  EXPECT_EQ(runZqhost({"call", "-q", "$encodeEntities"}).status, 1);
}

TEST_F(ZqhostOptions, SaveWritesOnlyAfterSuccess) {
  const std::string jpeg = path("code.jpg");
  // A failed call leaves no file, and an existing one as it was.
  Result r = runZqhost({"call", "--save", "1=" + jpeg, "$barcode39", "bin:", "*A#*"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(contains(r.out, "saved")) << r.out;
  EXPECT_FALSE(exists(jpeg));
  write("code.jpg", "previous");
  r = runZqhost({"call", "--save", "1=" + jpeg, "$barcode39", "bin:", "*A#*"});
  EXPECT_EQ(readFile(jpeg), "previous");
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"code.jpg"});

  r = runZqhost({"call", "--save", "1=" + jpeg, "$barcode39", "bin:", "*A1*"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(contains(r.out, "saved   parameter 1 to " + jpeg)) << r.out;
  const std::string image = readFile(jpeg);
  EXPECT_EQ(image.substr(0, 3), "\xff\xd8\xff");
  EXPECT_TRUE(contains(r.out, "param 1 " + std::to_string(image.size()) + " bytes")) << r.out;
  EXPECT_EQ(filesIn(dir), std::vector<std::string>{"code.jpg"});  // no temporary file left
}

TEST_F(ZqhostOptions, ConstantsStandForIntegers) {
  const struct {
    const char* byName;
    const char* byNumber;
  } cases[] = {
      {"int:kZQCipherAES128", "int:2"},
      {"int:kzqcipheraes128", "int:2"},
      {"int:kZQDigestSHA256", "int:2"},
      {"int64:kZQErrInvalidParameters", "int64:-102"},
  };
  for (const auto& c : cases) {
    const Result named = runZqhost({"call", "$error", c.byName});
    EXPECT_EQ(named.status, 0) << c.byName << named.err;
    EXPECT_EQ(named.out, runZqhost({"call", "$error", c.byNumber}).out) << c.byName;
  }
  const Result sha =
      runZqhost({"call", "-p", "3", "$getsignature", "int:kZQDigestSHA256", "abc", ""});
  EXPECT_EQ(sha.out, kSha256Abc + "\n");
  // The same in run requests, as a parameter and as a variable; an unknown name is refused.
  const Result run = runRequests(
      {R"({"call": "$getsignature", "params": [{"int": "kZQDigestSHA256"}, {"char": "abc"}, {"char": ""}], "echo": "changed"})",
       R"({"call": "$evalcalc", "params": [{"char": "n + 1"}], "vars": {"n": {"int64": "kZQObjScope"}}})",
       R"({"call": "$error", "params": [{"int": "kZQNothing"}]})"});
  const std::vector<json> lines = run.lines();
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0]["params"][2], json({{"char", kSha256Abc}}));
  EXPECT_EQ(lines[1]["return"], json({{"num", 1003.0}}));
  EXPECT_TRUE(lines[2].contains("error")) << lines[2];
}

TEST_F(ZqhostOptions, RunSavesParametersAndEchoesWhatWasAsked) {
  const std::string good = path("a1.jpg"), bad = path("a2.jpg");
  const std::string barcode = R"({"call": "$barcode39", "params": [{"bin": ""}, {"char": "*A1*"}])";
  const Result r = runRequests({
      barcode + R"(, "save": {"1": ")" + good + R"("}, "echo": "none"})",
      R"({"call": "$barcode39", "params": [{"bin": ""}, {"char": "*A#*"}], "save": {"1": ")" + bad +
          R"("}})",
      R"({"call": "$replace", "params": [{"char": "abc"}, {"char": "b"}, {"char": "X"}, {"char": ""}], "echo": "changed"})",
      R"({"call": "$replace", "params": [{"char": "abc"}, {"char": "b"}, {"char": "X"}, {"char": ""}], "save": {"4": ")" +
          path("t") + R"("}})",
      barcode + R"(, "save": {"1": "-"}})",
      barcode + R"(, "save": {"3": ")" + good + R"("}})",
      barcode + R"(, "echo": "some"})",
      barcode + R"(, "save": {"1": ")" + path("no/dir.jpg") + R"("}, "echo": "none"})",
  });
  EXPECT_EQ(r.status, 0) << r.err;  // refused requests end no session
  const std::vector<json> lines = r.lines();
  ASSERT_EQ(lines.size(), 8u) << r.out;
  const std::string image = readFile(good);
  EXPECT_EQ(image.substr(0, 3), "\xff\xd8\xff");
  EXPECT_EQ(lines[0]["params"], json::parse("[null, null]"));
  EXPECT_EQ(lines[0]["changed"], json::parse("[1]"));
  EXPECT_EQ(lines[0]["saved"], json({{{"param", 1}, {"path", good}, {"bytes", image.size()}}}));
  EXPECT_FALSE(exists(bad));
  EXPECT_EQ(lines[1]["saved"][0]["error"], "not written: the call reported an error");
  EXPECT_EQ(lines[1]["params"][1], json({{"char", "*A#*"}}));  // echo defaults to all
  EXPECT_EQ(lines[2]["params"], json::parse(R"([null, null, null, {"char": "aXc"}])"));
  EXPECT_FALSE(lines[2].contains("saved"));
  EXPECT_EQ(lines[3]["saved"][0]["error"], "not written: parameter 4 is char, not binary");
  EXPECT_TRUE(contains(lines[4].value("error", ""), "name a file")) << lines[4];
  EXPECT_TRUE(contains(lines[5].value("error", ""), "not a parameter number")) << lines[5];
  EXPECT_TRUE(contains(lines[6].value("error", ""), "all, changed or none")) << lines[6];
  EXPECT_EQ(lines[7]["saved"][0]["error"], path("no/dir.jpg") + ": No such file or directory");

  // With --strict a session with a refused request exits with 4, one without with 0.
  const Result strict = runZqhost({"run", "--strict"}, barcode + "}\n{\"call\": \"$nope\"}\n");
  EXPECT_EQ(strict.status, 4) << strict.err;
  EXPECT_EQ(strict.lines().size(), 2u) << strict.out;

  // The session's default echo.
  const Result changed = runZqhost(
      {"run", "--strict", "--echo", "changed"},
      R"({"call": "$replace", "params": [{"char": "abc"}, {"char": "b"}, {"char": "X"}, {"char": ""}]})"
      "\n" +
          barcode + R"(, "echo": "all"})" + "\n");
  EXPECT_EQ(changed.status, 0) << changed.err;
  const std::vector<json> answers = changed.lines();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0]["params"], json::parse(R"([null, null, null, {"char": "aXc"}])"));
  EXPECT_EQ(answers[1]["params"][1], json({{"char", "*A1*"}}));
}

}  // namespace

namespace {

// The manual page is the committed source of the installed one: every option of every
// command's help is described there, short and long, and the page formats without warnings.
TEST(ZqhostManual, DescribesEveryOptionOfEveryCommand) {
  const std::string page = readFile(ZQ_SOURCE_DIR "/tools/zqhost/zqhost.1.in");
  ASSERT_FALSE(page.empty());
  int options = 0;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                               {"info", "--help"},
                                               {"call", "--help"},
                                               {"run", "--help"}}) {
    const Result help = runZqhost(args);
    ASSERT_EQ(help.status, 0);
    std::istringstream lines(help.out);
    std::string line;
    while (std::getline(lines, line)) {
      // Option lines of the help: "  -p,--print WHICH   text" or "  --json   text".
      if (line.size() < 3 || line.compare(0, 3, "  -") != 0) continue;
      const std::string names = line.substr(2, line.find(' ', 2) - 2);
      std::istringstream each(names);
      std::string name;
      while (std::getline(each, name, ',')) {
        std::string roff;
        for (char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_TRUE(contains(page, "\\fB" + roff + "\\fR")) << name << " of " << args[0];
        ++options;
      }
    }
  }
  EXPECT_GE(options, 12);
  for (const char* prefix :
       {"int:", "num:", "bool:", "bin:", "file:", "textfile:", "char:", "json:"})
    EXPECT_TRUE(contains(page, std::string("\\fB") + prefix)) << prefix;
  for (const char* status : {".B 0\n", ".B 1\n", ".B 2\n", ".B 3\n", ".B 4\n"})
    EXPECT_TRUE(contains(page, status)) << status;

  const Result lint =
      runShell("groff -man -ww -z -Tutf8 " ZQ_SOURCE_DIR "/tools/zqhost/zqhost.1.in", "/tmp");
  EXPECT_EQ(lint.status, 0);
  EXPECT_EQ(lint.err, "");
}

}  // namespace
