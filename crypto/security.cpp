// $setsecurity: two Y/N permission strings combined position by position.
#include "zqmain.h"

namespace {

const qlong kFlagCount = 255;

// A position is granted when both strings hold "Y" there, or both hold "y".
bool granted(const str255& a, const str255& b, qlong i) {
  if (i >= a.length() || i >= b.length()) return false;
  return (a[i] == U'Y' && b[i] == U'Y') || (a[i] == U'y' && b[i] == U'y');
}

}  // namespace

qlong tObjZQMain::methodSetSecurity(tThreadData* td, qshort paramCount) {
  if (paramCount != 3) return returnError(td, kErrParams, "Parameter count must be 3");
  str255 first, second;
  qlong status = getParamText(td, 1, first);
  if (status != 0) return returnError(td, status, "Parameter 1 must be of type character");
  status = getParamText(td, 2, second);
  if (status != 0) return returnError(td, status, "Parameter 2 must be of type character");

  qchar flags[kFlagCount];
  for (qlong i = 0; i < kFlagCount; ++i) flags[i] = granted(first, second, i) ? U'Y' : U'N';

  EXTfldval result;
  status = getParamTarget(td, 3, result, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 3 must be of type character");
  result.setChar(flags, kFlagCount);  // the value is replaced only once its copy is made
  ECOsetParameterChanged(td->eci, 3);
  return kStatusOk;
}
