// Intelligent Mail method not built yet: reports -999.
#include "zqmain.h"

qlong tObjZQMain::methodBarcodeUSPS(tThreadData*, qshort) { return kErrNotImplemented; }
