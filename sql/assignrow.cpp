// $assignRow: copies the current line of one list or row into the current line of another,
// column by column in order or by matching column names.
#include "columnmap.h"
#include "omnistools.h"
#include "zqmain.h"

namespace {

// Reads a list or row parameter that must have a current line when it is a list.
qlong readRowParam(tThreadData* td, qshort n, EXTqlist& out, const char* typeText,
                   const char* lineText) {
  const qlong status = tObjZQBase::getParamList(td, n, out, qtrue);
  if (status != 0) return tObjZQBase::returnError(td, status, typeText);
  if (!out.isRow() && out.getCurRow() == 0)
    return tObjZQBase::returnError(td, kErrParams, lineText);
  return 0;
}

// The first column of list whose name (at most 80 characters) equals name ignoring case.
qshort columnNamed(const EXTqlist& list, const strxxx& name) {
  if (name.length() == 0) return 0;
  str80 colName;
  for (qshort c = 1; c <= list.colCnt(); ++c) {
    list.getColName(c, colName);
    if (colName.length() == name.length() &&
        ECOuprCmp(colName.cString(), name.cString(), name.length()) == 0)
      return c;
  }
  return 0;
}

}  // namespace

qlong tObjZQMain::methodAssignRow(tThreadData* td, qshort paramCount) {
  if (paramCount < 2) return returnError(td, kErrParams, "Parameter count must be 2 or more");
  EXTqlist dest, source;
  qlong status = readRowParam(td, 1, dest,
                              "Parameter 1 must specify the field's name and must be a list or row",
                              "Parameter 1 must have a current line");
  if (status != 0) return status;
  status = readRowParam(td, 2, source,
                        "Parameter 2 must specify the field's name and must be a list or row",
                        "Parameter 2 must have a current line");
  if (status != 0) return status;
  bool byName = false;
  EXTfldval byNameValue;
  if (getParamVar(td, 3, byNameValue, fftNone, fftNone) == 0)
    byName = OmnisTools::getBoolFromEXTFldVal(byNameValue);

  // The assignments are made in a copy of the destination, which replaces the parameter in
  // one step that either completes or leaves it untouched: a cell that cannot be copied for
  // want of memory leaves no row half assigned.
  EXTfldval destParam, work;
  getParamVar(td, 1, destParam, fftNone, fftNone);
  work = destParam;
  work.getList(&dest, qtrue);

  const qshort destCols = dest.colCnt();
  const qshort sourceCols = source.colCnt();
  const qlong destRow = dest.getCurRow();
  const qlong sourceRow = source.getCurRow();
  bool assigned = false;
  if (!byName) {
    for (qshort c = 1; c <= sourceCols && c <= destCols; ++c) {
      EXTfldval from, to;
      if (!source.getColValRef(sourceRow, c, from, qfalse)) continue;
      if (!dest.getColValRef(destRow, c, to, qtrue)) continue;
      to = from;
      assigned = true;
    }
  } else if (destCols >= 1 && sourceCols >= 1) {
    tColumnMap map(dest, 0);
    str80 name;
    for (qshort c = 1; c <= destCols; ++c) {
      dest.getColName(c, name);
      map.addMap(name.cString(), name.length());
    }
    // An unnamed destination column records no position, so positions no longer follow
    // the columns and the map cannot answer by name: look names up in the list instead.
    const bool aligned = map.getMappedCount() == destCols;
    for (qshort c = 1; c <= sourceCols; ++c) {
      EXTfldval from, to;
      if (!source.getColValRef(sourceRow, c, from, qfalse)) continue;
      source.getColName(c, name);
      const qshort target =
          aligned ? map.getCol(name.cString(), name.length()) : columnNamed(dest, name);
      if (target == 0 || !dest.getColValRef(destRow, target, to, qtrue)) continue;
      to = from;
      assigned = true;
    }
  }
  if (assigned) {
    destParam = work;
    ECOsetParameterChanged(td->eci, 1);
  }
  return kStatusOk;
}
