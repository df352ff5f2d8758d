#include "textparams.h"

namespace zqtext {

bool isTextParam(tThreadData* td, qshort n) {
  EXTfldval value;
  if (tObjZQBase::getParamVar(td, n, value, fftNone, fftNone) != 0) return false;
  const ffttype t = value.getType();
  return t == fftCharacter || t == fftNumber || t == fftInteger || t == fftInt64;
}

qlong notCharacter(tThreadData* td, qshort n) {
  static const char* const kTexts[] = {
      "Parameter 1 must be of type character", "Parameter 2 must be of type character",
      "Parameter 3 must be of type character", "Parameter 4 must be of type character"};
  return tObjZQBase::returnError(td, kErrParams, n >= 1 && n <= 4 ? kTexts[n - 1] : "");
}

}  // namespace zqtext
