// $binarysearch: finds a value in a list column sorted ascending and makes the first row that
// holds it the list's current line. The list is the caller's own variable, named by text.
#include "columnmap.h"
#include "omnistools.h"
#include "zqmain.h"

namespace {

// The characters of a value; values without character data count as the empty text.
using Text = OmnisTools::CharSpan;
const auto textOf = OmnisTools::getCharsFromEXTFldVal;

// Compares count characters by code point, as the host's sort orders them.
int compareChars(const qchar* a, const qchar* b, qlong count) {
  for (qlong i = 0; i < count; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

// Orders a cell against the search text. With a compare length n > 0 and both texts at least
// n long, only the first n characters count (a prefix search); otherwise the shorter of two
// texts that agree on their common length sorts first.
int compareText(const Text& cell, const Text& search, qlong n) {
  const qlong m = cell.length < search.length ? cell.length : search.length;
  if (n > 0 && m >= n) return compareChars(cell.chars, search.chars, n);
  const int c = compareChars(cell.chars, search.chars, m);
  if (c != 0) return c;
  return cell.length == search.length ? 0 : cell.length > search.length ? 1 : -1;
}

}  // namespace

qlong tObjZQMain::methodBinarySearch(tThreadData* td, qshort paramCount) {
  if (paramCount < 3) return returnError(td, kErrParams, "Parameter count must be 3 or more");
  EXTfldval search;
  qlong status = getParamVar(td, 3, search, fftNone, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 3 must be specified");
  const bool isText = search.getType() == fftCharacter;
  qlong n = 0;
  Text searchText;
  if (isText) {
    if (getParamInt(td, 4, n) != 0)
      return returnError(td, kErrParams,
                         "Parameter 4 must be specified when search type is character");
    searchText = textOf(search);
  }
  EXTfldval variable;
  status = getParamVarByName(td, 1, variable, fftList, fftNone);
  if (status != 0)
    return returnError(td, status, "Parameter 1 must specify the field's name and must be a list");
  str255 columnName;
  status = getParamText(td, 2, columnName);
  if (status != 0) return returnError(td, status, "Parameter 2 must be of type character");

  EXTqlist list;
  if (!variable.getList(&list, qtrue))
    return returnError(td, kErrParams,
                       "Parameter 1 must specify the field's name and must be a list");
  qshort col = 0;
  {
    tColumnMap map(list, 0);
    if (!map.addMap(columnName.cString(), columnName.length(), &col))
      return returnError(td, kErrParams, "Specified column does not exist in list");
  }
  // Made before the list may be sorted: after the sort nothing needs memory, so a call that
  // sorts the caller's list also completes.
  EXTfldval cell;
  if (paramCount >= 5 && getParamBoolDontCare(td, 5, qfalse)) {
    const qsortField field{col, qfalse, qfalse};
    list.sort(&field, 1);
  }
  const qlong rows = list.rowCnt();
  if (rows == 0) return -1;

  // Moving hi onto an equal row converges on the first row of a run of equal values.
  qlong lo = 1, hi = rows, mid = 1;
  int cmp = 0;
  for (;;) {
    mid = (lo + hi) / 2;
    if (!list.getColValRef(mid, col, cell, qfalse))
      return returnError(td, kErrParams, "Failed to fetch column from list");
    cmp =
        isText ? compareText(textOf(cell), searchText, n) : static_cast<int>(cell.compare(search));
    if (hi <= lo) break;
    if (cmp < 0)
      lo = mid + 1;
    else
      hi = mid;
    if (lo > hi) break;
  }
  if (list.getCurRow() != 0) list.setCurRow(0);
  if (cmp != 0) return -1;
  list.setCurRow(mid);
  return kStatusOk;
}
