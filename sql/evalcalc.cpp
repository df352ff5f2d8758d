// $evalcalc: evaluates a calculation given as text in the context of the calling method.
#include <cstdio>
#include <string>

#include "zqmain.h"

namespace {

const qlong kCalcKind = 1;

// The detail text of a failed calculation: lead, the calculation, a closing apostrophe, cut
// to the 255 characters of a host string.
void calcDetail(str255& out, const std::string& lead, const qchar* calc, qlong len) {
  std::u32string text(lead.begin(), lead.end());
  text.append(calc, static_cast<size_t>(len));
  text += U'\'';
  out.set(text.data(), static_cast<qlong>(text.size()));
}

}  // namespace

qlong tObjZQMain::methodEvalCalc(tThreadData* td, qshort paramCount) {
  if (paramCount < 1) return returnError(td, kErrParams, "Parameter count must be 1");
  EXTfldval source;
  const qlong status = getParamVar(td, 1, source, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 1 must be of type character");
  // A short calculation is passed as a host string and the host reports where a fault is;
  // a longer one is passed from its handle, and its fault positions show as 0 to 0.
  str255 shortText;
  const qchar* chars = nullptr;
  qlong len = source.getCharLen();
  qlong first = 0, last = 0;
  EXTfldval calc;
  qlong error;
  if (len <= 255) {
    source.getChar(shortText);
    chars = shortText.cString();
    len = shortText.length();
    error = calc.setCalculation(td->eci, kCalcKind, chars, len, &first, &last);
  } else {
    qHandleInfo* h = source.getHandle();
    chars = reinterpret_cast<const qchar*>(h->mData);
    error = calc.setCalculation(td->eci, kCalcKind, chars, len);
  }
  // The host's own code for a calculation it had no memory to set up: that is -103, not a
  // fault of the calculation.
  const qlong kCalcNoMemory = 11;
  if (error == kCalcNoMemory) return kErrMemory;
  const qbool flag = getParamBoolDontCare(td, 2, qfalse);
  EXTfldval result;  // the empty text unless the calculation gives a value
  str255 detail;
  if (error != 0) {
    char lead[128];
    std::snprintf(lead, sizeof lead, "Calculation error %d at position %d to %d when evaluating '",
                  error, first, last);
    calcDetail(detail, lead, chars, len);
  } else if (!calc.evalCalculation(result, td->eci, nullptr, flag)) {
    calcDetail(detail, "Unknown calculation error when evaluating '", chars, len);
  }
  if (detail.length() > 0) {
    showError(td, kErrCalc, &detail);
    td->errorString = nullptr;  // the detail lives no longer than this call
  }
  ECOaddParam(td->eci, &result);
  return kStatusReturnSet;
}
