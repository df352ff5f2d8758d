// Reading and replacing files for zqhost.
#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

namespace zqhost {

namespace {

bool standardInputTaken = false;

// Standard input's descriptor, once per process: a second "-" would find it drained.
int takeStandardInput() {
  if (standardInputTaken) throw FileError("standard input", "already read by an earlier argument");
  standardInputTaken = true;
  return STDIN_FILENO;
}

std::string reason(int err) { return std::strerror(err); }

// Reads fd to its end; the size is never cut to 32 bits.
bool readAll(int fd, std::string& out) {
  struct stat st;
  if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    out.reserve(static_cast<size_t>(st.st_size));
  char buf[1 << 16];
  for (;;) {
    const ssize_t n = read(fd, buf, sizeof buf);
    if (n == 0) return true;
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out.append(buf, static_cast<size_t>(n));
  }
}

// Reads and writes go in parts of this size: one write of tens of megabytes costs the kernel
// several times what the same bytes cost in parts that stay in the processor's cache.
const size_t kIoPart = size_t(256) << 10;

bool writeAll(int fd, const void* bytes, size_t size) {
  const char* p = static_cast<const char*>(bytes);
  while (size > 0) {
    const ssize_t n = write(fd, p, size < kIoPart ? size : kIoPart);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

struct FileCloser {
  int fd;
  ~FileCloser() {
    if (fd != STDIN_FILENO) close(fd);
  }
};

struct HandleOwner {
  qHandleInfo* h;
  ~HandleOwner() { HANglobalFree(h); }
};

[[noreturn]] void fail(const std::string& path, const std::string& why) {
  throw FileError(path, why);
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

void readFile(const std::string& path, EXTfldval& v) {
  const std::string name = path == "-" ? "standard input" : path;
  const int fd = path == "-" ? takeStandardInput() : open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(name, std::strerror(errno));
  FileCloser closer{fd};
  struct stat st;
  if (fstat(fd, &st) != 0) fail(name, std::strerror(errno));
  if (S_ISDIR(st.st_mode)) fail(name, std::strerror(EISDIR));
  const bool sized = S_ISREG(st.st_mode) && st.st_size > 0;
  if (sized && st.st_size > kMaxValueBytes) tooLarge(name, std::to_string(st.st_size));

  // The size is only the first guess: the file may change while it is read, and files of
  // /proc or pipes report none. Reading goes on to the end of the file.
  long long capacity = sized ? static_cast<long long>(st.st_size) : 65536;
  HandleOwner owner{HANglobalAlloc(static_cast<qlong>(capacity), qfalse)};
  if (!owner.h) fail(name, "no memory for " + std::to_string(capacity) + " bytes");
  long long used = 0;
  for (;;) {
    if (used < capacity) {
      const size_t room = static_cast<size_t>(capacity - used);
      const ssize_t n = readSome(fd, owner.h->mData + used, room < kIoPart ? room : kIoPart);
      if (n < 0) fail(name, std::strerror(errno));
      if (n == 0) break;
      used += n;
      continue;
    }
    // Full: look ahead before growing, so that a file of exactly its size costs no more.
    char probe[65536];
    const ssize_t n = readSome(fd, probe, sizeof probe);
    if (n < 0) fail(name, std::strerror(errno));
    if (n == 0) break;
    if (used + n > kMaxValueBytes) tooLarge(name, "more than " + std::to_string(used + n - 1));
    long long grown = capacity * 2 > used + n ? capacity * 2 : used + n;
    if (grown > kMaxValueBytes) grown = kMaxValueBytes;
    if (!HANglobalReAlloc(owner.h, static_cast<qlong>(grown)))
      fail(name, "no memory for " + std::to_string(grown) + " bytes");
    capacity = grown;
    std::memcpy(owner.h->mData + used, probe, static_cast<size_t>(n));
    used += n;
  }

  if (used == 0) {
    v.setBinary(fftBinary, nullptr, 0);
    return;
  }
  if (used < capacity) HANglobalReAlloc(owner.h, static_cast<qlong>(used));  // shrinking
  HANsetUsed(owner.h, static_cast<qlong>(used));
  v.setHandle(fftBinary, owner.h);
  owner.h = nullptr;
}

void setUtf8Text(EXTfldval& v, const char* text, size_t len) {
  // A character value counts its bytes in 32 bits.
  const size_t kMaxChars = 536870911;
  qchar small[256];
  if (len <= 256) {  // most texts of requests: no handle to shrink afterwards
    v.setChar(small, CHARconvFromUtf8(reinterpret_cast<const qbyte*>(text), static_cast<qlong>(len),
                                      small));
    return;
  }
  // Every character takes at least one byte, so len characters always suffice. A text of
  // more bytes than a value holds characters may still fit when some take several; the host
  // counts those.
  if (len > kMaxChars) {
    v = hostrt::charValue(std::string(text, len));
    return;
  }
  const size_t capacity = len;
  HandleOwner owner{HANglobalAlloc(static_cast<qlong>(capacity * 4), qfalse)};
  if (!owner.h) throw std::bad_alloc();
  const qbyte* src = reinterpret_cast<const qbyte*>(text);
  qchar* dst = reinterpret_cast<qchar*>(owner.h->mData);
  // Converted in parts that end on a character boundary, each at most capacity characters.
  const size_t kPart = size_t(1) << 26;
  size_t from = 0, n = 0;
  while (from < len) {
    size_t part = len - from;
    if (part > kPart) {
      part = kPart;
      for (int back = 0; back < 3 && (src[from + part] & 0xC0) == 0x80; ++back) --part;
    }
    // ASCII is widened directly; the host converts the runs of other bytes (an ASCII byte
    // never continues a sequence, so each run converts as it would within the whole).
    size_t at = from;
    const size_t stop = from + part;
    while (at < stop) {
      size_t ascii = at;
      while (ascii < stop && src[ascii] < 0x80) dst[n++] = src[ascii++];
      size_t other = ascii;
      while (other < stop && src[other] >= 0x80) ++other;
      if (other > ascii)
        n += static_cast<size_t>(
            CHARconvFromUtf8(src + ascii, static_cast<qlong>(other - ascii), dst + n));
      at = other;
    }
    from += part;
  }
  if (n < capacity) HANglobalReAlloc(owner.h, static_cast<qlong>(n * 4));  // shrinking
  HANsetUsed(owner.h, static_cast<qlong>(n * 4));
  v.setHandle(fftCharacter, owner.h);
  owner.h = nullptr;
}

std::string readWholeFile(const std::string& path) {
  std::string out;
  if (path == "-") {
    if (!readAll(takeStandardInput(), out)) throw FileError("standard input", reason(errno));
    return out;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throw FileError(path, reason(errno));
  const bool ok = readAll(fd, out);
  const int err = errno;
  close(fd);
  if (!ok) throw FileError(path, reason(err));
  return out;
}

void writeStandardOutput(const void* bytes, size_t size) {
  std::fflush(stdout);  // what was printed before goes first
  if (!writeAll(STDOUT_FILENO, bytes, size)) throw FileError("standard output", reason(errno));
}

void replaceFile(const std::string& path, const void* bytes, size_t size) {
  if (path == "-") {
    writeStandardOutput(bytes, size);
    return;
  }
  const size_t slash = path.find_last_of('/');
  const std::string dir = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
  if (base.empty()) throw FileError(path, reason(EISDIR));
  std::string temp = dir + "." + base + ".XXXXXX";
  const int fd = mkstemp(&temp[0]);
  if (fd < 0) throw FileError(path, reason(errno));
  // mkstemp makes the file private; give it the mode a newly created file would have.
  const mode_t mask = umask(0);
  umask(mask);
  bool ok = fchmod(fd, 0666 & ~mask) == 0 && writeAll(fd, bytes, size);
  int err = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    unlink(temp.c_str());
    throw FileError(path, reason(err));
  }
}

InputFile::InputFile(const std::string& path) : mPath(path) {
  if (path == "-") {
    mPath = "standard input";
    mFd = takeStandardInput();
    return;
  }
  mFd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (mFd < 0) throw FileError(path, reason(errno));
}

InputFile::~InputFile() {
  if (mFd > STDIN_FILENO) close(mFd);
}

void InputFile::check() const {
  if (mError) throw FileError(mPath, reason(mError));
}

InputFile::int_type InputFile::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  for (;;) {
    const ssize_t n = read(mFd, mBuffer, sizeof mBuffer);
    if (n > 0) {
      setg(mBuffer, mBuffer, mBuffer + n);
      return traits_type::to_int_type(*gptr());
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) mError = errno;
    return traits_type::eof();
  }
}

bool standardOutputIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

}  // namespace zqhost
