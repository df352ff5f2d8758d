// A loaded component and a session with it: the registration handshake, the named instances
// of its objects, and calls of their methods.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "hostruntime.h"

namespace zqhost {

// The component module, loaded with dlopen. Its library instance is initialised on load and
// terminated when the Module is destroyed (the module itself stays mapped).
class Module {
 public:
  // Loads the module at path; throws std::runtime_error with the loader's reason on failure.
  explicit Module(const std::string& path);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  hostrt::WndProc proc() const { return mProc; }
  const std::string& path() const { return mPath; }

  // The module beside the running executable: <dir of zqhost>/zqtools.so.
  static std::string defaultPath();

 private:
  std::string mPath;
  void* mHandle = nullptr;
  hostrt::WndProc mProc = nullptr;
  void (*mTerminate)() = nullptr;
};

// Object ids of the component's two classes.
const qlong kMainObject = 1001;
const qlong kScopeObject = 1002;

class Session {
 public:
  // Performs the handshake and constructs the default main instance "main".
  explicit Session(const Module& module);
  // Destructs every instance still alive and disconnects.
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  hostrt::Host& host() { return mHost; }
  const hostrt::Host::Registry& registry() const { return mHost.registry(); }

  struct Instance {
    objinst inst;
    qlong objectId;
  };
  // The named instance, or null.
  const Instance* find(const std::string& name) const;
  // Constructs an instance of objectId under name; returns the construct message's answer.
  // Throws RequestError when the name is already an instance.
  qlong create(const std::string& name, qlong objectId);
  // Destructs the named instance; the host-instance calls made meanwhile go to calls.
  qlong destroy(const std::string& name, std::vector<hostrt::RecordedCall>& calls);
  // Sends the copy message from one named instance to another (made when new).
  qlong copy(const std::string& from, const std::string& to);

  // Brings the named instances in line with the instance store after a message sent as such:
  // objects that are gone are forgotten, new ones are named after their host instance (or
  // "#id") with class objectId, so that they can be called, deleted and cleaned up.
  void adoptStore(qlong objectId);
  // The object id of the named instance inst, or 0.
  qlong objectIdOf(objinst inst) const;

  // The id of a method of objectId (0: static methods) given by registered name (ignoring
  // case) or by number; throws RequestError for an unknown name.
  qlong methodId(qlong objectId, const std::string& name) const;
  // The same without the error: false for an unknown name.
  bool knownMethod(qlong objectId, std::string_view name, qlong& id) const;

 private:
  hostrt::Host mHost;
  // Method ids by (object id, name as given): the lookup ignores case, which costs more
  // than the call of a small method.
  struct MethodKeyLess {
    using is_transparent = void;
    template <class A, class B>
    bool operator()(const A& a, const B& b) const {
      return a.first < b.first ||
             (a.first == b.first && std::string_view(a.second) < std::string_view(b.second));
    }
  };
  mutable std::map<std::pair<qlong, std::string>, qlong, MethodKeyLess> mMethodIds;
  std::map<std::string, Instance> mInstances;
  std::vector<std::string> mOrder;  // names in order of creation
};

}  // namespace zqhost
