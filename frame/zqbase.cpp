// Parameter access, error delivery and character buffer growth shared by all methods.
#include "zqbase.h"

#include <cstring>

#include "omnistools.h"

const char* statusMessage(qlong status) {
  switch (status) {
    case 0:
    case -1:
    case 2:
      return nullptr;
    case kErrMethod:
      return "Invalid method called. Internal method index error.";
    case kErrParams:
      return "Invalid parameters";
    case kErrMemory:
      return "Out of memory.";
    case kErrUnsupported:
      return "The feature is not supported";
    case kErrCalc:
      return "Calculation is invalid";
    case kErrRowMismatch:
      return "Old row does not match new row";
    case kErrHex:
      return "String to be decrypted does not contain valid hex";
    case kErrDes:
      return "String to be decrypted does not contain valid DES encryption";
    case kErrNotImplemented:
      return "Feature not implemented.";
    case kErrFailed:
      return "Method failed.";
    default:
      return "Unknown error.";
  }
}

tObjZQBase* tObjZQBase::dup(tThreadData*, objinst) { return nullptr; }

void tObjZQBase::copy(tThreadData*, tObjZQBase*) {}

// ---------------------------------------------------------------------------------------------
// Parameters

namespace {

bool isIntegerKind(ffttype t) { return t == fftInteger || t == fftInt64; }

}  // namespace

qbool tObjZQBase::getParamBoolDontCare(tThreadData* td, qshort n, qbool defaultValue) {
  EXTParamInfo* param = ECOfindParamNum(td->eci, n);
  if (!param) return defaultValue;
  EXTfldval value(param->mData);
  return value.getLong() != 0;
}

qlong tObjZQBase::getParamBool(tThreadData* td, qshort n, qbool& out) {
  EXTParamInfo* param = ECOfindParamNum(td->eci, n);
  if (!param) return kErrParams;
  EXTfldval value(param->mData);
  const ffttype t = value.getType();
  if (t != fftBoolean && !isIntegerKind(t)) return kErrParams;
  const qlong v = value.getLong();
  if (v != 0 && v != 1) return kErrParams;
  out = v == 1;
  return 0;
}

qlong tObjZQBase::getParamInt(tThreadData* td, qshort n, qlong& out) {
  EXTParamInfo* param = ECOfindParamNum(td->eci, n);
  if (!param) return kErrParams;
  EXTfldval value(param->mData);
  const ffttype t = value.getType();
  if (t == fftCharacter) {
    EXTfldval number(value);
    if (!number.conv(fftInteger)) return kErrParams;
    out = number.getLong();
    return 0;
  }
  if (t == fftBoolean || t == fftNumber || isIntegerKind(t)) {
    out = value.getLong();
    return 0;
  }
  return kErrParams;
}

qlong tObjZQBase::getParamText(tThreadData* td, qshort n, str255& out) {
  EXTParamInfo* param = ECOfindParamNum(td->eci, n);
  if (!param) return kErrParams;
  EXTfldval value(param->mData);
  if (isParamText(value) != 0) return kErrParams;
  value.getChar(out);
  return 0;
}

qlong tObjZQBase::getParamList(tThreadData* td, qshort n, EXTqlist& out, qbool allowRow) {
  EXTParamInfo* param = ECOfindParamNum(td->eci, n);
  if (!param) return kErrParams;
  EXTfldval value(param->mData);
  if (isParamList(value, allowRow) != 0) return kErrParams;
  return value.getList(&out, qtrue) ? 0 : kErrParams;
}

qlong tObjZQBase::getParamVar(tThreadData* td, qshort n, EXTfldval& out, ffttype wanted,
                              ffttype alternative) {
  EXTParamInfo* param = ECOfindParamNum(td->eci, n);
  if (!param) return kErrParams;
  out.setRef(param->mData);
  if (wanted == fftNone) return 0;
  ffttype t = out.getType();
  if (wanted == fftCharacter && (t == fftNumber || isIntegerKind(t))) {
    if (!out.conv(fftCharacter)) return kErrParams;
    t = fftCharacter;
  }
  if (t == wanted) return 0;
  if (alternative == fftNone) return kErrParams;
  return t == alternative ? 0 : kErrParams;
}

qlong tObjZQBase::getParamTarget(tThreadData* td, qshort n, EXTfldval& out, ffttype wanted,
                                 ffttype alternative) {
  EXTParamInfo* param = ECOfindParamNum(td->eci, n);
  if (!param) return kErrParams;
  out.setRef(param->mData);
  const ffttype t = out.getType();
  if (wanted == fftNone || t == wanted || (alternative != fftNone && t == alternative)) return 0;
  return wanted == fftCharacter && (t == fftNumber || isIntegerKind(t)) ? 0 : kErrParams;
}

qlong tObjZQBase::getParamVarByName(tThreadData* td, qshort n, EXTfldval& out, ffttype wanted,
                                    ffttype alternative) {
  str255 name;
  const qlong status = getParamText(td, n, name);
  if (status != 0) return status;
  const bool anyType = wanted == fftNone && alternative == fftNone;
  const qchar* chars = name.cString();
  const qchar* stop = std::char_traits<qchar>::find(chars, name.length(), U'.');
  if (stop) {
    const qlong varLen = static_cast<qlong>(stop - chars);
    const qchar* column = stop + 1;
    const qlong columnLen = name.length() - varLen - 1;
    EXTfldval variable;
    if (!ECOfindVariable(td->eci, chars, varLen, variable)) return kErrParams;
    if (variable.getType() != fftList) return kErrParams;
    EXTqlist list;
    if (!variable.getList(&list, qtrue)) return kErrParams;
    const qshort col = findListColumn(list, column, columnLen);
    if (col == 0) return kErrParams;
    if (!list.getColValRef(list.getCurRow(), col, out, qtrue)) return kErrParams;
    if (anyType) return 0;
    const ffttype t = out.getType();
    return (t == wanted || t == alternative) ? 0 : kErrParams;
  }
  if (!ECOfindVariable(td->eci, chars, name.length(), out)) return kErrParams;
  if (anyType) return 0;
  const ffttype t = out.getType();
  return (t == wanted || t == alternative) ? 0 : kErrParams;
}

qlong tObjZQBase::isParamList(const EXTfldval& value, qbool allowRow) {
  const ffttype t = value.getType();
  return (t == fftList || (allowRow && t == fftRow)) ? 0 : kErrParams;
}

qlong tObjZQBase::isParamText(const EXTfldval& value) {
  return value.getType() == fftCharacter ? 0 : kErrParams;
}

qshort tObjZQBase::findListColumn(const EXTqlist& list, const qchar* name, qlong len) {
  const qshort count = list.colCnt();
  str255 colName;
  for (qshort c = 1; c <= count; ++c) {
    list.getColName(c, colName);
    if (colName.length() == len && ECOuprCmp(colName.cString(), name, len) == 0) return c;
  }
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Errors

qlong tObjZQBase::returnError(tThreadData* td, qlong status, const char* text) {
  td->errorText = text;
  return status;
}

qlong tObjZQBase::returnError(tThreadData* td, qlong status, const std::string& text) {
  td->errorBuffer = text;
  td->errorText = td->errorBuffer.c_str();
  return status;
}

qlong tObjZQBase::showError(tThreadData* td, qlong status, const char* text) {
  td->errorText = text;
  callErrorMethod(td, status);
  return status;
}

qlong tObjZQBase::showError(tThreadData* td, qlong status, strxxx* text) {
  td->errorString = text;
  callErrorMethod(td, status);
  return status;
}

void tObjZQBase::callErrorMethod(tThreadData* td, qlong status) noexcept {
  const char* message = statusMessage(status);
  if (!message) return;
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      reportError(td, status, message);
      return;
    } catch (...) {
      // Out of memory while building the report: its values are freed again; try once more.
    }
  }
}

void tObjZQBase::reportError(tThreadData* td, qlong status, const char* message) {
  EXTfldval values[4];
  values[0].setLong(status);
  OmnisTools::getEXTFldValFromChar(values[1], message);
  if (td->errorString)
    values[2].setChar(*td->errorString);
  else
    OmnisTools::getEXTFldValFromChar(values[2], td->errorText);
  OmnisTools::getEXTFldValFromChar(values[3], td->methodName);
  str15 method;
  const qchar name[] = U"$error";
  method.set(name, 6);
  ECOdoMethod(objInst, &method, values, 4, 1, nullptr);
}

qlong tObjZQBase::abandoned(tThreadData* td, qlong status) noexcept {
  td->errorText = nullptr;
  td->errorString = nullptr;
  td->errorBuffer.clear();
  return status;
}

void tObjZQBase::returnLong(tThreadData* td, qlong value) noexcept {
  if (!td->eci) return;
  try {
    // Setting an integer into a value that exists, and copying it into the call record, take
    // no memory; only making the value does, once per thread.
    thread_local EXTfldval ret;
    ret.setLong(value);
    ECOaddParam(td->eci, &ret);
  } catch (...) {
    // The value could not be made: the call ends without a return value.
  }
}

void tObjZQBase::returnValue(tThreadData* td, EXTfldval& value) {
  if (td->eci) ECOaddParamOwned(td->eci, &value);
}

qshort tObjZQBase::paramCount(tThreadData* td) {
  const qlong count = td->eci ? ECOgetParamCount(td->eci) : 0;
  return static_cast<qshort>(count > 32767 ? 32767 : count);
}

// ---------------------------------------------------------------------------------------------
// Character buffers

qlong tObjZQBase::handleConcatChars(qHandleInfo*& handle, const qchar* chars, qlong count) {
  if (count <= 0) return 0;
  const qlong used = HANgetUsed(handle) / 4;
  const qlong capacity = HANgetAllocated(handle) / 4;
  const int64_t wanted = static_cast<int64_t>(used) + count;
  if (wanted > capacity) {
    const int64_t bytes = 4096 * ((wanted + 1023) / 1024);
    if (bytes > INT32_MAX) return kStatusNoMemory;
    if (handle) {
      if (!HANglobalReAlloc(handle, static_cast<qlong>(bytes))) return kStatusNoMemory;
      HANsetUsed(handle, used * 4);
    } else {
      qHandleInfo* created = HANglobalAlloc(static_cast<qlong>(bytes), qfalse);
      if (!created) return kStatusNoMemory;
      HANsetUsed(created, 0);
      handle = created;
    }
  }
  std::memcpy(handle->mData + used * 4, chars, static_cast<size_t>(count) * 4);
  HANsetUsed(handle, static_cast<qlong>(wanted) * 4);
  return 0;
}

// ---------------------------------------------------------------------------------------------
// Static methods

qlong tObjZQBase::staticMethodCall(tThreadData* td) {
  const qlong id = ECOgetId(td->eci);
  const qlong status = runMethod(td, [&]() -> qlong {
    switch (id) {
      case 2000:
        return staticMethodMakeParamRow(td);
      case 2001:
        return staticMethodLoadParamVars(td);
      case 2002:
        return staticMethodTrace(td);
      case 2003:
        return staticMethodIs64Bit(td);
      case 2004:
        return staticMethodLoadCRB(td);
      case 2005:
        return staticMethodGetProcessID(td);
      case 2006:
        return staticMethodLaunchProcess(td);
      default:
        return kErrMethod;
    }
  });
  // A failed row for 2000 shows as a missing return value; every other status but 2 is the
  // return value itself.
  if (id != 2000 && status != kStatusReturnSet) returnLong(td, status);
  return status;
}
