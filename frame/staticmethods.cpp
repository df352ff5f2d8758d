// Static methods of the library: called on the library itself, without an instance. They
// never call "$error"; a failure shows only in the return value.
#include <boost/make_shared.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdio>
#include <memory>
#include <vector>

#include "columnmap.h"
#include "omnistools.h"
#include "platformhelper.h"
#include "zqbase.h"

namespace {

const qlong kParamRowMaxLength = 10000000;

// True when value holds list itself, so that assigning to value would free the list.
bool holdsList(const EXTfldval& value, const EXTqlist& list) {
  const ffttype t = value.getType();
  if (t != fftList && t != fftRow) return false;
  EXTqlist held;
  return value.getList(&held, qfalse) && held.data() == list.data();
}

// Assignments into the caller's variables from the current line of a list parameter. One
// whose target is the variable holding that list itself waits until the list is done with.
class LineLoader {
 public:
  explicit LineLoader(EXTqlist& list) : mList(list), mLine(list.getCurRow()) {}
  // Copies the cell of column col in the current line (if there is one) into target.
  void load(qshort col, EXTfldval& target) {
    EXTfldval value;
    if (!mList.getColVal(mLine, col, value)) return;
    if (holdsList(target, mList)) {
      mTarget.setRef(target.data());
      mValue = value;
      mDeferred = true;
      return;
    }
    target = value;
  }
  // Makes the assignment that waited; the list must not be used afterwards.
  void finish() {
    if (mDeferred) mTarget = mValue;
    mDeferred = false;
  }

 private:
  EXTqlist& mList;
  qlong mLine;
  bool mDeferred = false;
  EXTfldval mTarget, mValue;
};

qlong makeParamRow(tThreadData* td) {
  const qshort count = tObjZQBase::paramCount(td);
  EXTfldval result;
  result.setEmpty(fftRow);
  EXTqlist row;
  result.getList(&row, qtrue);
  row.clear();

  // Leading rows and lists, then pairs of name and value.
  std::vector<std::unique_ptr<EXTqlist>> sources;
  qlong columns = 0;
  for (qshort i = 1; i <= count; ++i) {
    EXTfldval v;
    if (tObjZQBase::getParamVar(td, i, v, fftRow, fftList) != 0) break;
    // Owned before the vector may grow: a failed growth frees it.
    std::unique_ptr<EXTqlist> source(new EXTqlist(qfalse));
    v.getList(source.get(), qfalse);
    sources.push_back(std::move(source));
    columns += sources.back()->colCnt();
  }
  const qshort lists = static_cast<qshort>(sources.size());
  qlong capacity = (count - lists) / 2 + columns;
  if (capacity > 32767) capacity = 32767;
  boost::shared_ptr<tColumnMap> map =
      boost::make_shared<tColumnMap>(row, static_cast<qshort>(capacity));

  // Columns: a name met before (ignoring case) reuses its column.
  std::vector<qshort> listColumns, pairColumns;
  for (const auto& source : sources) {
    for (qshort c = 1; c <= source->colCnt(); ++c) {
      str255 name;
      source->getColName(c, name);
      qshort subtype = 0;
      const ffttype type = source->getColType(c, &subtype);
      const qshort col = map->addCol(name, type, subtype, kParamRowMaxLength, 0);
      if (col == 0) return kErrFailed;
      listColumns.push_back(col);
    }
  }
  for (qshort i = lists + 1; i <= count; i += 2) {
    str255 name;
    EXTfldval value;
    if (tObjZQBase::getParamText(td, i, name) != 0) return kErrParams;
    if (tObjZQBase::getParamVar(td, i + 1, value, fftNone, fftNone) != 0) return kErrParams;
    qshort subtype = 0;
    const ffttype type = value.getType(&subtype);
    const qshort col = map->addCol(name, type, subtype, kParamRowMaxLength, 0);
    if (col == 0) return kErrFailed;
    pairColumns.push_back(col);
  }

  const qlong line = row.insertRow(0);
  if (line < 1) return kErrFailed;
  row.setCurRow(line);
  if (row.getCurRow() != line) return kErrFailed;

  // Values: line 1 of each leading row or list, then the pairs; later values win.
  size_t k = 0;
  for (const auto& source : sources) {
    for (qshort c = 1; c <= source->colCnt(); ++c, ++k) {
      EXTfldval cell;
      if (source->getColValRef(1, c, cell, qfalse)) row.putColVal(line, listColumns[k], cell);
    }
  }
  k = 0;
  for (qshort i = lists + 1; i <= count; i += 2, ++k) {
    EXTfldval value;
    if (tObjZQBase::getParamVar(td, i + 1, value, fftNone, fftNone) != 0) return kErrParams;
    row.putColVal(line, pairColumns[k], value);
  }
  ECOaddParam(td->eci, &result);
  return kStatusOk;
}

qlong loadParamVars(tThreadData* td) {
  const qshort count = tObjZQBase::paramCount(td);
  EXTqlist list;
  qlong status = tObjZQBase::getParamList(td, 1, list, qtrue);
  if (status != 0) return status;
  tColumnMap map(list, static_cast<qshort>(count / 2));
  LineLoader loader(list);
  for (qshort i = 2;; i += 2) {
    str255 columnName;
    if (tObjZQBase::getParamText(td, i, columnName) != 0) break;
    qshort col = 0;
    if (!map.addMap(columnName.cString(), columnName.length(), &col)) continue;
    EXTfldval target;
    status = tObjZQBase::getParamVarByName(td, i + 1, target, fftNone, fftNone);
    if (status != 0) break;
    loader.load(col, target);
  }
  loader.finish();
  return status;
}

qlong loadCurrentRecord(tThreadData* td) {
  EXTqlist list;
  const qlong status = tObjZQBase::getParamList(td, 1, list, qtrue);
  if (status != 0) return status;
  LineLoader loader(list);
  for (qshort c = 1; c <= list.colCnt(); ++c) {
    str255 name;
    list.getColName(c, name);
    EXTfldval target;
    if (name.length() == 0 || !ECOfindVariable(td->eci, name.cString(), name.length(), target))
      continue;
    loader.load(c, target);
  }
  loader.finish();
  return kStatusOk;
}

// Appends one entry to the trace file: byte-order mark, the text in UTF-16 little-endian and
// a carriage return.
qlong writeTrace(tThreadData* td) {
  str255 text;
  if (tObjZQBase::getParamText(td, 1, text) != 0) return kErrParams;
  std::FILE* file = std::fopen("zq_trace.txt", "ab");
  if (!file) return kStatusOk;
  std::vector<uint16_t> units(2 * static_cast<size_t>(text.length()) + 2);
  units[0] = 0xFEFF;
  size_t n = 1 + static_cast<size_t>(CHARconvToUtf16(text.cString(), text.length(), &units[1]));
  units[n++] = 13;
  std::vector<unsigned char> bytes;
  bytes.reserve(2 * n);
  for (size_t i = 0; i < n; ++i) {
    bytes.push_back(static_cast<unsigned char>(units[i] & 0xFF));
    bytes.push_back(static_cast<unsigned char>(units[i] >> 8));
  }
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
  return kStatusOk;
}

qlong launchProcess(tThreadData* td) {
  EXTfldval pathValue;
  if (tObjZQBase::getParamVar(td, 1, pathValue, fftNone, fftNone) != 0) return kErrParams;
  const std::string path = OmnisTools::getStringFromEXTFldVal(pathValue);
  std::vector<std::string> arguments;
  EXTqlist list;
  if (tObjZQBase::getParamList(td, 2, list, qfalse) == 0) {
    for (qlong r = 1; r <= list.rowCnt(); ++r) {
      EXTfldval cell;
      if (list.getColValRef(r, 1, cell, qfalse))
        arguments.push_back(OmnisTools::getStringFromEXTFldVal(cell));
    }
  }
  PlatformHelper helper;
  tObjZQBase::returnLong(td, helper.launchProcess(path, arguments));
  return kStatusReturnSet;
}

}  // namespace

qlong tObjZQBase::staticMethodMakeParamRow(tThreadData* td) { return makeParamRow(td); }

qlong tObjZQBase::staticMethodLoadParamVars(tThreadData* td) { return loadParamVars(td); }

qlong tObjZQBase::staticMethodTrace(tThreadData* td) { return writeTrace(td); }

qlong tObjZQBase::staticMethodIs64Bit(tThreadData* td) {
  EXTfldval ret;
  ret.setBool(PlatformHelper().is64bitHost() ? qboolTrue : qboolFalse);
  ECOaddParam(td->eci, &ret);
  return kStatusReturnSet;
}

qlong tObjZQBase::staticMethodLoadCRB(tThreadData* td) { return loadCurrentRecord(td); }

qlong tObjZQBase::staticMethodGetProcessID(tThreadData* td) {
  returnLong(td, PlatformHelper().getProcessId());
  return kStatusReturnSet;
}

qlong tObjZQBase::staticMethodLaunchProcess(tThreadData* td) { return launchProcess(td); }
