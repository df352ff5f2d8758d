#include "textparams.h"

namespace zqtext {

bool isTextParam(tThreadData* td, qshort n) {
  EXTParamInfo* param = ECOfindParamNum(td->eci, n);
  if (!param) return false;
  const ffttype t = EXTfldval(param->mData).getType();
  return t == fftCharacter || t == fftNumber || t == fftInteger || t == fftInt64;
}

qlong notCharacter(tThreadData* td, qshort n) {
  static const char* const kTexts[] = {
      "Parameter 1 must be of type character", "Parameter 2 must be of type character",
      "Parameter 3 must be of type character", "Parameter 4 must be of type character"};
  return tObjZQBase::returnError(td, kErrParams, n >= 1 && n <= 4 ? kTexts[n - 1] : "");
}

}  // namespace zqtext
