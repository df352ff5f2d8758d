// PlatformHelper on POSIX systems other than macOS (macOS: platformhelper_mac.mm).
#if !defined(__APPLE__)

#include "platformhelper.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>

extern char** environ;

// Nothing is held per helper on this platform.
class PlatformHelperImpl {};

namespace {

// Waiter threads run this module's code after a call has returned: keep the module loaded
// for the life of the process, even if the host unloads it.
void pinModule() {
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&pinModule), &info) && info.dli_fname)
      dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  });
}

// Children that no waiter thread could be started for; reaped at later launches.
std::mutex gPendingLock;
std::vector<pid_t> gPending;

void reapPending() {
  std::lock_guard<std::mutex> lock(gPendingLock);
  for (size_t i = 0; i < gPending.size();) {
    if (waitpid(gPending[i], nullptr, WNOHANG) == 0) {
      ++i;
    } else {
      gPending[i] = gPending.back();
      gPending.pop_back();
    }
  }
}

// Collects the child's exit status when it ends, so that no zombie remains, without making
// the caller wait.
void reapWhenDone(pid_t pid) {
  try {
    std::thread([pid] {
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    std::lock_guard<std::mutex> lock(gPendingLock);
    gPending.push_back(pid);
  }
}

}  // namespace

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
  pinModule();
  reapPending();
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  // The program reads nothing and writes nothing of the host's: its standard input, output and
  // error are /dev/null (a program reading the host's input would take it from the host).
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  // The host's other descriptors (pipes, sockets) are not the program's to hold open.
  posix_spawn_file_actions_addclosefrom_np(&files, STDERR_FILENO + 1);
#endif
  // The program starts with no blocked signals and the usual signals at their defaults, even
  // when the host blocks or ignores them.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t signals;
  sigemptyset(&signals);
  posix_spawnattr_setsigmask(&attributes, &signals);
  for (int s : {SIGPIPE, SIGCHLD, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGALRM, SIGUSR1, SIGUSR2})
    sigaddset(&signals, s);
  posix_spawnattr_setsigdefault(&attributes, &signals);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  pid_t pid = 0;
  const int error = posix_spawn(&pid, path.c_str(), &files, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&files);
  if (error != 0) return -error;
  reapWhenDone(pid);
  return static_cast<qlong>(pid);
}

qlong PlatformHelper::getProcessId() { return static_cast<qlong>(getpid()); }

bool PlatformHelper::is64bitHost() { return sizeof(void*) == 8; }

#endif
