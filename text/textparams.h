// Helpers shared by the text methods: reading character parameters and reaching the
// characters of a host value.
#pragma once

#include "omnistools.h"
#include "zqbase.h"

namespace zqtext {

// True when parameter n exists and holds character data, or a number that getParamVar reads
// as character. Tests without converting, so that a parameter the method writes back is not
// touched before every parameter has been checked.
bool isTextParam(tThreadData* td, qshort n);

// The characters of a character value, with their count in len; null (len 0) for the empty
// or null text.
inline qchar* charsOf(const EXTfldval& value, qlong& len) {
  const OmnisTools::CharSpan span = OmnisTools::getCharsFromEXTFldVal(value);
  len = span.length;
  return span.chars;
}

// Shortens the character value to len characters, in place.
inline void setCharCount(const EXTfldval& value, qlong len) {
  if (qHandleInfo* h = value.getHandle()) HANsetUsed(h, len * 4);
}

// A status with the detail text "Parameter <n> must be of type character".
qlong notCharacter(tThreadData* td, qshort n);

}  // namespace zqtext
