// The main object: dispatch of method calls by id to the method functions.
#include "zqmain.h"

#include "tables.h"

tObjZQMain::tObjZQMain(objinst inst, tThreadData* td, tObjZQMain* source)
    : tObjZQBase(inst, kObjZQMain) {
  if (source) copy(td, source);
}

tObjZQBase* tObjZQMain::dup(tThreadData* td, objinst inst) {
  return new tObjZQMain(inst, td, this);
}

void tObjZQMain::copy(tThreadData*, tObjZQBase* source) {
  if (source->objType != kObjZQMain) return;
  objType = source->objType;
  hostFlag = source->hostFlag;
}

qlong tObjZQMain::property(qlong, EXTCompInfo*, qbyte) { return 0; }

qlong tObjZQMain::returnMethods(EXTCompInfo* eci) {
  return ECOreturnMethodEvents(gInstLib, eci, ZQObjMethodsTable, kMainMethodCount) & 0xFF;
}

qlong tObjZQMain::methodCall(tThreadData* td) {
  qlong status = kErrMethod;
  const qlong rawId = td->eci ? ECOgetId(td->eci) : 0;
  if (rawId != 0) {
    const qshort id = static_cast<qshort>(rawId);
    const qshort n = paramCount(td);
    struct Entry {
      const char* name;
      qlong (tObjZQMain::*fn)(tThreadData*, qshort);
    };
    static const Entry kMethods[] = {
        {nullptr, nullptr},  // 2100: the declared error method
        {"$orstring", &tObjZQMain::methodOrString},
        {"$stringtolist", &tObjZQMain::methodStringToList},
        {"$listtostring", &tObjZQMain::methodListToString},
        {"$binarysearch", &tObjZQMain::methodBinarySearch},
        {"$replacesinglechar", &tObjZQMain::methodReplaceSingleChar},
        {"$replace", &tObjZQMain::methodReplace},
        {"$removechars", &tObjZQMain::methodRemoveChars},
        {"$setsecurity", &tObjZQMain::methodSetSecurity},
        {"$encode64", &tObjZQMain::methodEncode64},
        {"$decode64", &tObjZQMain::methodDecode64},
        {"$caps", &tObjZQMain::methodCaps},
        {"$appendstring", &tObjZQMain::methodAppendString},
        {"$encrypt", nullptr},  // 2113, 2114: methodEncryptDecrypt
        {"$decrypt", nullptr},
        {"$getsignature", &tObjZQMain::methodGetSignature},
        {"$trim", &tObjZQMain::methodTrim},
        {"$setsqlzeronullvalues", &tObjZQMain::methodSetSqlZeroNull},
        {"$getuniquewords", &tObjZQMain::methodGetUniqueWords},
        {"$evalcalc", &tObjZQMain::methodEvalCalc},
        {"$prepareinsert", nullptr},  // 2120, 2121: methodPrepareStatement
        {"$prepareupdate", nullptr},
        {"$barcode39", &tObjZQMain::methodBarcode39},
        {"$assignRow", &tObjZQMain::methodAssignRow},
        {"$barcodeUSPS", &tObjZQMain::methodBarcodeUSPS},
        {"$encodeEntities", &tObjZQMain::methodEncodeEntities},
        {"$decodeEntities", &tObjZQMain::methodDecodeEntities},
        {"$findPatterns", &tObjZQMain::methodFindPatterns},
        {"$replacePatterns", &tObjZQMain::methodReplacePatterns},
    };
    static_assert(sizeof(kMethods) / sizeof(kMethods[0]) == 29, "ids 2100 to 2128");
    if (id >= 2100 && id <= 2128) {
      const Entry& entry = kMethods[id - 2100];
      if (id == 2100) {
        status = kStatusOk;
      } else {
        td->methodName = entry.name;
        status = runMethod(td, [&] {
          switch (id) {
            case 2113:
            case 2114:
              return methodEncryptDecrypt(td, n, id == 2114 ? 1 : 0);
            case 2120:
            case 2121:
              return methodPrepareStatement(td, n, id == 2120 ? 1 : 0);
            default:
              return (this->*entry.fn)(td, n);
          }
        });
        if (status == kStatusReturnSet) return status;
      }
    }
  }
  if (status < 0) callErrorMethod(td, status);
  returnLong(td, status == kStatusOk ? 1 : 0);
  return status;
}

qlong tObjZQMain::methodEncode64(tThreadData*, qshort) { return kErrNotImplemented; }

qlong tObjZQMain::methodDecode64(tThreadData*, qshort) { return kErrNotImplemented; }
