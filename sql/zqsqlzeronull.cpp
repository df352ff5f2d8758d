// $setsqlzeronullvalues: normalises the nulls and empties of $cinst's columns for SQL.
#include "zqsqlzeronull.h"

#include <cstdio>

#include "omnistools.h"
#include "zqmain.h"

const str15 s_cinst = OmnisTools::initStr15("$cinst.C");

bool findCinstColumn(EXTCompInfo* eci, qlong n, EXTfldval& out) {
  str31 name;
  name.set(s_cinst.cString(), s_cinst.length());
  char digits[16];
  std::snprintf(digits, sizeof digits, "%d", n);
  name.appendAscii(digits);
  return ECOfindVariable(eci, name.cString(), name.length(), out);
}

void normaliseSqlValue(EXTfldval& value, bool emptyListsToNull) {
  qshort subtype = 0;
  const ffttype type = value.getType(&subtype);
  switch (type) {
    case fftBoolean:
    case fftNumber:
    case fftInteger:
      if (value.isNull()) value.setEmpty(type, subtype);
      break;
    case fftList:
    case fftRow: {
      if (value.isNull()) break;
      EXTqlist list;
      if ((emptyListsToNull && value.isEmpty()) ||
          (value.getList(&list, qfalse) && list.colCnt() == 0))
        value.setNull(type, subtype);
      break;
    }
    case fftDate:
      if (!value.isNull() && value.isEmpty()) value.setNull(type, subtype);
      break;
    default:
      break;
  }
}

qlong tObjZQMain::methodSetSqlZeroNull(tThreadData* td, qshort paramCount) {
  if (paramCount < 1) return returnError(td, kErrParams, "Parameter count must be at least 1");
  qlong count = 0;
  if (getParamInt(td, 1, count) != 0)
    return returnError(td, kErrParams, "Parameter 1 must specify the column count");
  // The count is a 16-bit column number: only its low 16 bits count.
  const qshort columns = static_cast<qshort>(count);
  for (qlong n = 1; n <= columns; ++n) {
    EXTfldval value;
    if (findCinstColumn(td->eci, n, value)) normaliseSqlValue(value, false);
  }
  return kStatusOk;
}
