// PlatformHelper on Foundation: NSTask starts programs, NSProcessInfo gives the process id.
// The helper of the macOS bundle; elsewhere built against GNUstep Base when the build selects
// the Foundation helper (ZQ_FOUNDATION_HELPER), in place of platformhelper.cpp.
#if defined(ZQ_FOUNDATION_HELPER)

#import <Foundation/Foundation.h>

#include <cerrno>
#include <mutex>

#include "platformhelper.h"

#if defined(GNUSTEP)
#include "childwait.h"

extern char** environ;
#endif

namespace {

// GNUstep keeps the process's arguments and environment itself and must be given them before
// Foundation is first used; a host that does not start from GNUstep's own main never does
// that. Foundation on macOS needs nothing.
void initializeFoundation() {
#if defined(GNUSTEP)
  static std::once_flag once;
  std::call_once(once, [] {
    static char name[] = "zqtools";
    static char* arguments[] = {name, nullptr};
    GSInitializeProcess(1, arguments, environ);
  });
#endif
}

// The autorelease pool of one operation: the objects Foundation hands out autoreleased during
// the operation are released when it returns. Pools must be released in the reverse order of
// their creation (releasing a pool releases every pool made after it), so no pool outlives the
// operation that made it: a pool held by each helper object would be released out of order as
// soon as copies of a helper end in another order than they began.
class OperationPool {
 public:
  OperationPool() : mPool([[NSAutoreleasePool alloc] init]) {}
  ~OperationPool() { [mPool release]; }
  OperationPool(const OperationPool&) = delete;
  OperationPool& operator=(const OperationPool&) = delete;

 private:
  NSAutoreleasePool* mPool;
};

// The program's path when it names an executable file, else nil with the reason in error.
// NSTask raises an exception for a program it cannot start; checking first keeps exceptions
// out of the common failure (and GNUstep's exceptions cannot be caught in Objective-C++).
NSString* executablePath(const std::string& path, qlong& error) {
  NSString* launchPath = [NSString stringWithUTF8String:path.c_str()];
  BOOL directory = NO;
  if (!launchPath || path.empty()) {
    error = -ENOENT;
    return nil;
  }
  NSFileManager* files = [NSFileManager defaultManager];
  if (![files fileExistsAtPath:launchPath isDirectory:&directory]) {
    error = -ENOENT;
    return nil;
  }
  if (directory || ![files isExecutableFileAtPath:launchPath]) {
    error = -EACCES;
    return nil;
  }
  return launchPath;
}

}  // namespace

// Foundation is set up when the first helper is made; nothing else is held per helper.
class PlatformHelperImpl {
 public:
  PlatformHelperImpl() { initializeFoundation(); }
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
  OperationPool pool;
  qlong error = 0;
  NSString* launchPath = executablePath(path, error);
  if (!launchPath) return error;
  NSMutableArray* list = [NSMutableArray arrayWithCapacity:arguments.size()];
  for (const std::string& a : arguments) {
    NSString* argument = [NSString stringWithUTF8String:a.c_str()];
    if (!argument) return -EINVAL;
    [list addObject:argument];
  }

  NSTask* task = [[NSTask alloc] init];
  [task setLaunchPath:launchPath];
  if ([list count] > 0) [task setArguments:list];
  // The program reads nothing of the host's input and writes nothing into its output.
  NSFileHandle* nullDevice = [NSFileHandle fileHandleWithNullDevice];
  [task setStandardInput:nullDevice];
  [task setStandardOutput:nullDevice];
  [task setStandardError:nullDevice];
  qlong pid = -ENOENT;
#if defined(__APPLE__)
  @try {
    [task launch];
    pid = [task processIdentifier];
  } @catch (NSException*) {
  }
#else
  [task launch];
  pid = [task processIdentifier];
#endif
  [task release];
#if defined(GNUSTEP)
  // GNUstep collects a child only for a task object that is still there to ask; this one has
  // been released, so a waiter collects it (macOS's NSTask collects its children itself).
  if (pid > 0) {
    pinModule();
    reapPending();
    reapWhenDone(static_cast<pid_t>(pid));
  }
#endif
  return pid;
}

qlong PlatformHelper::getProcessId() {
  OperationPool pool;
  return [[NSProcessInfo processInfo] processIdentifier];
}

bool PlatformHelper::is64bitHost() { return sizeof(void*) == 8; }

#endif
