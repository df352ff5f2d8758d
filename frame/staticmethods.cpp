// Static methods of the library, not built yet: each answers -999 as its return value.
#include "zqbase.h"

qlong tObjZQBase::staticMethodMakeParamRow(tThreadData*) { return kErrNotImplemented; }
qlong tObjZQBase::staticMethodLoadParamVars(tThreadData*) { return kErrNotImplemented; }
qlong tObjZQBase::staticMethodTrace(tThreadData*) { return kErrNotImplemented; }
qlong tObjZQBase::staticMethodLoadCRB(tThreadData*) { return kErrNotImplemented; }
qlong tObjZQBase::staticMethodLaunchProcess(tThreadData*) { return kErrNotImplemented; }

qlong tObjZQBase::staticMethodIs64Bit(tThreadData* td) {
  EXTfldval ret;
  ret.setLong(kErrNotImplemented);
  ECOaddParam(td->eci, &ret);
  return kStatusReturnSet;
}

qlong tObjZQBase::staticMethodGetProcessID(tThreadData* td) {
  EXTfldval ret;
  ret.setLong(kErrNotImplemented);
  ECOaddParam(td->eci, &ret);
  return kStatusReturnSet;
}
