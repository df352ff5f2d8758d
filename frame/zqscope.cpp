// The object scope: "$addref" collects host object references; destroying the instance
// calls "$cleanupRef" on each, in the order they were added.
#include "zqscope.h"

#include <new>

#include "tables.h"

tObjZQObjScope::tObjZQObjScope(objinst inst, tThreadData* td, tObjZQObjScope* source)
    : tObjZQBase(inst, kObjZQObjScope) {
  if (source) copy(td, source);
}

tObjZQObjScope::~tObjZQObjScope() {}

tObjZQBase* tObjZQObjScope::dup(tThreadData* td, objinst inst) {
  return new tObjZQObjScope(inst, td, this);
}

void tObjZQObjScope::copy(tThreadData* td, tObjZQObjScope* source) {
  if (source->objType != kObjZQObjScope) return;
  clearObjectStore(td);
  hostFlag = source->hostFlag;
  objType = source->objType;
}

qlong tObjZQObjScope::property(qlong, EXTCompInfo*, qbyte) { return 0; }

qlong tObjZQObjScope::returnMethods(EXTCompInfo* eci) {
  return ECOreturnMethodEvents(gInstLib, eci, ZQObjScopeMethodsTable, kScopeMethodCount) & 0xFF;
}

void tObjZQObjScope::clearObjectStore(tThreadData*) {
  if (mRefs.empty()) return;
  str15 name;
  const qchar method[] = U"$cleanupRef";
  name.set(method, 11);
  // A call the host has no memory for is lost; the other references are still cleaned up.
  for (objinst ref : mRefs) {
    try {
      ECOdoMethod(ref, &name, nullptr, 0, 1, nullptr);
    } catch (const std::bad_alloc&) {
    }
  }
  mRefs.clear();
}

qlong tObjZQObjScope::methodCall(tThreadData* td) {
  qlong status = kStatusOk;
  const qlong id = td->eci ? ECOgetId(td->eci) : 0;
  if (id != 0 && static_cast<qushort>(id) == 7001) {
    status = runMethod(td, [&] { return methodAddRef(td, paramCount(td)); });
    if (status == kStatusReturnSet) return status;
    if (status < 0) callErrorMethod(td, status);
  }
  returnLong(td, status == kStatusOk ? 1 : 0);
  return status;
}

qlong tObjZQObjScope::methodAddRef(tThreadData* td, qshort paramCount) {
  if (paramCount < 1) return returnError(td, kErrParams, "Parameter count must be 1");
  EXTfldval ref;
  const qlong status = getParamVar(td, 1, ref, fftObjref, fftNone);
  if (status != 0)
    return returnError(td, status, "Parameter 1 unrecognized.  Must be of type Object Reference.");
  const objinst inst = ref.getObjRef();
  mRefs.push_back(inst);
  EXTfldval ret;
  ret.setObjRef(inst);
  ECOaddParam(td->eci, &ret);
  return kStatusReturnSet;
}
