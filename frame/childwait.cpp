// Waiter threads for started programs (see childwait.h).
#include "childwait.h"

#include <dlfcn.h>
#include <sys/wait.h>

#include <cerrno>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace {

// Children that no waiter thread could be started for; reaped at later launches.
std::mutex gPendingLock;
std::vector<pid_t> gPending;

}  // namespace

void pinModule() {
  static std::once_flag once;
  std::call_once(once, [] {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&pinModule), &info) && info.dli_fname)
      dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  });
}

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
