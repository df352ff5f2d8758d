// List methods not built yet: each reports -999.
#include "zqmain.h"

qlong tObjZQMain::methodStringToList(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodListToString(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodBinarySearch(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodGetUniqueWords(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodAssignRow(tThreadData*, qshort) { return kErrNotImplemented; }
