// Files named on the command line or in requests: "-" stands for standard input or output,
// errors carry the file's name and the system's reason, files are read to their end with
// 64-bit sizes, and a file is replaced only by a complete new copy.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <streambuf>
#include <string>

#include "hostruntime.h"

namespace zqhost {

// The most bytes a binary value holds: its length is a 32-bit count.
const long long kMaxValueBytes = 2147483647;

// A file that could not be read or written: what() is "PATH: reason", for example
// "nope.txt: No such file or directory".
class FileError : public std::runtime_error {
 public:
  FileError(const std::string& path, const std::string& reason)
      : std::runtime_error(path + ": " + reason) {}
};

// The whole content of path, or of standard input for "-". Standard input can be read once
// per process; a second "-" throws FileError. Throws FileError with errno's text otherwise.
std::string readWholeFile(const std::string& path);

// Makes v a binary value of the whole content of the file at path ("-": standard input), read
// straight into the value's handle. Throws FileError naming the file when it cannot be opened
// or read, is a directory, or holds more than kMaxValueBytes (refused before anything is read
// when its size says so, or as soon as reading passes the limit, for a file that grows while
// it is read or a special file that reports no size). Never cuts the content short.
void readFile(const std::string& path, EXTfldval& v);

// UTF-8 text (invalid sequences become U+FFFD, as the host converts them) as a character
// value in v, converted straight into v's own handle. Throws std::length_error for more
// characters than a character value holds, std::bad_alloc when memory cannot be had.
void setUtf8Text(EXTfldval& v, const char* text, size_t len);

// Writes bytes to path through a temporary file in the same folder that is renamed into
// place, so that path holds either its old content or all of the new one. "-" writes to
// standard output. Throws FileError.
void replaceFile(const std::string& path, const void* bytes, size_t size);

// Writes bytes to standard output; throws FileError("standard output", reason).
void writeStandardOutput(const void* bytes, size_t size);

// A file, or standard input for "-", read as a stream.
class InputFile : public std::streambuf {
 public:
  // Opens path; throws FileError.
  explicit InputFile(const std::string& path);
  ~InputFile() override;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  // Throws FileError when a read failed (the stream then ended early).
  void check() const;

 private:
  int_type underflow() override;

  std::string mPath;
  int mFd = -1;
  int mError = 0;
  char mBuffer[1 << 16];
};

// True when standard output is a terminal.
bool standardOutputIsTerminal();

}  // namespace zqhost
