// Starting programs and asking for the host process: the platform side of the library's
// static methods. The implementation behind the pointer is the platform's own.
#pragma once

#include <string>
#include <vector>

#include "hosttypes.h"

class PlatformHelperImpl;

class PlatformHelper {
 public:
  PlatformHelper();
  // A copy gets an implementation of its own.
  PlatformHelper(const PlatformHelper& other);
  PlatformHelper& operator=(const PlatformHelper& other);
  ~PlatformHelper();

  // Starts the program at path (UTF-8) with the arguments (UTF-8, the program name not
  // repeated), its standard input, output and error the null device. Does not wait for it.
  // Returns the new process's id, or a negative value when the program could not be started
  // (the negated error number).
  qlong launchProcess(const std::string& path, const std::vector<std::string>& arguments);
  // The host process's id.
  qlong getProcessId();
  // True in a 64-bit build.
  bool is64bitHost();

 private:
  PlatformHelperImpl* impl;
};
