// Loading the component and keeping a session with it.
#include "session.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

#include <algorithm>
#include <stdexcept>

#include "jsonvalues.h"

#ifndef ZQ_INSTALLED_MODULE
#error "the build sets ZQ_INSTALLED_MODULE, the installed component's path relative to bin/"
#endif

namespace zqhost {

Module::Module(const std::string& path) {
  char resolved[PATH_MAX];
  mPath = realpath(path.c_str(), resolved) ? resolved : path;
  mHandle = dlopen(mPath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!mHandle) {
    const char* why = dlerror();
    throw std::runtime_error("cannot load " + path + ": " + (why ? why : "unknown reason"));
  }
  mProc = reinterpret_cast<hostrt::WndProc>(dlsym(mHandle, "ZQWndProc"));
  auto init = reinterpret_cast<void (*)(const char*)>(dlsym(mHandle, "__ExtInitialize"));
  mTerminate = reinterpret_cast<void (*)()>(dlsym(mHandle, "__ExtTerminate"));
  if (!mProc || !init || !mTerminate)
    throw std::runtime_error(path +
                             " does not export ZQWndProc, __ExtInitialize and "
                             "__ExtTerminate");
  // The library instance records the module's path: its resource strings lie beside it.
  init(mPath.c_str());
}

Module::~Module() {
  if (mTerminate) mTerminate();
}

// The module's path relative to zqhost's folder (the build names the macOS bundle's).
#if !defined(ZQ_DEFAULT_MODULE)
#define ZQ_DEFAULT_MODULE "zqtools.so"
#endif

std::string Module::defaultPath() {
  char exe[PATH_MAX];
#if defined(__APPLE__)
  uint32_t size = sizeof exe;
  char found[PATH_MAX];
  if (_NSGetExecutablePath(found, &size) != 0 || !realpath(found, exe)) return ZQ_DEFAULT_MODULE;
  std::string dir(exe);
#else
  const ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return ZQ_DEFAULT_MODULE;
  std::string dir(exe, static_cast<size_t>(n));
#endif
  dir.erase(dir.find_last_of('/') + 1);
  const std::string beside = dir + ZQ_DEFAULT_MODULE;
  // An installed zqhost: the component is in its module folder, found relative to bin/.
  return access(beside.c_str(), F_OK) == 0 ? beside : dir + ZQ_INSTALLED_MODULE;
}

Session::Session(const Module& module) : mHost(module.proc()) {
  mHost.handshake();
  create("main", kMainObject);
}

Session::~Session() {
  std::vector<hostrt::RecordedCall> calls;
  while (!mOrder.empty()) destroy(mOrder.back(), calls);
  mHost.send(msgDisconnect, 0, 0, 0);
  hostrt::clearRecordedCalls();
}

const Session::Instance* Session::find(const std::string& name) const {
  auto it = mInstances.find(name);
  return it == mInstances.end() ? nullptr : &it->second;
}

qlong Session::create(const std::string& name, qlong objectId) {
  if (name.empty()) throw RequestError("an instance needs a name");
  if (find(name)) throw RequestError("instance \"" + name + "\" exists already");
  objinst inst = hostrt::findInstance(name);
  if (!inst) inst = hostrt::newInstance(name);
  const qlong answer = mHost.construct(objectId, inst);
  mInstances[name] = {inst, objectId};
  mOrder.push_back(name);
  return answer;
}

qlong Session::destroy(const std::string& name, std::vector<hostrt::RecordedCall>& calls) {
  const Instance* found = find(name);
  if (!found) throw RequestError("unknown instance \"" + name + "\"");
  const Instance instance = *found;
  mInstances.erase(name);
  mOrder.erase(std::find(mOrder.begin(), mOrder.end(), name));
  const size_t before = hostrt::recordedCalls().size();
  const qlong answer = mHost.destruct(instance.objectId, instance.inst);
  const std::vector<hostrt::RecordedCall>& all = hostrt::recordedCalls();
  calls.insert(calls.end(), all.begin() + static_cast<long>(before), all.end());
  return answer;
}

qlong Session::copy(const std::string& from, const std::string& to) {
  const Instance* source = find(from);
  if (!source) throw RequestError("unknown instance \"" + from + "\"");
  if (to.empty()) throw RequestError("the copy needs a destination name");
  const Instance* dest = find(to);
  objinst destInst = dest ? dest->inst : hostrt::findInstance(to);
  if (!destInst) destInst = hostrt::newInstance(to);
  const qlong answer = mHost.copy(source->objectId, source->inst, destInst);
  // A destination without an object got a duplicate of the source.
  if (!dest && mHost.store().objects.count(destInst)) {
    mInstances[to] = {destInst, source->objectId};
    mOrder.push_back(to);
  }
  return answer;
}

void Session::adoptStore(qlong objectId) {
  const std::map<objinst, void*>& objects = mHost.store().objects;
  for (const std::string& name : std::vector<std::string>(mOrder)) {
    if (objects.count(mInstances[name].inst) == 0) {
      mInstances.erase(name);
      mOrder.erase(std::find(mOrder.begin(), mOrder.end(), name));
    }
  }
  for (const auto& entry : objects) {
    bool known = false;
    for (const auto& named : mInstances) known = known || named.second.inst == entry.first;
    if (known) continue;
    std::string name = hostrt::instanceName(entry.first);
    if (name.empty() || find(name)) name = "#" + std::to_string(entry.first);
    mInstances[name] = {entry.first, objectId};
    mOrder.push_back(name);
  }
}

qlong Session::objectIdOf(objinst inst) const {
  for (const auto& entry : mInstances)
    if (entry.second.inst == inst) return entry.second.objectId;
  return 0;
}

bool Session::knownMethod(qlong objectId, std::string_view name, qlong& id) const {
  const auto known = mMethodIds.find(std::make_pair(objectId, name));
  if (known != mMethodIds.end()) {
    id = known->second;
    return true;
  }
  id = mHost.methodId(objectId, std::string(name));
  if (id != 0) mMethodIds.emplace(std::make_pair(objectId, std::string(name)), id);
  return id != 0;
}

qlong Session::methodId(qlong objectId, const std::string& name) const {
  qlong id = 0;
  if (!knownMethod(objectId, name, id)) {
    // Without its resource strings the component registers no names: say so with the error.
    const std::string why =
        registry().resourceProblems.empty()
            ? ""
            : " (" + registry().resourceProblems[0] + "; methods can still be called by number)";
    throw RequestError(
        (objectId == 0 ? "unknown static method \"" + name + "\""
                       : "unknown method \"" + name + "\" of object " + std::to_string(objectId)) +
        why);
  }
  return id;
}

}  // namespace zqhost
