// Files as host values.
#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace zqhost {

namespace {

struct FileCloser {
  int fd;
  ~FileCloser() { close(fd); }
};

struct HandleOwner {
  qHandleInfo* h;
  ~HandleOwner() { HANglobalFree(h); }
};

[[noreturn]] void fail(const std::string& path, const std::string& why) {
  throw std::runtime_error("cannot read " + path + ": " + why);
}

[[noreturn]] void tooLarge(const std::string& path, const std::string& size) {
  fail(path, "it holds " + size + " bytes, more than a binary value holds (" +
                 std::to_string(kMaxValueBytes) + ")");
}

// read() that resumes after a signal; -1 with errno on failure.
ssize_t readSome(int fd, void* buf, size_t count) {
  for (;;) {
    const ssize_t n = read(fd, buf, count);
    if (n >= 0 || errno != EINTR) return n;
  }
}

}  // namespace

EXTfldval fileValue(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(path, std::strerror(errno));
  FileCloser closer{fd};
  struct stat st;
  if (fstat(fd, &st) != 0) fail(path, std::strerror(errno));
  if (S_ISDIR(st.st_mode)) fail(path, "it is a directory");
  const bool sized = S_ISREG(st.st_mode) && st.st_size > 0;
  if (sized && st.st_size > kMaxValueBytes) tooLarge(path, std::to_string(st.st_size));

  // The size is only the first guess: the file may change while it is read, and files of
  // /proc or pipes report none. Reading goes on to the end of the file.
  long long capacity = sized ? static_cast<long long>(st.st_size) : 65536;
  HandleOwner owner{HANglobalAlloc(static_cast<qlong>(capacity), qfalse)};
  if (!owner.h) fail(path, "no memory for " + std::to_string(capacity) + " bytes");
  long long used = 0;
  for (;;) {
    if (used < capacity) {
      const ssize_t n = readSome(fd, owner.h->mData + used, static_cast<size_t>(capacity - used));
      if (n < 0) fail(path, std::strerror(errno));
      if (n == 0) break;
      used += n;
      continue;
    }
    // Full: look ahead before growing, so that a file of exactly its size costs no more.
    char probe[65536];
    const ssize_t n = readSome(fd, probe, sizeof probe);
    if (n < 0) fail(path, std::strerror(errno));
    if (n == 0) break;
    if (used + n > kMaxValueBytes) tooLarge(path, "more than " + std::to_string(used + n - 1));
    long long grown = capacity * 2 > used + n ? capacity * 2 : used + n;
    if (grown > kMaxValueBytes) grown = kMaxValueBytes;
    if (!HANglobalReAlloc(owner.h, static_cast<qlong>(grown)))
      fail(path, "no memory for " + std::to_string(grown) + " bytes");
    capacity = grown;
    std::memcpy(owner.h->mData + used, probe, static_cast<size_t>(n));
    used += n;
  }

  EXTfldval v;
  if (used == 0) {
    v.setBinary(fftBinary, nullptr, 0);
    return v;
  }
  if (used < capacity) HANglobalReAlloc(owner.h, static_cast<qlong>(used));  // shrinking
  HANsetUsed(owner.h, static_cast<qlong>(used));
  v.setHandle(fftBinary, owner.h);
  owner.h = nullptr;
  return v;
}

}  // namespace zqhost
