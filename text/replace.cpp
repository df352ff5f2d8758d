// "$replace", "$replacesinglechar" and "$removechars": rewriting character values.
#include "replace.h"

#include <algorithm>
#include <cstdint>
#include <initializer_list>

#include "ownedhandle.h"
#include "textparams.h"
#include "zqmain.h"

using namespace zqtext;

namespace zqtext {

qlong removeChars(const qchar* src, qlong len, const CharSet& set, bool keep, qchar* out) {
  qlong n = 0;
  for (qlong i = 0; i < len; ++i) {
    const qchar c = src[i];
    out[n] = c;  // n <= i, so this stays inside out; the count decides whether it stays
    n += set.contains(c) == keep;
  }
  return n;
}

}  // namespace zqtext

namespace {

// Texts from this length up that grow by replacement are sized before they are built.
const qlong kCountFirst = 1 << 20;

// A fresh handle with room for count characters and none used; null when memory is refused.
qHandleInfo* newCharHandle(qlong count) {
  qHandleInfo* h = HANglobalAlloc((count > 0 ? count : 1) * 4, qfalse);
  if (h) HANsetUsed(h, 0);
  return h;
}

// Gives h to the character value as its contents (an empty text when h holds nothing).
void giveHandle(EXTfldval& value, qHandleInfo* h) {
  if (h && HANgetUsed(h) > 0) {
    value.setHandle(fftCharacter, h);
  } else {
    HANglobalFree(h);
    value.setEmpty(fftCharacter);
  }
}

// Appends to a result that may grow large: when the handle is full it first grows by half
// (so that a long result is reallocated a few dozen times, not once per 1024 characters);
// if that much cannot be had, handleConcatChars takes only what it needs, or answers 22.
qlong appendChars(qHandleInfo*& h, const qchar* chars, qlong n) {
  const qint64 needed = static_cast<qint64>(HANgetUsed(h)) + static_cast<qint64>(n) * 4;
  const qint64 allocated = HANgetAllocated(h);
  if (h && needed > allocated) {
    const qint64 grown = (std::max(needed, allocated + allocated / 2) + 4095) / 4096 * 4096;
    if (grown <= INT32_MAX) HANglobalReAlloc(h, static_cast<qlong>(grown));
  }
  return tObjZQBase::handleConcatChars(h, chars, n);
}

// The result parameter's own buffer when it can take the whole result as it is: a variable
// that receives replacements in a loop then reuses its memory instead of taking (and first
// touching) fresh memory on every call. Not when the buffer is also one of the inputs, nor
// when it is more than twice the room needed.
qHandleInfo* reusableHandle(const EXTfldval& result, qint64 room,
                            std::initializer_list<const EXTfldval*> inputs) {
  if (result.getType() != fftCharacter) return nullptr;
  qHandleInfo* h = result.getHandle();
  const qint64 bytes = std::max<qint64>(room, 1) * 4;
  if (!h || HANgetAllocated(h) < bytes || HANgetAllocated(h) / 2 > bytes) return nullptr;
  for (const EXTfldval* input : inputs)
    if (input->getHandle() == h) return nullptr;
  HANsetUsed(h, 0);
  return h;
}

}  // namespace

qlong tObjZQMain::methodReplace(tThreadData* td, qshort paramCount) {
  if (paramCount < 4 || paramCount > 6)
    return returnError(td, kErrParams, "Parameter count must be 4 or more");
  EXTfldval source, search, repl;
  if (getParamVar(td, 1, source, fftCharacter, fftNone) != 0) return notCharacter(td, 1);
  if (getParamVar(td, 2, search, fftCharacter, fftNone) != 0) return notCharacter(td, 2);
  if (getParamVar(td, 3, repl, fftCharacter, fftNone) != 0) return notCharacter(td, 3);
  if (!isTextParam(td, 4)) return notCharacter(td, 4);
  qlong start = 0;
  if (paramCount >= 5 && getParamInt(td, 5, start) != 0)
    return returnError(td, kErrParams, "Parameter 5 must be of type integer");
  EXTfldval limit;
  qlong maximum = 0;
  if (paramCount >= 6) {
    if (getParamVar(td, 6, limit, fftInteger, fftInt64) != 0)
      return returnError(td, kErrParams, "Parameter 6 must be of type integer");
    const qint64 m = limit.getLong64();
    maximum = m < 1 || m > INT32_MAX ? 0 : static_cast<qlong>(m);  // beyond any count: no limit
  }

  qlong len = 0, searchLen = 0, replLen = 0;
  const qchar* src = charsOf(source, len);
  const qchar* pattern = charsOf(search, searchLen);
  const qchar* replacement = charsOf(repl, replLen);
  EXTfldval result;
  getParamVar(td, 4, result, fftNone, fftNone);  // checked above, not converted

  if (len == 0) {
    if (paramCount >= 6) {
      if (limit.getType() == fftInt64)
        limit.setLong64(0);  // the variable keeps its integer kind
      else
        limit.setLong(0);
      ECOsetParameterChanged(td->eci, 6);
    }
    result.setEmpty(fftCharacter);
    ECOsetParameterChanged(td->eci, 4);
    returnLong(td, 0);
    return kStatusReturnSet;
  }

  // The whole source goes into the result in any case (the start part unsearched), so room
  // for all of it is taken at once; a longer result grows the handle as pieces arrive.
  qlong count = 0;
  qint64 room = len;
  bool sized = replLen <= searchLen;  // the result cannot outgrow room
  if (replLen > searchLen && len >= kCountFirst) {
    // A long text that grows: count the matches first (a fast scan) and take the whole room
    // at once rather than moving megabytes as the result grows.
    replaceChars(
        src, len, start, pattern, searchLen, replacement, replLen, maximum,
        [](const qchar*, qlong) { return qlong(0); }, count);
    room += static_cast<qint64>(count) * (replLen - searchLen);
    if (room > INT32_MAX / 4) return kErrMemory;
    sized = true;
  }
  // The result's own buffer is written only when nothing can fail once writing has begun, so
  // a failing call leaves the parameter as it was.
  qHandleInfo* const reused =
      sized ? reusableHandle(result, room, {&source, &search, &repl}) : nullptr;
  qHandleInfo* out = reused ? reused : newCharHandle(static_cast<qlong>(room));
  if (!out) return kErrMemory;
  const qlong status = replaceChars(
      src, len, start, pattern, searchLen, replacement, replLen, maximum,
      [&out](const qchar* chars, qlong n) { return appendChars(out, chars, n); }, count);
  if (status != 0) {
    if (out != reused) HANglobalFree(out);
    return status;
  }
  if (out != reused)
    giveHandle(result, out);
  else if (HANgetUsed(out) == 0)
    result.setEmpty(fftCharacter);
  ECOsetParameterChanged(td->eci, 4);
  returnLong(td, count);
  return kStatusReturnSet;
}

qlong tObjZQMain::methodReplaceSingleChar(tThreadData* td, qshort paramCount) {
  if (paramCount != 3) return returnError(td, kErrParams, "Parameter count must be 3");
  if (!isTextParam(td, 1)) return notCharacter(td, 1);
  qlong position = 0;
  if (getParamInt(td, 2, position) != 0)
    return returnError(td, kErrParams, "Parameter 2 must be of type integer");
  EXTfldval newChar, original;
  getParamVar(td, 3, newChar, fftNone, fftNone);
  if (newChar.getType() != fftCharacter) return notCharacter(td, 3);
  qlong newLen = 0;
  const qchar* newChars = charsOf(newChar, newLen);
  const qchar c = newLen > 0 ? newChars[0] : U' ';
  // The range is checked on the text form before a number in parameter 1 is converted, so a
  // failing call leaves the parameter as it was.
  getParamVar(td, 1, original, fftNone, fftNone);
  if (position < 1 || position > original.getCharLen())
    return returnError(td, kErrParams, "Parameter 2 is out of range");
  EXTfldval text;
  if (getParamVar(td, 1, text, fftCharacter, fftNone) != 0) return notCharacter(td, 1);
  qlong len = 0;
  qchar* chars = charsOf(text, len);
  if (position > len) return returnError(td, kErrParams, "Parameter 2 is out of range");
  chars[position - 1] = c;
  ECOsetParameterChanged(td->eci, 1);
  return kStatusOk;
}

qlong tObjZQMain::methodRemoveChars(tThreadData* td, qshort paramCount) {
  if (paramCount != 4) return returnError(td, kErrParams, "Parameter count must be 4");
  EXTfldval source, setValue;
  if (getParamVar(td, 1, source, fftCharacter, fftNone) != 0) return notCharacter(td, 1);
  if (getParamVar(td, 2, setValue, fftCharacter, fftNone) != 0) return notCharacter(td, 2);
  qbool keep = qfalse;
  if (getParamBool(td, 3, keep) != 0)
    return returnError(td, kErrParams, "Parameter 3 must be either 0 or 1");

  qlong len = 0, setLen = 0;
  const qchar* src = charsOf(source, len);
  const qchar* setChars = charsOf(setValue, setLen);
  tOwnedHandle out;
  if (len > 0) {
    out.reset(newCharHandle(len));
    if (!out.get()) return kErrMemory;
    const CharSet set(setChars, setLen);
    const qlong n = removeChars(src, len, set, keep, out.chars());
    HANsetUsed(out.get(), n * 4);
    // Give back most of the room when most characters went (a failure keeps the room).
    if (n > 0 && n < len / 2) HANglobalReAlloc(out.get(), n * 4);
  }
  // The result replaces parameter 4 whole: a number there is not converted first.
  EXTfldval result;
  if (getParamTarget(td, 4, result, fftCharacter, fftNone) != 0) return notCharacter(td, 4);
  giveHandle(result, out.release());
  ECOsetParameterChanged(td->eci, 4);
  return kStatusOk;
}
