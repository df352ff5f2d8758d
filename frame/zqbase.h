// The base of the component's objects: the per-call context, parameter access, error
// delivery and the growth of character buffers held in host handles.
#pragma once

#include <new>
#include <string>

#include "extcomp.h"

// Status of a method function. 0: success (the dispatcher sets the return value 1);
// 2: success, the method set its own return value; negative: an error the dispatcher
// reports through "$error"; any other positive value: a failure without a report.
const qlong kStatusOk = 0;
const qlong kStatusReturnSet = 2;
const qlong kErrFailed = -2;
const qlong kErrMethod = -101;
const qlong kErrParams = -102;
const qlong kErrMemory = -103;
const qlong kErrUnsupported = -104;
const qlong kErrCalc = -105;
const qlong kErrRowMismatch = -106;
const qlong kErrHex = -107;
const qlong kErrDes = -108;
const qlong kErrNotImplemented = -999;
const qlong kStatusNoMemory = 22;  // a buffer could not grow; no report

// The message text delivered with a status; null for 0, -1 and 2, which report nothing.
const char* statusMessage(qlong status);

// Context of one message. Built fresh for every message that runs component code.
struct tThreadData {
  explicit tThreadData(EXTCompInfo* e) : eci(e) {}
  EXTCompInfo* eci;
  const char* methodName = nullptr;  // "$name" of the running method
  const char* errorText = nullptr;   // detail text of an error
  strxxx* errorString = nullptr;     // detail text as a host string; wins over errorText
  std::string errorBuffer;           // storage for a detail text composed at run time
};

enum eObjZQType : qlong { kObjZQMain = 1, kObjZQObjScope = 2 };

class tObjZQBase {
 public:
  tObjZQBase(objinst inst, eObjZQType type) : objInst(inst), objType(type) {}
  virtual ~tObjZQBase() {}
  virtual tObjZQBase* dup(tThreadData* td, objinst inst);
  virtual void copy(tThreadData* td, tObjZQBase* source);
  virtual qlong methodCall(tThreadData* td) = 0;
  virtual qlong property(qlong message, EXTCompInfo* eci, qbyte flag) = 0;

  objinst objInst;
  eObjZQType objType;
  qbyte hostFlag = 0;

  // Static methods of the library: routes by method id 2000 to 2006.
  static qlong staticMethodCall(tThreadData* td);
  static qlong staticMethodMakeParamRow(tThreadData* td);
  static qlong staticMethodLoadParamVars(tThreadData* td);
  static qlong staticMethodTrace(tThreadData* td);
  static qlong staticMethodIs64Bit(tThreadData* td);
  static qlong staticMethodLoadCRB(tThreadData* td);
  static qlong staticMethodGetProcessID(tThreadData* td);
  static qlong staticMethodLaunchProcess(tThreadData* td);

  // Parameter access; parameters count from 1. Each answers 0 or -102 unless said.
  // Missing: defaultValue; otherwise true when the value read as an integer is not 0.
  static qbool getParamBoolDontCare(tThreadData* td, qshort n, qbool defaultValue);
  // Boolean, integer or second integer kind whose value is 0 or 1.
  static qlong getParamBool(tThreadData* td, qshort n, qbool& out);
  // Character (text-to-integer rule), boolean, number, integer, second integer kind.
  static qlong getParamInt(tThreadData* td, qshort n, qlong& out);
  // Character only; at most 255 characters.
  static qlong getParamText(tThreadData* td, qshort n, str255& out);
  // A list; a row only when allowRow. out refers to the parameter's list.
  static qlong getParamList(tThreadData* td, qshort n, EXTqlist& out, qbool allowRow);
  // out refers to the parameter's own value. wanted/alternative are type codes (fftNone: any).
  static qlong getParamVar(tThreadData* td, qshort n, EXTfldval& out, ffttype wanted,
                           ffttype alternative);
  // Parameter n as the target of a result that the method writes whole: like getParamVar, but
  // a number where character is wanted is accepted as it is, not converted, so the parameter
  // keeps its value and type until the finished result replaces it.
  static qlong getParamTarget(tThreadData* td, qshort n, EXTfldval& out, ffttype wanted,
                              ffttype alternative);
  // Parameter n names a variable of the caller ("name" or "list.column").
  static qlong getParamVarByName(tThreadData* td, qshort n, EXTfldval& out, ffttype wanted,
                                 ffttype alternative);
  static qlong isParamList(const EXTfldval& value, qbool allowRow);
  static qlong isParamText(const EXTfldval& value);
  // First column whose name has exactly len characters and equals name ignoring case; 0: none.
  static qshort findListColumn(const EXTqlist& list, const qchar* name, qlong len);

  // Errors. returnError stores the detail text and returns status, for the dispatcher to
  // report; showError stores it and reports at once.
  static qlong returnError(tThreadData* td, qlong status, const char* text);
  static qlong returnError(tThreadData* td, qlong status, const std::string& text);
  qlong showError(tThreadData* td, qlong status, const char* text);
  qlong showError(tThreadData* td, qlong status, strxxx* text);
  // Calls "$error" of the owning instance with code, message, detail text and method name.
  // Never throws: a report that cannot be built for want of memory is tried once more (the
  // first attempt's memory is free again by then) and otherwise dropped.
  void callErrorMethod(tThreadData* td, qlong status) noexcept;

  // Sets the method's return value to an integer (nothing without a call record). Never
  // throws: the value handed over is prepared once per thread, so no memory is needed here.
  static void returnLong(tThreadData* td, qlong value) noexcept;
  // Sets the method's return value to a value the method built (a result list, say): one that
  // owns its storage is handed over without a copy and left empty, which cannot fail; one that
  // refers to other storage is copied.
  static void returnValue(tThreadData* td, EXTfldval& value);

  // The number of parameters the host passed, as the methods count them (16 bits). A count
  // beyond 32767 is held at 32767 rather than cut to its low 16 bits, so that a call with
  // 65538 parameters does not pass for one with 2 and every parameter a method reads exists.
  static qshort paramCount(tThreadData* td);

  // Runs one method function, fn(), and answers its status. This is where the component stops
  // C++ exceptions of method code: std::bad_alloc becomes -103 and any other exception -2,
  // and a detail text stored before the throw is dropped (it may live in the unwound frame).
  // The dispatchers of the main object, the scope object and the static methods run every
  // method through it, so a method body needs no try of its own.
  template <typename Fn>
  static qlong runMethod(tThreadData* td, Fn&& fn) noexcept {
    try {
      return fn();
    } catch (const std::bad_alloc&) {
      return abandoned(td, kErrMemory);
    } catch (...) {
      return abandoned(td, kErrFailed);
    }
  }

  // Appends count characters to a handle holding UTF-32 characters, creating it when null and
  // growing it in steps of 1024 characters. Returns 0, or 22 with the handle unchanged.
  static qlong handleConcatChars(qHandleInfo*& handle, const qchar* chars, qlong count);

 private:
  static qlong abandoned(tThreadData* td, qlong status) noexcept;
  void reportError(tThreadData* td, qlong status, const char* message);
};

// Reports list parameter n changed when it leaves scope holding another number of rows than
// when it was made, so rows a method added before failing are reported along with its success.
class tRowsAddedMark {
 public:
  tRowsAddedMark(tThreadData* td, EXTqlist& list, qshort n)
      : mTd(td), mList(list), mParam(n), mBefore(list.rowCnt()) {}
  ~tRowsAddedMark() {
    if (mList.rowCnt() != mBefore) ECOsetParameterChanged(mTd->eci, mParam);
  }
  tRowsAddedMark(const tRowsAddedMark&) = delete;
  tRowsAddedMark& operator=(const tRowsAddedMark&) = delete;

 private:
  tThreadData* mTd;
  EXTqlist& mList;
  qshort mParam;
  qlong mBefore;
};
