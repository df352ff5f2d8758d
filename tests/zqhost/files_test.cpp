// zqhost call with file: arguments: sizes past what a binary value holds are refused before
// reading (sparse files cost no disk), empty and special files read whole, errors name the file.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "runner.h"

using namespace zqhosttest;

namespace {

class ZqhostFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/zqhost_files_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    mDir = dir;
  }
  void TearDown() override { std::system(("rm -rf '" + mDir + "'").c_str()); }

  std::string path(const std::string& name) const { return mDir + "/" + name; }
  std::string sparse(const std::string& name, off_t size) const {
    const int fd = open(path(name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(ftruncate(fd, size), 0);
    close(fd);
    return path(name);
  }
  // SHA-256 of a file through $getsignature (algorithm 2, result in parameter 3).
  static Result sha256(const std::string& file) {
    return runZqhost({"call", "$getsignature", "int:2", "file:" + file, "bin:"});
  }

  std::string mDir;
};

TEST_F(ZqhostFiles, FilesPastTheValueLimitAreRefusedNotCut) {
  // 2 GiB is one byte past the limit; 4 GiB + 3 would wrap to 3 bytes in a 32-bit length.
  for (off_t size : {off_t(2147483648LL), off_t(4294967299LL)}) {
    const std::string file = sparse("big", size);
    const Result r = sha256(file);
    EXPECT_EQ(r.status, 3) << size;
    EXPECT_EQ(r.out, "") << size;  // no call was made, so no "return" line
    EXPECT_NE(r.err.find("zqhost: " + file + ": it holds " + std::to_string(size) +
                         " bytes, more than a binary value holds (2147483647)"),
              std::string::npos)
        << r.err;
  }
}

TEST_F(ZqhostFiles, EmptyAndSpecialFilesReadWhole) {
  struct Case {
    const char* name;
    std::string content;
    const char* digest;
  } cases[] = {
      {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "abc",
       "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},  // FIPS 180-2
  };
  for (const Case& c : cases) {
    std::ofstream(path(c.name), std::ios::binary) << c.content;
    const Result r = sha256(path(c.name));
    EXPECT_EQ(r.status, 0) << c.name << r.err;
    EXPECT_NE(r.out.find(std::string("param 3 {\"bin\":\"") + c.digest + "\"}"), std::string::npos)
        << c.name << ": " << r.out;
  }

  // A pipe reports no size: it is read to its end, growing the value past the first guess,
  // and hashes the same as a regular file with the same bytes.
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += static_cast<char>(i * 7 + i / 256);
  std::ofstream(path("regular"), std::ios::binary) << bytes;
  const Result regular = sha256(path("regular"));
  ASSERT_EQ(regular.status, 0) << regular.err;
  ASSERT_EQ(mkfifo(path("pipe").c_str(), 0600), 0);
  std::thread writer([&] {
    const int fd = open(path("pipe").c_str(), O_WRONLY);
    if (fd < 0) return;
    for (size_t at = 0; at < bytes.size();) {
      const ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
      if (n <= 0) break;
      at += static_cast<size_t>(n);
    }
    close(fd);
  });
  const Result piped = sha256(path("pipe"));
  writer.join();
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, regular.out);
}

TEST_F(ZqhostFiles, AFileLongerThanItsSizeSaysIsReadToItsEnd) {
  // /proc/self/cmdline says it holds 0 bytes and holds zqhost's own arguments: the size is
  // only a first guess. It hashes as a regular file of those bytes does.
  const std::string args[] = {
      ZQHOST_PATH, "call", "$getsignature", "int:2", "file:/proc/self/cmdline", "bin:"};
  std::string bytes;
  for (const std::string& a : args) bytes += a + '\0';
  std::ofstream(path("cmdline"), std::ios::binary) << bytes;
  const Result regular = sha256(path("cmdline"));
  const Result proc = sha256("/proc/self/cmdline");
  ASSERT_EQ(regular.status, 0) << regular.err;
  EXPECT_EQ(proc.status, 0) << proc.err;
  EXPECT_EQ(proc.out, regular.out);
}

TEST_F(ZqhostFiles, UnreadableFilesGiveAnErrorNamingThem) {
  ASSERT_EQ(mkdir(path("dir").c_str(), 0700), 0);
  struct Case {
    std::string file, why;
  } cases[] = {
      {path("dir"), "Is a directory"},
      {path("missing"), "No such file or directory"},
      {"/proc/self/mem", "Input/output error"},  // opens, but reading at 0 fails
  };
  for (const Case& c : cases) {
    const Result r = sha256(c.file);
    EXPECT_EQ(r.status, 3) << c.file;
    EXPECT_EQ(r.err, "zqhost: " + c.file + ": " + c.why + "\n");
  }
  if (geteuid() != 0) {  // root reads files without permission
    std::ofstream(path("locked")) << "x";
    ASSERT_EQ(chmod(path("locked").c_str(), 0), 0);
    const Result r = sha256(path("locked"));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("zqhost: " + path("locked") + ": Permission denied"), std::string::npos)
        << r.err;
  }
}

}  // namespace

namespace {

std::string fileBytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file that grows or shrinks while zqhost reads it: what arrives in the value is a prefix
// of the file's bytes (as far as the read got), never bytes of no file, and the call works.
// $error takes any parameters and leaves them as given, so --save 1 writes what was read.
TEST_F(ZqhostFiles, FilesChangedWhileReadGiveAPrefixOfTheirBytes) {
  const size_t kStart = size_t(16) << 20;
  std::string start(kStart, '\0');
  for (size_t i = 0; i < start.size(); ++i) start[i] = static_cast<char>(i * 131 + (i >> 12));
  for (const bool grow : {true, false}) {
    const std::string file = path(grow ? "growing" : "shrinking");
    const std::string saved = path("saved");
    std::ofstream(file, std::ios::binary) << start;
    std::atomic<bool> done{false};
    std::thread changer([&] {
      if (grow) {
        // Appends 64 KiB blocks continuing the pattern until zqhost has finished.
        std::ofstream out(file, std::ios::binary | std::ios::app);
        for (size_t at = kStart; !done && at < kStart * 4; at += 65536) {
          std::string block(65536, '\0');
          for (size_t i = 0; i < block.size(); ++i)
            block[i] = static_cast<char>((at + i) * 131 + ((at + i) >> 12));
          out << block << std::flush;
        }
      } else {
        // Cuts the file shorter and shorter.
        for (off_t size = kStart; !done && size > 0; size -= 1 << 20)
          if (truncate(file.c_str(), size) != 0) break;
      }
    });
    const Result r = runZqhost({"call", "-q", "--save", "1=" + saved, "$error", "file:" + file});
    done = true;
    changer.join();
    EXPECT_EQ(r.status, 0) << r.err;
    const std::string got = fileBytes(saved);
    const std::string now = fileBytes(file);
    const std::string& longest = grow ? now : start;  // every byte read was once in these
    EXPECT_LE(got.size(), longest.size()) << grow;
    EXPECT_TRUE(longest.compare(0, got.size(), got) == 0) << grow << ": not a prefix";
    if (grow) EXPECT_GE(got.size(), kStart);
  }
}

}  // namespace
