// The main object (object id 1001) and its method functions. Each method function takes the
// call's context and the number of parameters the host passed and returns a status.
#pragma once

#include "zqbase.h"

class tObjZQMain : public tObjZQBase {
 public:
  tObjZQMain(objinst inst, tThreadData* td, tObjZQMain* source);
  tObjZQBase* dup(tThreadData* td, objinst inst) override;
  void copy(tThreadData* td, tObjZQBase* source) override;
  qlong methodCall(tThreadData* td) override;
  qlong property(qlong message, EXTCompInfo* eci, qbyte flag) override;
  static qlong returnMethods(EXTCompInfo* eci);

  // Text (text/)
  qlong methodOrString(tThreadData* td, qshort paramCount);
  qlong methodReplaceSingleChar(tThreadData* td, qshort paramCount);
  qlong methodReplace(tThreadData* td, qshort paramCount);
  qlong methodRemoveChars(tThreadData* td, qshort paramCount);
  qlong methodCaps(tThreadData* td, qshort paramCount);
  qlong methodAppendString(tThreadData* td, qshort paramCount);
  qlong methodTrim(tThreadData* td, qshort paramCount);
  qlong methodEncode64(tThreadData* td, qshort paramCount);
  qlong methodDecode64(tThreadData* td, qshort paramCount);

  // Strings and lists (text/, sql/)
  qlong methodStringToList(tThreadData* td, qshort paramCount);
  qlong methodListToString(tThreadData* td, qshort paramCount);
  qlong methodBinarySearch(tThreadData* td, qshort paramCount);
  qlong methodGetUniqueWords(tThreadData* td, qshort paramCount);
  qlong methodAssignRow(tThreadData* td, qshort paramCount);

  // Ciphers, digests, permission strings (crypto/)
  qlong methodEncryptDecrypt(tThreadData* td, qshort paramCount, qshort decrypt);
  qlong methodGetSignature(tThreadData* td, qshort paramCount);
  qlong methodSetSecurity(tThreadData* td, qshort paramCount);

  // SQL text and calculations (sql/)
  qlong methodPrepareStatement(tThreadData* td, qshort paramCount, qshort isInsert);
  qlong methodSetSqlZeroNull(tThreadData* td, qshort paramCount);
  qlong methodEvalCalc(tThreadData* td, qshort paramCount);

  // Entities and patterns (markup/)
  qlong methodEncodeEntities(tThreadData* td, qshort paramCount);
  qlong methodDecodeEntities(tThreadData* td, qshort paramCount);
  qlong methodFindPatterns(tThreadData* td, qshort paramCount);
  qlong methodReplacePatterns(tThreadData* td, qshort paramCount);

  // Barcodes (barcode/)
  qlong methodBarcode39(tThreadData* td, qshort paramCount);
  qlong methodBarcodeUSPS(tThreadData* td, qshort paramCount);
};
