// Entity and pattern methods not built yet: each reports -999.
#include "zqmain.h"

qlong tObjZQMain::methodEncodeEntities(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodDecodeEntities(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodFindPatterns(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodReplacePatterns(tThreadData*, qshort) { return kErrNotImplemented; }
