// Cipher, digest and permission methods not built yet: each reports -999.
#include "zqmain.h"

qlong tObjZQMain::methodEncryptDecrypt(tThreadData*, qshort, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodGetSignature(tThreadData*, qshort) { return kErrNotImplemented; }
qlong tObjZQMain::methodSetSecurity(tThreadData*, qshort) { return kErrNotImplemented; }
