// $stringtolist cuts a delimited text into list rows; $listtostring joins list columns into a
// delimited text. Both name their columns in a comma-separated text.
#include "columnmap.h"
#include "omnistools.h"
#include "ownedhandle.h"
#include "zqmain.h"

namespace {

const qchar kTab = 9;

using Chars = OmnisTools::CharSpan;
const auto charsOf = OmnisTools::getCharsFromEXTFldVal;

// The first character of a delimiter parameter; a tab when it is empty or starts with 0.
qchar delimiterOf(const EXTfldval& value) {
  const Chars c = charsOf(value);
  return (c.length > 0 && c.chars[0] != 0) ? c.chars[0] : kTab;
}

// Records each comma-separated name (untrimmed) that the list has as a column.
void mapNames(tColumnMap& map, const Chars& names) {
  qlong start = 0;
  for (qlong i = 0; i <= names.length; ++i) {
    if (i == names.length || names.chars[i] == U',') {
      map.addMap(names.chars + start, i - start);
      start = i + 1;
    }
  }
}

}  // namespace

qlong tObjZQMain::methodStringToList(tThreadData* td, qshort paramCount) {
  if (paramCount < 5) return returnError(td, kErrParams, "Parameter count must be 5");
  qlong perRow = 0;
  if (getParamInt(td, 2, perRow) != 0)
    return returnError(td, kErrParams, "Parameter 2 must be an integer");
  if (perRow < 1 || perRow > 255) return returnError(td, kErrParams, "Parameter 2 out of range");
  EXTqlist list;
  if (getParamList(td, 3, list, qfalse) != 0)
    return returnError(td, kErrParams, "Parameter 3 must be a list");
  EXTfldval names, delimiter, source;
  qlong status = getParamVar(td, 5, names, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 5 must be of type character");
  if (charsOf(names).length == 0)
    return returnError(td, kErrParams, "Parameter 5 must specify column names");
  status = getParamVar(td, 4, delimiter, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 4 must be of type character");
  status = getParamVar(td, 1, source, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 1 must be of type character");

  const Chars text = charsOf(source);
  if (text.length == 0) return kStatusOk;
  const qchar delim = delimiterOf(delimiter);
  // Rows added before a failure stay in the list (and the list is then reported changed).
  const tRowsAddedMark mark(td, list, 3);
  {
    tColumnMap map(list, 0);
    mapNames(map, charsOf(names));
    qlong field = 0;
    qlong start = 0;
    // A field runs to the next delimiter or to the end; a delimiter that ends the text adds
    // no empty field.
    for (qlong i = 0; i < text.length && status == 0; ++i) {
      if (text.chars[i] != delim) continue;
      status = map.setChar(static_cast<qshort>(field++ % perRow), text.chars + start, i - start);
      start = i + 1;
    }
    if (status == 0 && start < text.length)
      status =
          map.setChar(static_cast<qshort>(field % perRow), text.chars + start, text.length - start);
  }
  if (status == 0) ECOsetParameterChanged(td->eci, 3);
  return status;
}

qlong tObjZQMain::methodListToString(tThreadData* td, qshort paramCount) {
  if (paramCount < 5) return returnError(td, kErrParams, "Parameter count must be 5");
  EXTfldval result;
  qlong status = getParamVar(td, 1, result, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 1 must be of type character");
  result.setHandle(fftCharacter, nullptr);
  ECOsetParameterChanged(td->eci, 1);

  EXTqlist list;
  if (getParamList(td, 3, list, qfalse) != 0)
    return returnError(td, kErrParams, "Parameter 3 must be a list");
  if (list.colCnt() < 1 || list.rowCnt() < 1) return kStatusOk;
  tOwnedHandle joined;
  {
    tColumnMap map(list, 0);
    EXTfldval names, separator;
    status = getParamVar(td, 5, names, fftCharacter, fftNone);
    if (status != 0) return returnError(td, status, "Parameter 5 must be of type character");
    if (charsOf(names).length == 0)
      return returnError(td, kErrParams, "Parameter 5 must not be empty");
    mapNames(map, charsOf(names));
    qlong count = 0;
    if (getParamInt(td, 2, count) != 0)
      return returnError(td, kErrParams, "Parameter 2 must be an integer");
    if (count > 255) count = 255;
    if (count < 1 || count != map.getMappedCount())
      return returnError(td, kErrFailed, "Column count mismatch");
    status = getParamVar(td, 4, separator, fftCharacter, fftNone);
    if (status != 0) return returnError(td, status, "Parameter 4 must be of type character");
    const qbool selectedOnly = getParamBoolDontCare(td, 6, qfalse);
    status = map.buildString(joined.ref(), delimiterOf(separator), selectedOnly ? 1 : 0);
  }
  if (status == 0 && HANgetUsed(joined.get()) > 0) result.setHandle(fftCharacter, joined.release());
  return status;
}
