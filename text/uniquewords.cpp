// $getuniquewords: reduces a text to lower-case words separated by single spaces and appends
// each word not met before, and not among the exception words, as a row of a list.
#include "charclass.h"
#include "omnistools.h"
#include "ownedhandle.h"
#include "wordset.h"
#include "zqmain.h"

namespace {

// Writes the normalised form of text into out (room for length characters) and answers its
// length. Apostrophes and full stops between two ASCII letters are dropped; punctuation and
// every character outside printable ASCII become spaces; runs of spaces become one; letters
// are lower-cased; a trailing space is dropped.
qlong normaliseWords(const qchar* text, qlong length, qchar* out) {
  qlong written = 0;
  qchar prev = 0;
  for (qlong i = 0; i < length; ++i) {
    qchar c = text[i];
    const qchar next = i + 1 < length ? text[i + 1] : 0;
    if ((c == U'\'' || c == U'.') && isAlpha(prev) && isAlpha(next)) continue;
    if (isPunct(c) || isCntrl(c)) c = U' ';
    if (prev == U' ' && c == U' ') continue;
    out[written++] = lowC(c);
    prev = c;
  }
  if (written > 0 && prev == U' ') --written;
  return written;
}

// The words of an exception text ";w1;w2;...;" (empty words ignored).
void addExceptionWords(const qchar* text, qlong length, WordSet& met) {
  qlong start = 0;
  for (qlong i = 0; i <= length; ++i) {
    if (i == length || text[i] == U';') {
      if (i > start) met.insert(text + start, static_cast<size_t>(i - start));
      start = i + 1;
    }
  }
}

}  // namespace

qlong tObjZQMain::methodGetUniqueWords(tThreadData* td, qshort paramCount) {
  if (paramCount < 4) return returnError(td, kErrParams, "Parameter count must be 4");
  EXTfldval text, exceptions;
  qlong status = getParamVar(td, 1, text, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 1 must be character");
  status = getParamVar(td, 2, exceptions, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 2 must be character");
  EXTqlist list;
  status = getParamList(td, 3, list, qfalse);
  if (status != 0) return returnError(td, status, "Parameter 3 must be a list");
  str255 columnName;
  status = getParamText(td, 4, columnName);
  if (status != 0) return returnError(td, status, "Parameter 4 must be of type character");
  const qshort col = findListColumn(list, columnName.cString(), columnName.length());
  if (col == 0)
    return returnError(td, kErrParams, "Parameter 4: Column name does not exist in list");

  const OmnisTools::CharSpan exceptionSpan = OmnisTools::getCharsFromEXTFldVal(exceptions);
  const qlong exceptionLength = exceptionSpan.length;
  const qchar* exceptionChars = exceptionSpan.chars;
  if (exceptionLength > 0 &&
      (exceptionChars[0] != U';' || exceptionChars[exceptionLength - 1] != U';'))
    return returnError(td, kErrParams,
                       "Parameter 2: Exception word string must begin with a ';' and each word "
                       "must be separated by a ';'");

  const OmnisTools::CharSpan source = OmnisTools::getCharsFromEXTFldVal(text);
  const qlong length = source.length;
  tOwnedHandle normal(HANglobalAlloc((length + 1) * 4, qfalse));
  if (!normal.get()) return returnError(td, kErrMemory, "Out of memory");
  const qlong normalLength = normaliseWords(source.chars, length, normal.chars());
  HANsetUsed(normal.get(), normalLength * 4);

  // Words met so far: the exception words, then every word added. The views point into the
  // exception text and the normalised buffer, which both outlive the set.
  // Rows added before a failure stay in the list (and the list is then reported changed);
  // parameter 1 is written only on success.
  const tRowsAddedMark mark(td, list, 3);
  status = kStatusOk;
  {
    WordSet met;
    addExceptionWords(exceptionChars, exceptionLength, met);
    qHandleCharPtr cursor(normal.get());
    for (;;) {
      qlong wordLength = 0;
      const qchar* word = hpSTRTOK(cursor, U' ', wordLength);
      if (wordLength == 0) break;
      if (!met.insert(word, static_cast<size_t>(wordLength))) continue;
      const qlong row = list.insertRow(0);
      if (row < 1) {
        status = returnError(td, kErrMemory, "Out of memory");
        break;
      }
      EXTfldval cell;
      if (!list.getColValRef(row, col, cell, qtrue)) {
        status = returnError(td, kErrFailed, "Unknown list error");
        break;
      }
      cell.setChar(word, wordLength);
    }
  }
  if (status != kStatusOk) return status;
  if (normalLength == 0) normal.reset(nullptr);
  text.setHandle(fftCharacter, normal.release());
  ECOsetParameterChanged(td->eci, 1);
  ECOsetParameterChanged(td->eci, 3);
  return kStatusOk;
}
