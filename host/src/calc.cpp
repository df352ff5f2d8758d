// Calculations in the host's expression language. Not built yet: every calculation is refused
// with error code 1 at its whole extent, and nothing evaluates.
#include "extcomp.h"

qlong EXTfldval::setCalculation(EXTCompInfo*, qshort, const qchar*, qlong len, qlong* errStart,
                                qlong* errEnd) {
  if (errStart) *errStart = 1;
  if (errEnd) *errEnd = len;
  return 1;
}

qbool EXTfldval::evalCalculation(EXTfldval&, EXTCompInfo*, EXTqlist*, qbool) { return qfalse; }
