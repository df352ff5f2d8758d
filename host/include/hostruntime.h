// The host side of the host layer: what a host program (zqhost, the tests) uses to load a
// component, send it messages, pass parameters, read results and observe what the component
// did. The component itself never includes this header.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "extcomp.h"
#include "extfldval.h"
#include "hosttypes.h"

// What one message carries and collects. EXTCompInfo::mCall points to it.
struct HostCall {
  std::vector<qfldval> params;           // the parameters, in order (not owned)
  std::vector<EXTParamInfo> paramInfos;  // filled by the host layer on demand
  EXTfldval result;                      // the method's return value, when hasResult
  bool hasResult = false;
  // Per parameter (parameter n at index n - 1): marked changed. Sized with the parameters
  // before the call, so that marking needs no memory and cannot fail.
  std::vector<char> changed;
  std::vector<EXTfldval> results;  // values added with ECOaddResult
  // Registration made during this message.
  struct Param {
    std::string name;
    ffttype type;
    qulong flags;
  };
  struct Method {
    qlong id;
    std::string name;
    ffttype returnType;
    std::vector<Param> params;
  };
  struct Object {
    qlong id;
    std::string name;
  };
  struct Constant {
    qlong id;
    std::string name;   // the part of the resource text before the first colon
    std::string value;  // the part after it
  };
  std::string compInfo;
  std::vector<Object> objects;
  std::vector<Method> methods;
  std::vector<Constant> constants;
  // Resource strings the registration could not find: the ids, and what is wrong with the
  // component's resource file (empty when it was read whole).
  std::vector<qlong> missingResources;
  std::string resourceProblem;
};

// The context of the calling method: its variables by name (names compare ignoring case) and
// the calling instance's row ($cinst).
struct HostContext {
  HostContext();
  // The variable of that name, or null.
  EXTfldval* findVar(const std::string& name);
  // Creates or replaces a variable.
  void setVar(const std::string& name, const EXTfldval& value);
  std::vector<std::string> varNames() const;
  EXTfldval cinst;  // a row; no columns until set
  bool hasCinst = false;

 private:
  std::map<std::string, std::unique_ptr<EXTfldval>> mVars;  // key: lower-cased name
  std::vector<std::string> mOrder;                          // names as first given
};

// The host's instance store: host instance -> component object.
struct InstanceStore {
  std::map<objinst, void*> objects;
};

namespace hostrt {

// A call the component made on a host instance (ECOdoMethod).
struct RecordedCall {
  objinst inst;
  std::string method;             // UTF-8
  std::vector<EXTfldval> params;  // copies of the values passed
};

// Host instances of the application: made by name, listed by id.
HOST_API objinst newInstance(const std::string& name);
HOST_API objinst findInstance(const std::string& name);  // 0 when none
HOST_API std::string instanceName(objinst inst);         // empty for an unknown id
HOST_API const std::vector<RecordedCall>& recordedCalls();
HOST_API void clearRecordedCalls();

// Failure switches for tests. failNth: the Nth HANglobalAlloc/HANglobalReAlloc from now on
// fails (0: off). failAbove: every allocation or reallocation above that many bytes fails
// (0: off). refuseRows/refuseCols: EXTqlist::insertRow/addCol refuse.
HOST_API void setAllocFailure(qlong failNth, qlong failAbove);
HOST_API void setListRefusal(bool refuseRows, bool refuseCols);
HOST_API void resetFailures();
// The comma character that the text-to-integer rule skips (a comma unless set).
HOST_API void setCommaChar(qchar c);

// The most characters a character value holds (its handle counts bytes in 32 bits).
const size_t kMaxCharacters = 0x7FFFFFFF / 4;

// UTF-8 helpers for hosts. charValue throws std::length_error for a text of more than
// kMaxCharacters characters (and std::bad_alloc when memory cannot be had).
HOST_API std::string toUtf8(const EXTfldval& v);  // the value's text
HOST_API EXTfldval charValue(const std::string& utf8);
HOST_API std::u32string toU32(const std::string& utf8);
HOST_API std::string fromU32(const std::u32string& s);

typedef qlong (*WndProc)(HWND, qlong, WPARAM, LPARAM, EXTCompInfo*);

// The outcome of one method call.
struct ErrorReport {
  qlong code;
  std::string message, detail, method;
};
struct CallOutcome {
  qlong answer = 0;
  bool hasReturn = false;
  EXTfldval ret;
  std::vector<qlong> changed;
  std::vector<ErrorReport> errors;  // "$error" calls on the owning instance
  std::vector<RecordedCall> calls;  // every other call of a host-instance method
};

// One loaded component with its instance store and calling context. Like a long-running host
// application, a Host keeps freed memory for reuse rather than returning it to the system
// after every call (glibc's trim and mmap thresholds are raised once per process).
class HOST_API Host {
 public:
  explicit Host(WndProc proc);
  Host(const Host&) = delete;
  Host& operator=(const Host&) = delete;

  // Sends a message; call (may be null) receives what the message registers or returns.
  qlong send(qlong message, qlong objectId, WPARAM wParam, LPARAM lParam, HostCall* call = nullptr);

  // The registration handshake: connect, library info and name, objects, methods of each
  // object, static methods, constants. Fills registry().
  struct Registry {
    qlong connectAnswer = 0;
    std::string libInfo, libName;
    std::vector<HostCall::Object> objects;
    std::map<qlong, std::vector<HostCall::Method>> methods;  // by object id
    std::vector<HostCall::Method> statics;
    std::vector<HostCall::Constant> constants;
    // Why names are missing, one sentence each: the resource file cannot be read or is
    // damaged, or some names have no resource string. Empty when every name was found.
    std::vector<std::string> resourceProblems;
  };
  const Registry& handshake();
  const Registry& registry() const { return mRegistry; }

  // Looks a method up by name (ignoring case) in the registry: object id 0 for static
  // methods. Returns 0 when unknown.
  qlong methodId(qlong objectId, const std::string& name) const;

  // Instance lifecycle messages.
  qlong construct(qlong objectId, objinst inst);
  qlong destruct(qlong objectId, objinst inst);
  qlong copy(qlong objectId, objinst source, objinst dest);

  // Calls method id of instance inst (object objectId) with params, which the method may
  // change in place. A static method is called with inst 0 (an instance without object).
  CallOutcome call(qlong objectId, objinst inst, qlong methodId, std::vector<EXTfldval>& params);

  HostContext& context() { return mContext; }
  InstanceStore& store() { return mStore; }

 private:
  WndProc mProc;
  InstanceStore mStore;
  HostContext mContext;
  Registry mRegistry;
};

}  // namespace hostrt
