// Pattern search and replace: the methods $findPatterns and $replacePatterns.
#include "patterns.h"

#include <algorithm>
#include <deque>
#include <new>
#include <stdexcept>
#include <string>

#include "zqmain.h"

namespace {

const qshort kColOrder = 1;
const qshort kColName = 2;
const qshort kColContent = 3;
const qshort kColStart = 4;
const qshort kColEnd = 5;

const qchar kNoText[] = U"";

std::string utf8(const qchar* chars, qlong len) {
  std::string out(static_cast<size_t>(CHARutf8Length(chars, len)), '\0');
  CHARconvToUtf8(chars, len, reinterpret_cast<qbyte*>(&out[0]));
  return out;
}

// The detail text of a pattern that the regular expression library refused or gave up on.
std::string patternFault(const PatternData& pattern, const char* reason) {
  return "Invalid pattern \"" + utf8(pattern.name.cString(), pattern.name.length()) +
         "\" (column " + std::to_string(pattern.order) + "): " + reason;
}

bool addResultColumns(EXTqlist& list) {
  struct Column {
    const char32_t* name;
    ffttype type;
    qshort subtype;
  };
  static const Column kColumns[] = {{U"Order", fftInteger, 0},
                                    {U"Name", fftCharacter, 255},
                                    {U"Content", fftCharacter, 255},
                                    {U"Start", fftInteger, 0},
                                    {U"End", fftInteger, 0}};
  for (const Column& c : kColumns) {
    str15 name;
    name.set(c.name, static_cast<qlong>(std::char_traits<char32_t>::length(c.name)));
    if (list.addCol(c.type, c.subtype, 10000000, &name) == 0) return false;
  }
  return true;
}

const qchar* hostChars(const qHandleCharPtr& chars) {
  return chars.chars() ? chars.chars() : kNoText;
}

}  // namespace

qlong PatternData::checkPattern(EXTqlist& resultList, const qchar* first, const qchar* last,
                                unsigned textKinds, std::vector<PatternMatch>& found) const {
  found.clear();
  expression->matches(first, last, textKinds, found);
  EXTfldval cell;
  for (const PatternMatch& match : found) {
    const qlong row = resultList.insertRow();
    if (row == 0) return kErrMemory;
    resultList.getColValRef(row, kColOrder, cell, qtrue);
    cell.setLong(order);
    resultList.getColValRef(row, kColName, cell, qtrue);
    cell.setChar(name);
    if (match.groupStart >= 0) {
      resultList.getColValRef(row, kColContent, cell, qtrue);
      cell.setChar(first + match.groupStart, match.groupEnd - match.groupStart);
    }
    resultList.getColValRef(row, kColStart, cell, qtrue);
    cell.setLong(match.start);
    resultList.getColValRef(row, kColEnd, cell, qtrue);
    cell.setLong(match.end);
  }
  return 0;
}

void replaceRanges(const qchar* text, qlong len, const std::vector<ReplaceRange>& ranges,
                   CharBuffer& out) {
  out.reserve(len);
  qlong copied = 0;
  for (const ReplaceRange& r : ranges) {
    const qlong start = std::clamp<qlong>(r.start, 0, len);
    if (copied < start) out.append(text + copied, start - copied);
    out.append(r.chars, r.count);
    copied = std::clamp<qlong>(r.end, 0, len);
  }
  if (copied < len) out.append(text + copied, len - copied);
}

qlong tObjZQMain::methodFindPatterns(tThreadData* td, qshort paramCount) {
  if (paramCount != 2) return returnError(td, kErrParams, "Parameter count must be exactly 2");
  EXTqlist patterns;
  qlong status = getParamList(td, 1, patterns, qtrue);
  if (status != 0) return returnError(td, status, "Parameter 1 must be of type row");
  EXTfldval text;
  status = getParamVar(td, 2, text, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 2 must be of type character");

  try {
    EXTqlist result;
    if (!addResultColumns(result))
      return returnError(td, kErrMemory, "The result list could not be made");

    const qshort count = patterns.colCnt();
    std::vector<PatternData> compiled(static_cast<size_t>(count));
    for (qshort c = 1; c <= count; ++c) {
      PatternData& pattern = compiled[static_cast<size_t>(c - 1)];
      pattern.order = c;
      patterns.getColName(c, pattern.name);
      EXTfldval value;
      if (!patterns.getColValRef(1, c, value, qfalse) || value.getType() != fftCharacter)
        return returnError(td, kErrParams, "Invalid pattern");
      const qHandleCharPtr chars(value.getHandle());
      try {
        pattern.expression =
            compilePattern(hostChars(chars), static_cast<size_t>(chars.charCount()));
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception& e) {  // boost::regex_error: the expression is invalid
        return returnError(td, kErrParams, patternFault(pattern, e.what()));
      }
    }

    const qHandleCharPtr chars(text.getHandle());
    const qchar* first = hostChars(chars);
    const qchar* last = first + chars.charCount();
    // The text is checked for characters the engines read differently only when a pattern
    // could run on the fast engine.
    bool anyJit = false;
    for (const PatternData& pattern : compiled) anyJit = anyJit || pattern.expression->hasJit();
    const unsigned textKinds = anyJit ? textHazards(first, chars.charCount()) : 0;
    std::vector<PatternMatch> found;
    for (const PatternData& pattern : compiled) {
      try {
        status = pattern.checkPattern(result, first, last, textKinds, found);
      } catch (const std::bad_alloc&) {
        throw;
      } catch (const std::exception& e) {  // the library gave up (complexity, stack)
        return returnError(td, kErrParams, patternFault(pattern, e.what()));
      }
      if (status != 0) return returnError(td, status, "The result list could not take a row");
    }

    // The rows are already in the order of a stable sort on Order, then Start: patterns are
    // taken in column order, and each search starts where the previous match ended, so the
    // starts of one pattern's matches never decrease. Sorting them again through the host
    // would only compare every line.
    EXTfldval value;
    value.setList(&result, qtrue);
    returnValue(td, value);
  } catch (const std::bad_alloc&) {
    return returnError(td, kErrMemory, "Not enough memory for the patterns");
  }
  return kStatusReturnSet;
}

namespace {

// Sorts the range list on its first column through the host, and tells the host when that
// changed the order of its lines.
void sortRanges(tThreadData* td, EXTqlist& ranges) {
  EXTfldval previous, current;
  const qlong rows = ranges.rowCnt();
  for (qlong row = 2; row <= rows; ++row) {
    ranges.getColValRef(row - 1, 1, previous, qfalse);
    ranges.getColValRef(row, 1, current, qfalse);
    if (previous.compare(current) > 0) {
      const qsortField byStart = {1, qfalse, qfalse};
      ranges.sort(&byStart, 1);
      ECOsetParameterChanged(td->eci, 1);
      return;
    }
  }
}

}  // namespace

qlong tObjZQMain::methodReplacePatterns(tThreadData* td, qshort paramCount) {
  if (paramCount != 2) return returnError(td, kErrParams, "Parameter count must be exactly 2");
  EXTqlist ranges;
  qlong status = getParamList(td, 1, ranges, qfalse);
  if (status != 0) return returnError(td, status, "Parameter 1 must be of type list");
  EXTfldval text;
  status = getParamVar(td, 2, text, fftCharacter, fftNone);
  if (status != 0) return returnError(td, status, "Parameter 2 must be of type character");

  try {
    sortRanges(td, ranges);
    const qlong rows = ranges.rowCnt();
    std::vector<ReplaceRange> edits;
    edits.reserve(static_cast<size_t>(rows));
    std::deque<std::u32string> converted;  // character forms of replacements of other types
    EXTfldval cell;
    for (qlong row = 1; row <= rows; ++row) {
      ReplaceRange edit = {0, 0, nullptr, 0};
      if (ranges.getColValRef(row, 1, cell, qfalse)) edit.start = cell.getLong();
      if (ranges.getColValRef(row, 2, cell, qfalse)) edit.end = cell.getLong();
      if (ranges.getColValRef(row, 3, cell, qfalse)) {
        if (cell.getType() == fftCharacter) {
          const qHandleCharPtr chars(cell.getHandle());
          edit.chars = chars.chars();
          edit.count = chars.charCount();
        } else if (cell.getCharLen() > 0) {
          converted.emplace_back(static_cast<size_t>(cell.getCharLen()), U'\0');
          std::u32string& form = converted.back();
          cell.getChar(static_cast<qlong>(form.size()), &form[0], edit.count);
          edit.chars = form.data();
        }
      }
      edits.push_back(edit);
    }
    // Positions are integers: a first column of another type (text) is ordered by its value.
    std::stable_sort(edits.begin(), edits.end(), [](const ReplaceRange& a, const ReplaceRange& b) {
      return a.start < b.start;
    });

    const qHandleCharPtr chars(text.getHandle());
    CharBuffer out;
    replaceRanges(chars.chars(), chars.charCount(), edits, out);
    if (out.failed()) return returnError(td, kErrMemory, "Not enough memory for the result");
    EXTfldval result;
    result.setHandle(fftCharacter, out.release());
    ECOaddParam(td->eci, &result);
  } catch (const std::bad_alloc&) {
    return returnError(td, kErrMemory, "Not enough memory for the ranges");
  }
  return kStatusReturnSet;
}
