// "$caps": proper case for names, titles and postal addresses.
#include "caps.h"

#include <algorithm>
#include <vector>

#include "charclass.h"
#include "ownedhandle.h"
#include "textparams.h"
#include "zqmain.h"

using namespace zqtext;

namespace {

// Case mapping with the ASCII letters done inline; everything else goes to the host's mapping.
inline qchar upper(qchar c) {
  if (c < 128) return (c >= U'a' && c <= U'z') ? c - 32 : c;
  return uppC(c);
}
inline qchar lower(qchar c) {
  if (c < 128) return (c >= U'A' && c <= U'Z') ? c + 32 : c;
  return lowC(c);
}
inline bool isBreak(qchar c) { return isSpace(c) || isPunct(c); }

// Drops every space that directly follows another space.
qlong collapseSpaces(qchar* s, qlong len) {
  qlong n = 0;
  for (qlong i = 0; i < len; ++i) {
    if (s[i] == U' ' && n > 0 && s[n - 1] == U' ') continue;
    s[n++] = s[i];
  }
  return n;
}

// First letter of every word upper case, the rest lower case. A word starts after whitespace
// or punctuation, tested on the character as already converted.
void wordCapitals(qchar* s, qlong len) {
  s[0] = upper(s[0]);
  for (qlong i = 1; i < len; ++i) s[i] = isBreak(s[i - 1]) ? upper(s[i]) : lower(s[i]);
}

// A letter after an apostrophe stays lower case when it ends the word ("John's", "Don't");
// in addresses "Ne", "Nw", "Se", "Sw" followed by whitespace become compass points.
void apostrophesAndCompass(qchar* s, qlong len, bool address) {
  for (qlong j = 0; j + 1 < len; ++j) {
    const qlong k = j + 1;
    if (s[j] == U'\'' && (k == len - 1 || isBreak(s[k + 1]))) s[k] = lower(s[k]);
    if (address && (s[j] == U'N' || s[j] == U'S') && (s[k] == U'e' || s[k] == U'w') &&
        k + 1 < len && isSpace(s[k + 1]))
      s[k] = upper(s[k]);
  }
}

// "Mcbrae" -> "McBrae"; "Macbrae" -> "MacBrae" unless an h follows ("Machett") or the name
// is too short to be a Mac name ("Mackay Bell": whitespace within four letters of "Mac").
void scottishNames(qchar* s, qlong len) {
  for (qlong p = 0; p + 5 <= len; ++p)
    if (s[p] == U'M' && s[p + 1] == U'c' && !isSpace(s[p + 2])) s[p + 2] = upper(s[p + 2]);
  for (qlong p = 0; p + 7 <= len; ++p) {
    if (s[p] != U'M' || s[p + 1] != U'a' || s[p + 2] != U'c') continue;
    if (s[p + 3] == U'h' || s[p + 3] == 0) continue;
    if (isSpace(s[p + 3]) || isSpace(s[p + 4]) || isSpace(s[p + 5]) || isSpace(s[p + 6])) continue;
    s[p + 3] = upper(s[p + 3]);
  }
}

// "Van " and "Von " as name particles are lower case: "Jan van Dorp".
void dutchParticles(qchar* s, qlong len) {
  for (const qchar vowel : {U'a', U'o'})
    for (qlong p = 0; p + 4 <= len; ++p)
      if (s[p] == U'V' && s[p + 1] == vowel && s[p + 2] == U'n' && isSpace(s[p + 3])) s[p] = U'v';
}

// Personal names: a leading "De " or "Du " is lower case. Addresses: leading "HC", "PO", "RR",
// "SR" (before a space), "APT", "STN", "BOX" (before a space or "#"), and a final compass point.
void startAndEnd(qchar* s, qlong len, bool address) {
  if (!address) {
    if (len >= 3 && s[2] == U' ' && s[0] == U'D' && (s[1] == U'e' || s[1] == U'u')) s[0] = U'd';
    return;
  }
  if (len >= 3) {
    if (s[2] == U' ') {
      static const qchar kPairs[][2] = {{U'H', U'c'}, {U'P', U'o'}, {U'R', U'r'}, {U'S', U'r'}};
      for (const auto& pair : kPairs)
        if (s[0] == pair[0] && s[1] == pair[1]) s[1] = upper(s[1]);
    } else if (len >= 4 && (s[3] == U' ' || s[3] == U'#')) {
      static const qchar kTriples[][3] = {
          {U'A', U'p', U't'}, {U'S', U't', U'n'}, {U'B', U'o', U'x'}};
      for (const auto& t : kTriples) {
        if (s[0] == t[0] && s[1] == t[1] && s[2] == t[2]) {
          s[1] = upper(s[1]);
          s[2] = upper(s[2]);
        }
      }
    }
  }
  if (len >= 2 && (s[len - 1] == U'e' || s[len - 1] == U'w') &&
      (s[len - 2] == U'N' || s[len - 2] == U'S'))
    s[len - 1] = upper(s[len - 1]);
}

// A trailing Roman numeral (i, v, x only) after whitespace is upper case: "Tom VIII". The
// first character of the text never counts as part of it.
void romanSuffix(qchar* s, qlong len) {
  qlong r = len;
  while (r > 1 && isRomanNumeral(s[r - 1])) --r;
  if (r == len || !isSpace(s[r - 1])) return;
  for (qlong i = r; i < len; ++i) s[i] = upper(s[i]);
}

bool isOrdinalStart(const qchar* s) {
  const qchar a = s[0], b = s[1];
  return ((a == U'n' || a == U'r') && b == U'd') || (a == U's' && b == U't') ||
         (a == U't' && b == U'h');
}

// Letters in a word that starts with digits are upper case ("10AM", "3B"), except an ordinal
// suffix ("21st", "3rd"), after which the word keeps its case. The flags are set at the start
// of the text and at each whitespace from the character that follows it (so for the first word
// from its second character).
void numberWords(qchar* s, qlong len) {
  bool startsWithDigit = false, suffixAllowed = false;
  for (qlong j = 0; j < len; ++j) {
    if (j == 0 || isSpace(s[j])) {
      startsWithDigit = suffixAllowed = j + 1 < len && isDigit(s[j + 1]);
    } else if (!startsWithDigit || isDigit(s[j])) {
      // nothing to do
    } else if (j == len - 1 || !suffixAllowed) {
      s[j] = upper(s[j]);
    } else if (isOrdinalStart(s + j)) {
      startsWithDigit = suffixAllowed = false;
    } else {
      s[j] = upper(s[j]);
      suffixAllowed = false;
    }
  }
}

// Words of the exception list that follow whitespace (or the text's first character) and a
// space after them are put in lower case. A word is compared with its first letter upper case.
void exceptionWords(qchar* s, qlong len, const qchar* list, qlong listLen) {
  qHandleInfo listHandle{reinterpret_cast<qbyte*>(const_cast<qchar*>(list)), listLen * 4,
                         listLen * 4};
  qHandleCharPtr cursor(&listHandle);
  std::vector<qchar> pattern;
  for (;;) {
    while (cursor.mPos < listLen && list[cursor.mPos] == U';') ++cursor.mPos;
    if (cursor.mPos >= listLen) break;
    qlong wordLen = 0;
    const qchar* word = hpSTRTOK(cursor, U';', wordLen);
    pattern.assign(word, word + wordLen);
    pattern[0] = upper(pattern[0]);
    pattern.push_back(U' ');
    const qlong patternLen = static_cast<qlong>(pattern.size());
    qlong p = 0;
    while (p + patternLen < len) {  // the pattern would occupy p+1 .. p+patternLen
      if (std::equal(pattern.begin(), pattern.end(), s + p + 1)) {
        s[p + 1] = lower(s[p + 1]);
        p += patternLen;  // the space that ends the word may start the next one
        continue;
      }
      do ++p;
      while (p < len && !isSpace(s[p]));
    }
  }
}

// An e-mail address (a "." after an "@") or a web address ("://" or "Www.") is lower case
// again from the start of its word to the end of the word. The last two characters of the
// text are not examined.
void addresses(qchar* s, qlong len) {
  bool atSeen = false, lowering = false;
  for (qlong i = 0; i + 2 < len; ++i) {
    const qchar c = s[i];
    if (isSpace(c)) {
      atSeen = lowering = false;
    } else if (lowering) {
      s[i] = lower(c);
    } else if (c == U'@') {
      atSeen = true;
    } else if ((c == U'.' && atSeen) || (c == U':' && s[i + 1] == U'/' && s[i + 2] == U'/') ||
               (c == U'W' && i + 3 < len && s[i + 1] == U'w' && s[i + 2] == U'w' &&
                s[i + 3] == U'.')) {
      for (qlong b = i; b >= 0 && !isSpace(s[b]); --b) s[b] = lower(s[b]);
      lowering = true;
    }
  }
}

}  // namespace

namespace zqtext {

void capsText(qchar* s, qlong& len, const qchar* exceptions, qlong exceptionsLen,
              const CapsOptions& options) {
  if (options.collapse) len = collapseSpaces(s, len);
  if (len <= 0) return;
  wordCapitals(s, len);
  apostrophesAndCompass(s, len, options.address);
  scottishNames(s, len);
  dutchParticles(s, len);
  startAndEnd(s, len, options.address);
  if (!options.address) romanSuffix(s, len);
  numberWords(s, len);
  if (exceptionsLen > 0) exceptionWords(s, len, exceptions, exceptionsLen);
  addresses(s, len);
}

}  // namespace zqtext

qlong tObjZQMain::methodCaps(tThreadData* td, qshort paramCount) {
  if (paramCount < 1) return returnError(td, kErrParams, "Parameter count must be at least 1");
  if (!isTextParam(td, 1)) return notCharacter(td, 1);
  EXTfldval exceptionsValue;
  if (paramCount >= 2 && getParamVar(td, 2, exceptionsValue, fftCharacter, fftCharacter) != 0)
    return notCharacter(td, 2);
  CapsOptions options;
  if (paramCount >= 3 && getParamBool(td, 3, options.address) != 0)
    return returnError(td, kErrParams, "Parameter 3 must be of kTrue or kFalse or 1 or 0");
  if (paramCount >= 4 && getParamBool(td, 4, options.collapse) != 0)
    return returnError(td, kErrParams, "Parameter 4 must be of kTrue or kFalse or 1 or 0");

  // The method works on its own copy of the exception list: the caller's value is not
  // written back.
  std::vector<qchar> exceptions;
  if (paramCount >= 2) {
    qlong n = 0;
    const qchar* chars = charsOf(exceptionsValue, n);
    exceptions.assign(chars, chars + n);
  }
  if (!exceptions.empty() && exceptions.back() != U';') {
    showError(td, kErrParams,
              "Programmer Error - exception words must be separated by a ';' and end in a ';'");
    td->errorText = nullptr;
    exceptions.back() = U';';
  }

  // The text is put in proper case in a copy, which replaces the parameter's characters only
  // when every step is done: a step that fails for want of memory leaves the text as it was.
  EXTfldval text;
  getParamVar(td, 1, text, fftNone, fftNone);  // checked above, not converted
  qlong len = text.getCharLen();
  tOwnedHandle work;
  if (!work.allocate(static_cast<uint64_t>(len > 0 ? len : 1) * sizeof(qchar))) return kErrMemory;
  qlong read = 0;
  text.getChar(len, work.chars(), read);
  len = read;
  if (len > 0)
    capsText(work.chars(), len, exceptions.data(), static_cast<qlong>(exceptions.size()), options);
  if (len > 0 || text.getType() != fftCharacter) {
    HANsetUsed(work.get(), len * 4);
    if (len == 0) work.reset(nullptr);
    text.setHandle(fftCharacter, work.release());
  }
  ECOsetParameterChanged(td->eci, 1);
  return kStatusOk;
}
