// $prepareinsert and $prepareupdate: the column and bind-variable part of an SQL INSERT or
// UPDATE statement for the calling instance's row ($cinst).
//
//   insert, columns a and b:  (a,b) VALUES (@[$cinst.a],@[$cinst.b])
//   update, columns a and b:  a=@[$cinst.a],b=@[$cinst.b]
#include <boost/foreach.hpp>
#include <boost/tokenizer.hpp>
#include <cstring>
#include <set>
#include <string>

#include "omnistools.h"
#include "ownedhandle.h"
#include "zqmain.h"
#include "zqsqlzeronull.h"

namespace {

const str80 s_column_names_calc = OmnisTools::initStr80("$cinst.$cols.$makelist($ref.$name)");

// The fixed pieces of the statement text, built on first use.
struct StatementTexts {
  str15 values = OmnisTools::initStr15(" VALUES (");
  str15 cinst1 = OmnisTools::initStr15("@[$cinst.");
  str15 cinst2 = OmnisTools::initStr15("=@[$cinst.");
};

const StatementTexts& statementTexts() {
  static const StatementTexts texts;
  return texts;
}

// A character text growing in a host handle (in steps of 1024 characters), freed unless
// handed over.
class TextBuffer {
 public:
  // Appends characters; false when memory cannot be had.
  bool add(const qchar* chars, qlong len) {
    return tObjZQBase::handleConcatChars(mHandle.ref(), chars, len) == 0;
  }
  bool add(const strxxx& s) { return add(s.cString(), s.length()); }
  bool add(qchar c) { return add(&c, 1); }
  bool empty() const { return length() == 0; }
  qlong length() const { return HANgetUsed(mHandle.get()) / 4; }
  const qchar* chars() const { return mHandle.chars(); }
  qHandleInfo* release() { return mHandle.release(); }

 private:
  tOwnedHandle mHandle;
};

// The names of $cinst's columns: one row per column, the name in column 1. names holds the
// list value that list refers to.
bool getColumnNames(tThreadData* td, EXTfldval& names, EXTqlist& list, qbool flag) {
  EXTfldval calc;
  if (calc.setCalculation(td->eci, 1, s_column_names_calc.cString(),
                          s_column_names_calc.length()) != 0)
    return false;
  if (!calc.evalCalculation(names, td->eci, nullptr, flag)) return false;
  return names.getList(&list, qtrue);
}

bool isByteKind(ffttype t) { return t == fftPicture || t == fftBinary || t == fftObject; }
bool isListKind(ffttype t) { return t == fftList || t == fftRow; }

bool sameBytes(const EXTfldval& a, const EXTfldval& b) {
  const qHandleInfo* x = a.getHandle();
  const qHandleInfo* y = b.getHandle();
  const qlong len = HANgetUsed(x);
  return len == HANgetUsed(y) &&
         (len == 0 || std::memcmp(x->mData, y->mData, static_cast<size_t>(len)) == 0);
}

bool sameValue(const EXTfldval& a, const EXTfldval& b);

// Two lists hold the same data: the same columns (names exactly, types, subtypes) and the same
// cells, line by line.
bool sameListContent(const EXTfldval& a, const EXTfldval& b) {
  EXTqlist x, y;
  if (!a.getList(&x, qfalse) || !b.getList(&y, qfalse)) return false;
  const qshort cols = x.colCnt();
  const qlong rows = x.rowCnt();
  if (cols != y.colCnt() || rows != y.rowCnt()) return false;
  str255 nameX, nameY;
  for (qshort c = 1; c <= cols; ++c) {
    qshort subX = 0, subY = 0;
    if (x.getColType(c, &subX) != y.getColType(c, &subY) || subX != subY) return false;
    x.getColName(c, nameX);
    y.getColName(c, nameY);
    if (nameX.length() != nameY.length() ||
        std::memcmp(nameX.cString(), nameY.cString(), sizeof(qchar) * nameX.length()) != 0)
      return false;
  }
  for (qlong r = 1; r <= rows; ++r)
    for (qshort c = 1; c <= cols; ++c) {
      EXTfldval cellX, cellY;
      if (!x.getColValRef(r, c, cellX, qfalse) || !y.getColValRef(r, c, cellY, qfalse) ||
          !sameValue(cellX, cellY))
        return false;
    }
  return true;
}

// Equal data: bytes for binary kinds, content for lists and rows, the host's comparison for
// the rest. A binary kind or a list never equals a value of another class.
bool sameValue(const EXTfldval& a, const EXTfldval& b) {
  if (a.isNull() || b.isNull()) return a.isNull() == b.isNull();
  const ffttype ta = a.getType(), tb = b.getType();
  if (isByteKind(ta) || isByteKind(tb)) return isByteKind(ta) && isByteKind(tb) && sameBytes(a, b);
  if (isListKind(ta) || isListKind(tb))
    return isListKind(ta) && isListKind(tb) && sameListContent(a, b);
  return a.compare(b) == 0;
}

// The change test of an update, in its order.
bool isChanged(const EXTfldval& now, const EXTfldval& old) {
  if (now.isNull() && (old.isNull() || old.isEmpty())) return false;
  if (now.isNull() != old.isNull()) return true;
  return !sameValue(now, old);
}

std::string utf8(const qchar* chars, qlong len) {
  std::string out(static_cast<size_t>(len) * 4, '\0');
  out.resize(static_cast<size_t>(
      CHARconvToUtf8(chars, len, reinterpret_cast<qbyte*>(out.empty() ? nullptr : &out[0]))));
  return out;
}

struct Statement {
  Statement(tThreadData* t, bool insert) : td(t), isInsert(insert) {}
  tThreadData* td;
  bool isInsert;
  qlong columnCount = 0;
  EXTfldval oldValue;  // update: the old row's variable
  EXTqlist oldList;
  qlong oldRow = 0;
  std::set<std::string> ignoreSet;
  str255 prefix;
  qbool flag = qfalse;

  qlong run(qshort paramCount);
  qlong appendColumns(TextBuffer& text, qlong& significant);
};

qlong Statement::run(qshort paramCount) {
  if (paramCount < 5) return tObjZQBase::returnError(td, kErrParams, "Parameter count must be 5");
  qlong status;
  if (isInsert) {
    status = tObjZQBase::getParamInt(td, 3, columnCount);
    if (status != 0)
      return tObjZQBase::returnError(td, status, "Parameter 3 must be of type integer");
  } else {
    status = tObjZQBase::getParamVarByName(td, 3, oldValue, fftList, fftRow);
    if (status != 0 || !oldValue.getList(&oldList, qfalse))
      return tObjZQBase::returnError(td, status ? status : kErrParams,
                                     "Parameter 3 must be of type list or row");
    columnCount = oldList.colCnt();
    oldRow = oldList.getCurRow();
  }

  EXTfldval ignored;
  status = tObjZQBase::getParamVar(td, 4, ignored, fftCharacter, fftNone);
  if (status != 0)
    return tObjZQBase::returnError(td, status, "Parameter 4 must be of type character");
  // Column names separated by backquotes; empty pieces are dropped, spaces belong to names.
  const std::string ignoreText = OmnisTools::getStringFromEXTFldVal(ignored);
  typedef boost::tokenizer<boost::char_separator<char>> Tokenizer;
  const boost::char_separator<char> backquote("`");
  const Tokenizer names(ignoreText, backquote);
  BOOST_FOREACH (const std::string& name, names) {
    ignoreSet.insert(name);
  }

  // Made before parameter 1 is written, so that nothing after that write needs memory.
  EXTfldval flagParam;
  EXTfldval result;
  status = tObjZQBase::getParamVar(td, 1, result, fftCharacter, fftNone);
  if (status != 0)
    return tObjZQBase::returnError(td, status, "Parameter 1 must be of type character");
  result.setChar(nullptr, 0);

  status = tObjZQBase::getParamText(td, 5, prefix);
  if (status != 0)
    return tObjZQBase::returnError(td, status, "Parameter 5 must be of type character");
  flag = tObjZQBase::getParamBoolDontCare(td, 6, qfalse);

  TextBuffer text;
  qlong significant = 0;
  status = appendColumns(text, significant);
  if (status != 0) return status;
  result.setHandle(fftCharacter, text.release());

  status = tObjZQBase::getParamVar(td, 2, flagParam, fftBoolean, fftInteger);
  if (status != 0)
    return tObjZQBase::returnError(td, status, "Parameter 2 must be of type boolean or integer");
  // The flag keeps the parameter's type: a boolean variable stays boolean.
  if (flagParam.getType() == fftBoolean)
    flagParam.setBool(significant ? qboolTrue : qboolFalse);
  else
    flagParam.setLong(significant);
  ECOsetParameterChanged(td->eci, 1);
  ECOsetParameterChanged(td->eci, 2);
  return kStatusOk;
}

qlong Statement::appendColumns(TextBuffer& text, qlong& significant) {
  const StatementTexts& fixed = statementTexts();
  TextBuffer values;  // insert: the VALUES part
  EXTfldval namesValue;
  EXTqlist namesList;
  bool namesRead = false, haveNames = false;
  bool first = true;
  const qlong prefixLen = prefix.length();
  str255 name;
  for (qlong n = 1; n <= columnCount; ++n) {
    EXTfldval value;
    const bool inCinst = findCinstColumn(td->eci, n, value);
    if (inCinst) normaliseSqlValue(value, true);
    if (isInsert) {
      // Columns are numbered without gaps: past the last one there are no more.
      if (!inCinst) break;
    } else {
      EXTfldval old;
      if (!oldList.getColValRef(oldRow, static_cast<qshort>(n), old, qfalse))
        return tObjZQBase::returnError(td, kErrRowMismatch, "Old row does not match $cinst");
      // A column of the old row that $cinst lacks has no bind variable to refer to.
      if (!inCinst || !isChanged(value, old)) continue;
    }

    if (isInsert) {
      if (!namesRead) {
        namesRead = true;
        haveNames = getColumnNames(td, namesValue, namesList, flag);
      }
      // Without the list of column names, or with a list that lacks a column $cinst has (the
      // host could not make it whole), there is no statement: a failure, not an empty text
      // that passes for "no columns".
      if (!haveNames)
        return tObjZQBase::returnError(td, kErrFailed,
                                       "The column names of $cinst could not be listed");
      EXTfldval nameValue;
      if (!namesList.getColValRef(n, 1, nameValue, qfalse))
        return tObjZQBase::returnError(td, kErrFailed,
                                       "The column names of $cinst could not be listed");
      nameValue.getChar(name);
    } else {
      oldList.getColName(static_cast<qshort>(n), name);
    }

    if (prefixLen > 0 && (name.length() < prefixLen || std::memcmp(name.cString(), prefix.cString(),
                                                                   sizeof(qchar) * prefixLen) != 0))
      continue;

    bool ok = true;
    if (isInsert) {
      if (first)
        ok = text.add(U'(') && values.add(fixed.values);
      else
        ok = text.add(U',') && values.add(U',');
      ok = ok && text.add(name) && values.add(fixed.cinst1) && values.add(name) && values.add(U']');
    } else {
      if (!first) ok = text.add(U',');
      ok = ok && text.add(name) && text.add(fixed.cinst2) && text.add(name) && text.add(U']');
    }
    if (!ok) return kErrMemory;

    // Without the prefix and the one separator after it, is the name one that counts?
    const qlong strip = prefixLen > 0 ? prefixLen + 1 : 0;
    const std::string rest =
        name.length() > strip ? utf8(name.cString() + strip, name.length() - strip) : std::string();
    if (ignoreSet.find(rest) == ignoreSet.end()) significant = 1;
    first = false;
  }
  // An insert with no column included stays empty, like an update without changes.
  if (isInsert && !first) {
    if (!text.add(U')') || !text.add(values.chars(), values.length()) || !text.add(U')'))
      return kErrMemory;
  }
  return kStatusOk;
}

}  // namespace

qlong tObjZQMain::methodPrepareStatement(tThreadData* td, qshort paramCount, qshort isInsert) {
  Statement statement(td, isInsert != 0);
  return statement.run(paramCount);
}
