// Sizes at the limits of a host handle (2 GiB) and past 4 GiB, where arithmetic in the 32-bit
// build's size_t would wrap: each call must refuse cleanly with -103 and leave its result
// parameter as it was, in the 64-bit and the 32-bit build alike. The inputs stay small; the
// results are refused before any of them is allocated.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "testhost.h"

using namespace zqtest;

namespace {

class Limits : public ComponentTest {};

TEST_F(Limits, ReplaceResultsPastTheHandleLimit) {
  // A source of 2^20 characters in which every character is replaced.
  const std::string source(1 << 20, 'a');
  const struct {
    size_t replacementLength;
    const char* what;
  } cases[] = {
      {512, "2^29 characters: 2^31 bytes, one past the largest handle"},
      {4097, "2^32 + 2^20 characters: 2^34 + 2^22 bytes, 4 MiB in a 32-bit size_t"},
      {1 << 16, "2^36 characters: 2^38 bytes, 0 in a 32-bit size_t"},
  };
  for (const auto& c : cases) {
    std::vector<EXTfldval> p{chr(source), chr("a"), chr(std::string(c.replacementLength, 'b')),
                             chr("old")};
    const auto r = call("$replace", p);
    EXPECT_EQ(r.ret.getLong(), 0) << c.what;
    ASSERT_EQ(r.errors.size(), 1u) << c.what;
    EXPECT_EQ(r.errors[0].code, -103) << c.what;
    EXPECT_TRUE(r.changed.empty()) << c.what;
    EXPECT_EQ(text(p[3]), "old") << c.what;
  }
  // One character fewer in the replacement: the result fits the limit's arithmetic and is
  // refused only when the memory cannot be had, as memory failures are.
  hostrt::setAllocFailure(0, 1 << 30);
  std::vector<EXTfldval> p{chr(source), chr("a"), chr(std::string(511, 'b')), chr("old")};
  const auto r = call("$replace", p);
  hostrt::resetFailures();
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
  EXPECT_EQ(text(p[3]), "old");
}

TEST_F(Limits, HandlesRefuseSizesTheyCannotHold) {
  // Sizes are signed 32-bit byte counts in both builds: nothing negative, and a block grows
  // or is refused as a whole.
  EXPECT_EQ(HANglobalAlloc(-1, qfalse), nullptr);
  qHandleInfo* h = HANglobalAlloc(16, qtrue);
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(HANglobalReAlloc(h, -4));
  hostrt::setAllocFailure(0, 1 << 20);
  EXPECT_FALSE(HANglobalReAlloc(h, INT32_MAX));
  hostrt::resetFailures();
  EXPECT_EQ(HANgetAllocated(h), 16);
  EXPECT_EQ(HANgetUsed(h), 16);
  HANglobalFree(h);
}

TEST_F(Limits, TraceAppendsToAFilePast4GiB) {
  // A sparse trace file of 2^32 + 3 bytes: the entry is appended after them (a 32-bit file
  // offset could neither open nor measure the file).
  char pattern[] = "/tmp/zq_limits_XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string dir = pattern;
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.c_str()), 0);
  const off_t size = off_t(4294967299LL);
  const int fd = open("zq_trace.txt", O_WRONLY | O_CREAT | O_TRUNC, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(ftruncate(fd, size), 0);
  close(fd);
  std::vector<EXTfldval> p{chr("ab")};
  EXPECT_EQ(callStatic(2002, p).ret.getLong(), 0);
  struct stat st;
  ASSERT_EQ(stat("zq_trace.txt", &st), 0);
  // The byte-order mark, "ab" and the carriage return in UTF-16: 8 bytes.
  EXPECT_EQ(st.st_size, size + 8);
  EXPECT_EQ(chdir(cwd), 0);
  std::system(("rm -rf " + dir).c_str());
}

}  // namespace
