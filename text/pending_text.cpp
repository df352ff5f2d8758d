// Text methods not built yet: each reports -999.
#include "zqmain.h"

qlong tObjZQMain::methodOrString(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodReplaceSingleChar(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodReplace(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodRemoveChars(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodCaps(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodAppendString(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodTrim(tThreadData*, qshort) { return kErrNotImplemented; }
