// The entry procedure: answers the host's messages, registers the tables and keeps the
// component's objects in the host's instance store.
#include <memory>

#include "omnistools.h"
#include "tables.h"
#include "zqmain.h"
#include "zqscope.h"
#include "zqversion.h"

HINSTANCE gInstLib = nullptr;

// No C++ exception leaves an exported function: the host calls them as plain C functions.
// Method code is stopped earlier, in tObjZQBase::runMethod, where a failure still becomes a
// status reported on the call; the catch clauses here only keep the rest (registration,
// construction, copying) from taking the host down. Without memory the library simply stays
// unloaded or the message answers 0.
void __ExtInitialize(const char* modulePath) noexcept {
  try {
    gInstLib = RESinitLibrary(modulePath);
  } catch (...) {
    gInstLib = nullptr;
  }
}

void __ExtTerminate() noexcept {
  try {
    RESfreeLibrary(gInstLib);
  } catch (...) {
  }
  gInstLib = nullptr;
}

qlong __ExtDAMInitialize() noexcept { return 0; }

namespace {

tObjZQBase* findObject(EXTCompInfo* eci, objinst inst) {
  return static_cast<tObjZQBase*>(ECOfindNVObject(eci->mInstanceStore, inst));
}

qlong lowByte(qbool result) { return static_cast<qlong>(result) & 0xFF; }

qlong construct(EXTCompInfo* eci, objinst inst) {
  if (findObject(eci, inst)) return 1;
  std::unique_ptr<tObjZQBase> object;
  if (eci->mCompId == kObjScope)
    object.reset(new tObjZQObjScope(inst, nullptr, nullptr));
  else if (eci->mCompId == kObjMain)
    object.reset(new tObjZQMain(inst, nullptr, nullptr));
  ECOinsertNVObject(eci->mInstanceStore, inst, object.get());
  object.release();  // the store holds it now
  return 1;
}

qlong destruct(EXTCompInfo* eci, objinst inst) {
  std::unique_ptr<tObjZQBase> object(findObject(eci, inst));
  if (!object) return 0;
  // Out of the store first: the object goes even when cleaning up its references fails.
  ECOremoveNVObject(eci->mInstanceStore, inst);
  // Only a scope object holds references to clean up; the object's own kind decides, so a
  // message that names the wrong object id cannot treat a main object as a scope.
  if (eci->mCompId == kObjScope && object->objType == kObjZQObjScope) {
    tThreadData td(eci);
    static_cast<tObjZQObjScope*>(object.get())->clearObjectStore(&td);
  }
  return 0;
}

void copyObject(EXTCompInfo* eci, const objinst* pair) {
  tThreadData td(eci);
  tObjZQBase* source = findObject(eci, pair[0]);
  if (!source) return;
  tObjZQBase* dest = findObject(eci, pair[1]);
  if (!dest) {
    std::unique_ptr<tObjZQBase> created(source->dup(&td, pair[1]));
    if (created) ECOinsertNVObject(eci->mInstanceStore, pair[1], created.get());
    created.release();  // the store holds it now
  } else {
    dest->copy(&td, source);
  }
}

qlong handleMessage(HWND hwnd, qlong message, WPARAM wParam, LPARAM lParam, EXTCompInfo* eci) {
  ECOsetupCallbacks(hwnd, eci);
  const objinst inst = static_cast<objinst>(lParam);
  switch (message) {
    case msgGetLibraryInfo:
      ECOreturnCompInfo(gInstLib, eci, kResLibInfo, 0);
      return 0;
    case msgGetLibraryName: {
      str80 name;
      RESloadString(gInstLib, kResLibName, name);
      EXTfldval value;
      value.setChar(name);
      ECOaddResult(eci, &value);
      return 1;
    }
    case msgGetProperties:
      if (eci->mCompId == kObjScope || eci->mCompId == kObjMain) return 0;  // none
      break;
    case msgGetConstants:
      return lowByte(ECOreturnConstants(gInstLib, eci, kResFirstConstant, kResLastConstant));
    case msgGetMethods:
      if (eci->mCompId == kObjScope) return tObjZQObjScope::returnMethods(eci);
      if (eci->mCompId == kObjMain) return tObjZQMain::returnMethods(eci);
      break;
    case msgPropertyRequest:
    case msgPropertyCanAssign:
    case msgGetProperty:
    case msgSetProperty: {
      tObjZQBase* object = findObject(eci, inst);
      return object ? object->property(message, eci, wParam == 1) : 0;
    }
    case msgConnect:
      return 1549;
    case msgDisconnect:
      return 1;
    case msgMethodCall: {
      tObjZQBase* object = findObject(eci, inst);
      tThreadData td(eci);
      if (object)
        object->methodCall(&td);
      else
        tObjZQBase::staticMethodCall(&td);
      return 0;
    }
    case msgObjectConstruct:
      return construct(eci, inst);
    case msgObjectDestruct:
      return destruct(eci, inst);
    case msgSetInstanceFlag: {
      tObjZQBase* object = findObject(eci, inst);
      if (object) object->hostFlag = static_cast<qbyte>(wParam & 0xFF);
      break;
    }
    case msgGetVersion:
      // Major version in the upper 16 bits, minor in the lower (2.58: 131130). The 32-bit
      // build has always answered one minor version lower, and hosts that check it expect so.
      return (ZQ_VERSION_MAJOR << 16) | (ZQ_VERSION_MINOR - (sizeof(void*) == 8 ? 0 : 1));
    case msgQueryYes:
      return 1;
    case msgGetObjects:
      return lowByte(ECOreturnObjects(gInstLib, eci, objectsTable, kObjectCount));
    case msgGetStaticMethods:
      return lowByte(ECOreturnMethodEvents(gInstLib, eci, gStaticMethods, kStaticMethodCount));
    case msgObjectCopy:
      if (lParam) copyObject(eci, reinterpret_cast<const objinst*>(lParam));
      break;
    default:
      break;
  }
  return WNDdefWindowProc(hwnd, message, wParam, lParam, eci);
}

}  // namespace

qlong ZQWndProc(HWND hwnd, qlong message, WPARAM wParam, LPARAM lParam, EXTCompInfo* eci) noexcept {
  try {
    return handleMessage(hwnd, message, wParam, lParam, eci);
  } catch (...) {
    return 0;
  }
}
