// The process helper on its own: starting programs, the process id, and helper objects that
// are copied and end in any order. The same tests run against the POSIX helper and, in a build
// with ZQ_FOUNDATION_HELPER, against the Foundation helper.
#include "platformhelper.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <thread>

#include "gtest/gtest.h"

namespace {

bool waitFor(const std::function<bool()>& done) {
  for (int i = 0; i < 500; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class PlatformHelperTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/zq_helper_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::system(("rm -rf " + dir).c_str()); }

  std::string dir;
};

// Replaces one of the host's standard descriptors for the life of the object.
class Redirect {
 public:
  Redirect(int target, int replacement) : target_(target), saved_(dup(target)) {
    dup2(replacement, target);
  }
  ~Redirect() {
    dup2(saved_, target_);
    close(saved_);
  }

 private:
  int target_, saved_;
};

TEST_F(PlatformHelperTest, LaunchPassesArgumentsAndGivesTheProgramNoneOfTheHostsStreams) {
  // The host's input holds a line the program must not see; its output and error go to a
  // file that must stay empty.
  int input[2];
  ASSERT_EQ(pipe2(input, O_CLOEXEC), 0);
  ASSERT_EQ(write(input[1], "secret\n", 7), 7);
  close(input[1]);
  const std::string captured = dir + "/host_output";
  const int file = open(captured.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  ASSERT_GE(file, 0);
  const std::string script =
      "echo leaked; echo leaked >&2; cat > \"$2\"/stdin; printf '%s|%s' \"$0\" \"$1\" > "
      "\"$2\"/out.tmp; mv \"$2\"/out.tmp \"$2\"/done";
  qlong pid;
  {
    Redirect in(0, input[0]), out(1, file), err(2, file);
    PlatformHelper helper;
    pid = helper.launchProcess("/bin/sh", {"-c", script, "A b", "c", dir});
    ASSERT_GT(pid, 0);
    EXPECT_TRUE(waitFor([&] { return exists(dir + "/done"); }));
  }
  close(input[0]);
  close(file);
  EXPECT_EQ(fileBytes(dir + "/done"), "A b|c");
  EXPECT_EQ(fileBytes(dir + "/stdin"), "");
  EXPECT_EQ(fileBytes(captured), "");
  // The ended program is collected: no zombie stays behind.
  const std::string proc = "/proc/" + std::to_string(pid);
  EXPECT_TRUE(waitFor([&] { return !exists(proc); })) << "process " << pid << " not collected";
}

TEST_F(PlatformHelperTest, LaunchWithoutArgumentsDoesNotWait) {
  // A program that outlives the call: the launch answers while it still runs.
  const std::string script = dir + "/slow";
  std::ofstream(script) << "#!/bin/sh\nsleep 1\ntouch " << dir << "/ended\n";
  chmod(script.c_str(), 0700);
  PlatformHelper helper;
  const qlong pid = helper.launchProcess(script, {});
  ASSERT_GT(pid, 0);
  EXPECT_FALSE(exists(dir + "/ended"));
  EXPECT_TRUE(waitFor([&] { return exists(dir + "/ended"); }));
}

TEST_F(PlatformHelperTest, ProgramsThatCannotBeStartedGiveANegativeAnswer) {
  const std::string plain = dir + "/plain";
  std::ofstream(plain) << "#!/bin/sh\n";
  chmod(plain.c_str(), 0600);
  const std::string cases[] = {"/nonexistent/program", "", dir, plain};
  PlatformHelper helper;
  for (const std::string& path : cases)
    EXPECT_LT(helper.launchProcess(path, {"x"}), 0) << "'" << path << "'";
  // The helper is still usable afterwards.
  EXPECT_GT(helper.launchProcess("/bin/true", {}), 0);
}

TEST_F(PlatformHelperTest, ProcessIdAndWordSize) {
  PlatformHelper helper;
  EXPECT_EQ(helper.getProcessId(), static_cast<qlong>(getpid()));
  EXPECT_EQ(helper.is64bitHost(), sizeof(void*) == 8);
}

// Helper objects are values: copies and assignments may end in any order, and each keeps
// working until it ends.
TEST_F(PlatformHelperTest, CopiesEndInAnyOrder) {
  auto first = std::make_unique<PlatformHelper>();
  auto copy = std::make_unique<PlatformHelper>(*first);
  PlatformHelper assigned;
  assigned = *copy;
  first.reset();  // the oldest ends first
  EXPECT_EQ(copy->getProcessId(), static_cast<qlong>(getpid()));
  assigned = assigned;
  PlatformHelper later(assigned);
  copy.reset();
  EXPECT_GT(assigned.launchProcess("/bin/true", {}), 0);
  EXPECT_EQ(later.getProcessId(), static_cast<qlong>(getpid()));
  std::vector<PlatformHelper> many(5);
  many.erase(many.begin(), many.begin() + 2);  // assignments into older elements
  many.push_back(later);                       // copies while growing
  for (PlatformHelper& h : many) EXPECT_EQ(h.getProcessId(), static_cast<qlong>(getpid()));
}

}  // namespace
