// The external-component interface: messages, the call record, registration tables,
// parameters and return values, the instance store, calls of host-instance methods,
// variables of the calling context, and resource strings.
#pragma once

#include <cstdint>

#include "extfldval.h"
#include "hosttypes.h"

// Messages the host sends to the component's entry procedure.
const qlong msgGetLibraryInfo = 0x10000;
const qlong msgGetLibraryName = 0x30000;
const qlong msgGetProperties = 0x40000;
const qlong msgGetConstants = 0x60000;
const qlong msgGetMethods = 0x70000;
const qlong msgPropertyRequest = 0x80000;
const qlong msgPropertyCanAssign = 0x120000;
const qlong msgGetProperty = 0x130000;
const qlong msgSetProperty = 0x370000;
const qlong msgConnect = 0x90000;
const qlong msgDisconnect = 0xA0000;
const qlong msgMethodCall = 0xC0000;
const qlong msgObjectConstruct = 0xE0000;
const qlong msgObjectDestruct = 0xF0000;
const qlong msgSetInstanceFlag = 0x260000;
const qlong msgGetVersion = 0x2E0000;
const qlong msgQueryYes = 0x310000;
const qlong msgGetObjects = 0x350000;
const qlong msgGetStaticMethods = 0x360000;
const qlong msgObjectCopy = 0x390000;

typedef void* HWND;
typedef intptr_t LPARAM;
typedef uintptr_t WPARAM;

// Parameter flags of a parameter descriptor.
const qulong EXTD_FLAG_PARAMALTER = 0x00200000;  // the method may write the parameter
const qulong EXTD_FLAG_PARAMOPT = 0x4000;        // the parameter may be omitted

// Registration records (the component's exported tables use these forms).
struct ECOparam {
  qlong mNameResID;
  ffttype mType;
  qulong mFlags;
  qulong mExFlags;
};

struct ECOmethodEvent {
  qlong mId;
  qlong mNameResID;
  ffttype mReturnType;
  qshort mParamCount;
  qshort mPad;
  const ECOparam* mParams;
  qulong mFlags;
  qulong mExFlags;
};

struct ECOobject {
  qlong mObjectID;
  qlong mNameResID;
  qulong mFlags;
  qlong mGroupResID;
};

// The library instance: the loaded component and where its resource strings are.
struct HostLibrary;
typedef HostLibrary* HINSTANCE;

// The per-message call record (its layout is the host's; the component uses the functions
// below). Hosts build it with the runtime interface (hostruntime.h).
struct HostCall;
struct HostContext;
struct InstanceStore;

struct EXTCompInfo {
  qlong mCompId = 0;    // object id of the message (1001, 1002, ...)
  qlong mMethodId = 0;  // method id of a method call; 0 when the call carries none
  HostCall* mCall = nullptr;
  HostContext* mContext = nullptr;  // the calling method's variables and $cinst
  InstanceStore* mInstanceStore = nullptr;
};

struct EXTParamInfo {
  qfldval mData;  // the parameter's value
};

// Binds the host's callbacks for this message (nothing to do in this host).
HOST_API void ECOsetupCallbacks(HWND hwnd, EXTCompInfo* eci);
// The host's default message handler: answers 0.
HOST_API qlong WNDdefWindowProc(HWND hwnd, qlong message, WPARAM wParam, LPARAM lParam,
                                EXTCompInfo* eci);

// Parameters (from 1) and the return value.
HOST_API qlong ECOgetParamCount(EXTCompInfo* eci);
HOST_API EXTParamInfo* ECOfindParamNum(EXTCompInfo* eci, qlong n);
HOST_API qlong ECOgetId(EXTCompInfo* eci);
// Sets the method's return value (a copy of val).
HOST_API void ECOaddParam(EXTCompInfo* eci, const EXTfldval* val);
// Sets the method's return value by taking val's content over (EXTfldval::take): no copy for a
// value that owns its storage, which is left the empty character value.
HOST_API void ECOaddParamOwned(EXTCompInfo* eci, EXTfldval* val);
HOST_API void ECOsetParameterChanged(EXTCompInfo* eci, qlong n);

// Instance store: the component's object stored for a host instance.
HOST_API qbool ECOinsertNVObject(InstanceStore* store, objinst inst, void* object);
HOST_API void* ECOfindNVObject(InstanceStore* store, objinst inst);
HOST_API qbool ECOremoveNVObject(InstanceStore* store, objinst inst);

// Calls method name of host instance inst with count parameters; result may be null.
// The host records every call; the answer tells whether the instance has that method.
HOST_API qbool ECOdoMethod(objinst inst, const strxxx* name, EXTfldval* params, qlong count,
                           qlong flags, EXTfldval* result);

// Variables of the calling context by name: "name", "list.column" (the cell of the list's
// current line), "$cinst" (the calling instance's row), "$cinst.Cn" (its column n) and
// "$cinst.colname". out refers to the variable's storage. False when there is none.
HOST_API qbool ECOfindVariable(EXTCompInfo* eci, const qchar* name, qlong len, EXTfldval& out);

// Registration: hand the tables to the host for this message.
HOST_API qbool ECOreturnCompInfo(HINSTANCE lib, EXTCompInfo* eci, qlong resId, qlong flags);
HOST_API qbool ECOreturnObjects(HINSTANCE lib, EXTCompInfo* eci, const ECOobject* objects,
                                qlong count);
HOST_API qbool ECOreturnMethodEvents(HINSTANCE lib, EXTCompInfo* eci, const ECOmethodEvent* methods,
                                     qlong count);
HOST_API qbool ECOreturnConstants(HINSTANCE lib, EXTCompInfo* eci, qlong firstId, qlong lastId);
// Adds one value to the message's results (library name and the like).
HOST_API void ECOaddResult(EXTCompInfo* eci, const EXTfldval* val);

// Library instance and resources. RESinitLibrary records the module at modulePath; its
// resource strings are read from the file beside it with the extension ".strings"
// (UTF-8, one "id<TAB>text" entry a line); for the executable of a macOS bundle
// (.../Contents/MacOS/name) that is not beside it, from .../Contents/Resources/name.strings.
// RESloadString answers the length loaded, 0 when there is no such string (out is then empty).
HOST_API HINSTANCE RESinitLibrary(const char* modulePath);
HOST_API void RESfreeLibrary(HINSTANCE lib);
HOST_API qlong RESloadString(HINSTANCE lib, qlong id, strxxx& out);
