// "$trim", "$appendstring" and "$orstring": small in-place edits of character values.
#include "trimappend.h"

#include <cstring>
#include <vector>

#include "ownedhandle.h"
#include "textparams.h"
#include "zqmain.h"

using namespace zqtext;

namespace zqtext {

qlong trimChars(qchar* text, qlong len, const CharSet& set, bool leading, bool trailing) {
  if (set.empty()) return len;
  if (leading) {
    qlong skip = 0;
    while (skip < len && set.contains(text[skip])) ++skip;
    if (skip > 0) {
      len -= skip;
      std::memmove(text, text + skip, static_cast<size_t>(len) * sizeof(qchar));
    }
  }
  if (trailing)
    while (len > 0 && set.contains(text[len - 1])) --len;
  return len;
}

void orMerge(const qchar* source, qchar* target, qlong len) {
  for (qlong i = 0; i < len; ++i) {
    const qchar s = source[i];
    if (s == U' ' || target[i] == s) continue;
    target[i] = target[i] == U' ' ? s : U'*';
  }
}

}  // namespace zqtext

namespace {

// Makes room in h (created when null) for count characters in all, growing in steps of 1024
// characters. False, with h as it was, when memory cannot be had.
bool reserveChars(qHandleInfo*& h, qint64 count) {
  if (count * 4 <= HANgetAllocated(h)) return true;
  const qint64 bytes = 4096 * ((count + 1023) / 1024);
  if (bytes > INT32_MAX) return false;
  if (h) return HANglobalReAlloc(h, static_cast<qlong>(bytes));
  h = HANglobalAlloc(static_cast<qlong>(bytes), qfalse);
  if (h) HANsetUsed(h, 0);
  return h != nullptr;
}

}  // namespace

qlong tObjZQMain::methodTrim(tThreadData* td, qshort paramCount) {
  if (paramCount < 2) return returnError(td, kErrParams, "Parameter count must be at least 2");
  if (!isTextParam(td, 1)) return notCharacter(td, 1);
  EXTfldval setValue;
  if (getParamVar(td, 2, setValue, fftCharacter, fftNone) != 0) return notCharacter(td, 2);
  qbool leading = qtrue, trailing = qtrue;
  if (paramCount >= 3 && getParamBool(td, 3, leading) != 0)
    return returnError(td, kErrParams, "Parameter 3 must be of type boolean");
  if (paramCount >= 4 && getParamBool(td, 4, trailing) != 0)
    return returnError(td, kErrParams, "Parameter 4 must be of type boolean");

  qlong setLen = 0;
  const qchar* setChars = charsOf(setValue, setLen);
  const CharSet set(setChars, setLen);  // built before the text changes: they may be one value
  EXTfldval text;
  if (getParamVar(td, 1, text, fftCharacter, fftNone) != 0) return notCharacter(td, 1);
  qlong len = 0;
  qchar* chars = charsOf(text, len);
  const qlong newLen = trimChars(chars, len, set, leading, trailing);
  if (newLen != len) {
    setCharCount(text, newLen);
    ECOsetParameterChanged(td->eci, 1);
  }
  return kStatusOk;
}

qlong tObjZQMain::methodAppendString(tThreadData* td, qshort paramCount) {
  if (paramCount < 2 || paramCount > 3)
    return returnError(td, kErrParams, "Parameter count must be at least 2");
  // Parameter 1 is converted in a copy: the caller's value keeps its type.
  EXTfldval text;
  if (getParamVar(td, 1, text, fftNone, fftNone) != 0)
    return returnError(td, kErrParams, "Parameter 1 is required");
  EXTfldval converted;
  if (text.getType() != fftCharacter) {
    converted = text;
    if (!converted.conv(fftCharacter))
      return returnError(td, kErrParams, "Unable to convert Parameter 1 to character data.");
  }
  const EXTfldval& textValue = text.getType() == fftCharacter ? text : converted;
  qlong textLen = 0;
  const qchar* textChars = charsOf(textValue, textLen);
  if (textLen == 0) return kStatusOk;

  if (!isTextParam(td, 2)) return notCharacter(td, 2);
  EXTfldval target;
  getParamVar(td, 2, target, fftNone, fftNone);
  const bool targetEmpty = target.getCharLen() == 0;
  EXTfldval separator;
  qlong sepLen = 0;
  const qchar* sepChars = nullptr;
  if (paramCount == 3 && !targetEmpty) {
    if (getParamVar(td, 3, separator, fftCharacter, fftNone) != 0) return notCharacter(td, 3);
    sepChars = charsOf(separator, sepLen);
  }

  if (target.getType() != fftCharacter) {
    // A number target: its text, the separator and the text go into a new character value,
    // which replaces the number only when it is complete.
    const qlong numberLen = target.getCharLen();
    tOwnedHandle joined;
    if (!joined.allocate((static_cast<uint64_t>(numberLen) + sepLen + textLen) * sizeof(qchar)))
      return kErrMemory;
    qlong written = 0;
    target.getChar(numberLen, joined.chars(), written);
    // Without a separator sepChars is null, which memcpy must not be given even for 0 bytes.
    if (sepLen > 0)
      std::memcpy(joined.chars() + written, sepChars, static_cast<size_t>(sepLen) * sizeof(qchar));
    std::memcpy(joined.chars() + written + sepLen, textChars,
                static_cast<size_t>(textLen) * sizeof(qchar));
    HANsetUsed(joined.get(), (written + sepLen + textLen) * 4);
    target.setHandle(fftCharacter, joined.release());
    ECOsetParameterChanged(td->eci, 2);
    return kStatusOk;
  }

  qHandleInfo* h = target.getHandle();
  qlong targetLen = 0;
  charsOf(target, targetLen);
  // The text or the separator may be the target itself: keep a copy before it moves.
  std::vector<qchar> textCopy, sepCopy;
  if (h && textValue.getHandle() == h) {
    textCopy.assign(textChars, textChars + textLen);
    textChars = textCopy.data();
  }
  if (h && separator.getHandle() == h) {
    sepCopy.assign(sepChars, sepChars + sepLen);
    sepChars = sepCopy.data();
  }
  const bool created = h == nullptr;
  if (!reserveChars(h, static_cast<qint64>(targetLen) + sepLen + textLen)) return kErrMemory;
  qchar* out = reinterpret_cast<qchar*>(h->mData) + targetLen;
  if (sepLen > 0) std::memcpy(out, sepChars, static_cast<size_t>(sepLen) * sizeof(qchar));
  std::memcpy(out + sepLen, textChars, static_cast<size_t>(textLen) * sizeof(qchar));
  HANsetUsed(h, (targetLen + sepLen + textLen) * 4);
  if (created) target.setHandle(fftCharacter, h);
  ECOsetParameterChanged(td->eci, 2);
  return kStatusOk;
}

qlong tObjZQMain::methodOrString(tThreadData* td, qshort paramCount) {
  if (paramCount != 2) return returnError(td, kErrParams, "Parameter count must be 2");
  EXTfldval source;
  if (getParamVar(td, 1, source, fftCharacter, fftNone) != 0) return notCharacter(td, 1);
  if (!isTextParam(td, 2)) return notCharacter(td, 2);
  qlong len = 0;
  const qchar* src = charsOf(source, len);
  if (len == 0) return kStatusOk;

  EXTfldval target;
  getParamVar(td, 2, target, fftNone, fftNone);  // checked above, not converted
  if (target.getType() == fftCharacter) {
    qlong targetLen = 0;
    qchar* tgt = charsOf(target, targetLen);
    if (targetLen == len) {
      orMerge(src, tgt, len);  // in place: nothing can fail any more
      ECOsetParameterChanged(td->eci, 2);
      return kStatusOk;
    }
  }
  // A new character value: the source merged into a number's text of the same length, or a
  // copy of the source. It replaces the target only when it is complete.
  tOwnedHandle merged;
  if (!merged.allocate(static_cast<uint64_t>(len) * sizeof(qchar))) return kErrMemory;
  if (target.getType() != fftCharacter && target.getCharLen() == len) {
    qlong written = 0;
    target.getChar(len, merged.chars(), written);
    orMerge(src, merged.chars(), len);
  } else {
    std::memcpy(merged.chars(), src, static_cast<size_t>(len) * sizeof(qchar));
  }
  target.setHandle(fftCharacter, merged.release());
  ECOsetParameterChanged(td->eci, 2);
  return kStatusOk;
}
