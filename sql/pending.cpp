// SQL text and calculation methods not built yet: each reports -999.
#include "zqmain.h"

qlong tObjZQMain::methodPrepareStatement(tThreadData*, qshort, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodSetSqlZeroNull(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodEvalCalc(tThreadData*, qshort) { return kErrNotImplemented; }
