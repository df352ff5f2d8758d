// Static methods of the library, called without an instance.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "testhost.h"

using namespace zqtest;

namespace {

const qlong kMakeParamRow = 2000, kLoadParamVars = 2001, kTrace = 2002, kIs64Bit = 2003,
            kLoadCRB = 2004, kGetProcessId = 2005, kLaunchProcess = 2006;

class Static : public ComponentTest {
 protected:
  EXTfldval& var(const char* name) { return *host.context().findVar(name); }
};

std::vector<std::string> columnNames(const EXTfldval& v) {
  std::vector<std::string> out;
  EXTqlist l;
  if (!v.getList(&l, qfalse)) return out;
  for (qshort c = 1; c <= l.colCnt(); ++c) {
    str255 name;
    l.getColName(c, name);
    out.push_back(hostrt::fromU32(std::u32string(name.cString(), name.length())));
  }
  return out;
}

std::vector<std::string> line1(const EXTfldval& v) {
  std::vector<std::string> out;
  EXTqlist l;
  if (!v.getList(&l, qfalse)) return out;
  for (qshort c = 1; c <= l.colCnt(); ++c) out.push_back(cell(v, 1, c));
  return out;
}

TEST_F(Static, IdsOutsideTheRangeReturnInvalidMethod) {
  for (qlong id : {1999, 2007, 0}) {
    std::vector<EXTfldval> p{chr("x")};
    auto r = callStatic(id, p);
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getLong(), -101);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.calls.empty());
  }
}

TEST_F(Static, RegisteredByName) {
  EXPECT_EQ(host.methodId(0, "$makeParamRow"), kMakeParamRow);
  EXPECT_EQ(host.methodId(0, "$launchProcess"), kLaunchProcess);
}

TEST_F(Static, MakeParamRow) {
  struct Case {
    std::vector<EXTfldval> params;
    std::vector<std::string> names, values;
  } cases[] = {
      {{}, {}, {}},
      {{list({{"a"}, {"b"}}, {{"1", "2"}}, true), chr("B"), integer(5)}, {"a", "b"}, {"1", "5"}},
      {{list({{"a"}}, {{"x"}, {"y"}}), list({{"c", fftInteger}}, {{"7"}}, true)},
       {"a", "c"},
       {"x", "7"}},
      {{chr("x"), integer(1), chr("y"), chr("t"), chr("X"), integer(2)}, {"x", "y"}, {"2", "t"}},
      {{list({}, {}, true), chr("only"), number(1.5)}, {"only"}, {"1.5"}},
  };
  for (Case& c : cases) {
    auto r = callStatic(kMakeParamRow, c.params);
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getType(), fftRow);
    EXPECT_EQ(columnNames(r.ret), c.names);
    EXPECT_EQ(line1(r.ret), c.values);
    EXTqlist l;
    r.ret.getList(&l, qfalse);
    EXPECT_EQ(l.rowCnt(), 1);
    EXPECT_EQ(l.getCurRow(), 1);
    EXPECT_TRUE(r.errors.empty());
  }
}

TEST_F(Static, MakeParamRowFailuresGiveNoReturnValue) {
  std::vector<std::vector<EXTfldval>> bad = {
      {integer(1), chr("v")},            // name not character
      {chr("a"), integer(1), chr("b")},  // name without value
  };
  for (auto& p : bad) EXPECT_FALSE(callStatic(kMakeParamRow, p).hasReturn);
  std::vector<EXTfldval> p{chr("a"), integer(1)};
  hostrt::setListRefusal(false, true);
  EXPECT_FALSE(callStatic(kMakeParamRow, p).hasReturn);
  hostrt::setListRefusal(true, false);
  EXPECT_FALSE(callStatic(kMakeParamRow, p).hasReturn);
}

TEST_F(Static, LoadParamVars) {
  host.context().setVar("a", chr("old a"));
  host.context().setVar("b", chr("old b"));
  host.context().setVar("lst", list({{"Col"}}, {{"c1"}, {"c2"}}));
  EXTfldval source = list({{"Id", fftInteger}, {"Name"}}, {{"1", "one"}, {"2", "two"}});
  EXTqlist l;
  source.getList(&l, qtrue);
  l.setCurRow(2);
  std::vector<EXTfldval> p{source,   chr("id"),   chr("a"),       chr("missing"),
                           chr("b"), chr("NAME"), chr("lst.col"), integer(3)};
  auto r = callStatic(kLoadParamVars, p);
  EXPECT_EQ(r.ret.getLong(), 0);
  EXPECT_EQ(var("a").getType(), fftInteger);
  EXPECT_EQ(var("a").getLong(), 2);
  EXPECT_EQ(text(var("b")), "old b");
  EXPECT_EQ(cell(var("lst"), 1, 1), "two");  // the current line of lst
  EXPECT_EQ(cell(var("lst"), 2, 1), "c2");

  std::vector<EXTfldval> unknown{source, chr("Id"), chr("nosuchvar"), chr("Name"), chr("b")};
  EXPECT_EQ(callStatic(kLoadParamVars, unknown).ret.getLong(), -102);
  EXPECT_EQ(text(var("b")), "old b");  // stopped at the failing pair
  std::vector<EXTfldval> notList{chr("x"), chr("Id"), chr("a")};
  EXPECT_EQ(callStatic(kLoadParamVars, notList).ret.getLong(), -102);
  EXPECT_TRUE(callStatic(kLoadParamVars, notList).errors.empty());
}

TEST_F(Static, LoadingIntoTheVariableThatHoldsTheList) {
  host.context().setVar("rec", list({{"Name"}, {"Id"}}, {{"n1", "7"}}));
  host.context().setVar("a", chr(""));
  // Parameter 1 is the variable itself, as a host passes a variable by reference.
  std::vector<EXTfldval> p{EXTfldval(), chr("name"), chr("rec"), chr("id"), chr("a")};
  p[0].setRef(var("rec").data());
  auto r = callStatic(kLoadParamVars, p);
  EXPECT_EQ(r.ret.getLong(), 0);
  EXPECT_EQ(text(var("rec")), "n1");
  EXPECT_EQ(text(var("a")), "7");

  host.context().setVar("rec", list({{"rec"}, {"a"}}, {{"x", "y"}}));
  std::vector<EXTfldval> q{EXTfldval()};
  q[0].setRef(var("rec").data());
  EXPECT_EQ(callStatic(kLoadCRB, q).ret.getLong(), 0);
  EXPECT_EQ(text(var("rec")), "x");
  EXPECT_EQ(text(var("a")), "y");
}

TEST_F(Static, LoadCurrentRecord) {
  host.context().setVar("a", chr("old"));
  host.context().setVar("b", integer(0));
  host.context().setVar("lst", list({{"C"}}, {{"c1"}}));
  EXTfldval source = list({{"A"}, {"zz"}, {"b", fftInteger}, {"lst.c"}},
                          {{"x", "y", "1", "p"}, {"x2", "y2", "2", "q"}});
  EXTqlist l;
  source.getList(&l, qtrue);
  l.setCurRow(2);
  std::vector<EXTfldval> p{source};
  auto r = callStatic(kLoadCRB, p);
  EXPECT_EQ(r.ret.getLong(), 0);
  EXPECT_EQ(text(var("a")), "x2");
  EXPECT_EQ(var("b").getLong(), 2);
  EXPECT_EQ(cell(var("lst"), 1, 1), "q");
  std::vector<EXTfldval> bad{integer(1)};
  EXPECT_EQ(callStatic(kLoadCRB, bad).ret.getLong(), -102);
}

// Runs the test body in a fresh temporary directory and returns to the previous one.
class InTempDir {
 public:
  InTempDir() {
    char cwd[4096];
    old_ = getcwd(cwd, sizeof cwd) ? cwd : ".";
    char pattern[] = "/tmp/zq_static_XXXXXX";
    dir_ = mkdtemp(pattern);
    if (chdir(dir_.c_str()) != 0) ADD_FAILURE() << "chdir";
  }
  ~InTempDir() {
    if (chdir(old_.c_str()) != 0) ADD_FAILURE() << "chdir back";
    std::system(("rm -rf " + dir_).c_str());
  }
  const std::string& dir() const { return dir_; }

 private:
  std::string old_, dir_;
};

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(Static, TraceAppendsUtf16Entries) {
  InTempDir temp;
  std::vector<EXTfldval> first{chr("Hi")}, second{chr("\U0001F600\u00e9")};
  EXPECT_EQ(callStatic(kTrace, first).ret.getLong(), 0);
  EXPECT_EQ(callStatic(kTrace, second).ret.getLong(), 0);
  const std::string expected(
      "\xFF\xFE"
      "H\0i\0\r\0"
      "\xFF\xFE"
      "\x3D\xD8\x00\xDE\xE9\x00\r\0",
      18);
  EXPECT_EQ(fileBytes("zq_trace.txt"), expected);

  std::remove("zq_trace.txt");
  std::vector<EXTfldval> longText{chr(std::string(300, 'x'))};
  callStatic(kTrace, longText);
  const std::string bytes = fileBytes("zq_trace.txt");
  ASSERT_EQ(bytes.size(), 2u + 2 * 255 + 2);
  EXPECT_EQ(bytes.substr(bytes.size() - 4), std::string("x\0\r\0", 4));

  std::remove("zq_trace.txt");
  std::vector<EXTfldval> notText{integer(5)};
  EXPECT_EQ(callStatic(kTrace, notText).ret.getLong(), -102);
  EXPECT_FALSE(std::ifstream("zq_trace.txt").good());
}

TEST_F(Static, PlatformAnswers) {
  std::vector<EXTfldval> none;
  auto r = callStatic(kIs64Bit, none);
  EXPECT_EQ(r.ret.getType(), fftBoolean);
  EXPECT_EQ(r.ret.getBool(), sizeof(void*) == 8 ? qboolTrue : qboolFalse);
  r = callStatic(kGetProcessId, none);
  EXPECT_EQ(r.ret.getType(), fftInteger);
  EXPECT_EQ(r.ret.getLong(), static_cast<qlong>(getpid()));
}

bool waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(Static, LaunchProcessRunsTheProgramWithItsArguments) {
  InTempDir temp;
  // The host's own output goes to a file while the program runs.
  const std::string captured = temp.dir() + "/host_output";
  const int out = dup(1), err = dup(2);
  const int file = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  dup2(file, 1);
  dup2(file, 2);
  const char* script =
      "echo leaked; echo leaked >&2; printf '%s|%s' \"$0\" \"$1\" > out.tmp; mv out.tmp done";
  std::vector<EXTfldval> p{chr("/bin/sh"), list({{"arg"}}, {{"-c"}, {script}, {"A b"}, {"c"}})};
  auto r = callStatic(kLaunchProcess, p);
  const bool finished = waitFor([] { return std::ifstream("done").good(); });
  dup2(out, 1);
  dup2(err, 2);
  close(out);
  close(err);
  close(file);
  const qlong pid = r.ret.getLong();
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(finished);
  EXPECT_EQ(fileBytes("done"), "A b|c");
  EXPECT_EQ(fileBytes(captured), "");
  // The ended program is collected: no zombie stays behind.
  const std::string proc = "/proc/" + std::to_string(pid);
  EXPECT_TRUE(waitFor([&] { return access(proc.c_str(), F_OK) != 0; }));
}

TEST_F(Static, LaunchedProgramsDoNotReadTheHostsInput) {
  InTempDir temp;
  // The host's standard input is a pipe holding some input while the program runs.
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  ASSERT_EQ(write(pipeFds[1], "host input", 10), 10);
  const int in = dup(0);
  dup2(pipeFds[0], 0);
  std::vector<EXTfldval> p{chr("/bin/sh"),
                           list({{"arg"}}, {{"-c"}, {"cat > got.tmp; mv got.tmp done"}})};
  auto r = callStatic(kLaunchProcess, p);
  const bool finished = waitFor([] { return std::ifstream("done").good(); });
  dup2(in, 0);
  close(in);
  close(pipeFds[1]);  // a program reading the pipe now comes to its end
  ASSERT_GT(r.ret.getLong(), 0);
  EXPECT_TRUE(finished) << "the program waited for the host's input";
  waitFor([] { return std::ifstream("done").good(); });
  EXPECT_EQ(fileBytes("done"), "");
  char left[16] = {};
  EXPECT_EQ(read(pipeFds[0], left, sizeof left), 10);
  EXPECT_STREQ(left, "host input");
  close(pipeFds[0]);
}

TEST_F(Static, LaunchProcessFailures) {
  std::vector<EXTfldval> missing{chr("/nonexistent/program"), list({{"a"}}, {})};
  EXPECT_LT(callStatic(kLaunchProcess, missing).ret.getLong(), 0);
  std::vector<EXTfldval> none;
  auto r = callStatic(kLaunchProcess, none);
  EXPECT_EQ(r.ret.getLong(), -102);
  EXPECT_TRUE(r.errors.empty());
  // No argument list: the program runs without arguments.
  std::vector<EXTfldval> bare{chr("/bin/true"), chr("not a list")};
  EXPECT_GT(callStatic(kLaunchProcess, bare).ret.getLong(), 0);
}

}  // namespace
