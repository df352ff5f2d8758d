// PlatformHelper on macOS, with Foundation: an autorelease pool per helper, NSTask to start
// programs (NSTask collects its children itself). Built into the macOS bundle only.
#if defined(__APPLE__)

#import <Foundation/Foundation.h>

#include <cerrno>

#include "platformhelper.h"

class PlatformHelperImpl {
 public:
  PlatformHelperImpl() : pool([[NSAutoreleasePool alloc] init]) {}
  ~PlatformHelperImpl() { [pool release]; }
  PlatformHelperImpl(const PlatformHelperImpl&) = delete;
  PlatformHelperImpl& operator=(const PlatformHelperImpl&) = delete;

 private:
  NSAutoreleasePool* pool;
};

PlatformHelper::PlatformHelper() : impl(new PlatformHelperImpl) {}
PlatformHelper::PlatformHelper(const PlatformHelper&) : impl(new PlatformHelperImpl) {}
PlatformHelper& PlatformHelper::operator=(const PlatformHelper& other) {
  if (this != &other) {
    delete impl;
    impl = new PlatformHelperImpl;
  }
  return *this;
}
PlatformHelper::~PlatformHelper() { delete impl; }

qlong PlatformHelper::launchProcess(const std::string& path,
                                    const std::vector<std::string>& arguments) {
  NSTask* task = [[NSTask alloc] init];
  [task setLaunchPath:[NSString stringWithUTF8String:path.c_str()]];
  if (!arguments.empty()) {
    NSMutableArray* list = [NSMutableArray arrayWithCapacity:arguments.size()];
    for (const std::string& a : arguments) [list addObject:[NSString stringWithUTF8String:a.c_str()]];
    [task setArguments:list];
  }
  NSFileHandle* nullDevice = [NSFileHandle fileHandleWithNullDevice];
  [task setStandardOutput:nullDevice];
  [task setStandardError:nullDevice];
  qlong pid = -ENOENT;  // NSTask raises when the program cannot be started
  @try {
    [task launch];
    pid = [task processIdentifier];
  } @catch (NSException*) {
  }
  [task release];
  return pid;
}

qlong PlatformHelper::getProcessId() { return [[NSProcessInfo processInfo] processIdentifier]; }

bool PlatformHelper::is64bitHost() { return sizeof(void*) == 8; }

#endif
