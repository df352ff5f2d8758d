// Code 39 method not built yet: reports -999.
#include "zqmain.h"

qlong tObjZQMain::methodBarcode39(tThreadData*, qshort) { return kErrNotImplemented; }
