// Pattern search and replace: named regular expressions run over a text, and the rebuilding of
// a text from a list of replaced position ranges.
#pragma once

#include <memory>
#include <vector>

#include "charbuffer.h"
#include "extfldval.h"
#include "patternengine.h"

// One compiled pattern of a $findPatterns call.
struct PatternData {
  qshort order;                                       // column number of the pattern (from 1)
  str255 name;                                        // column name
  std::shared_ptr<const CompiledPattern> expression;  // Perl syntax, case-insensitive

  // Appends one row per match of the expression in [first, last) to resultList, whose columns
  // are Order, Name, Content, Start and End. textKinds are the text's textHazards(); found is
  // working space. Returns 0, or -103 when the list refuses a row. Throws what Boost.Regex
  // throws when it gives up on a match.
  qlong checkPattern(EXTqlist& resultList, const qchar* first, const qchar* last,
                     unsigned textKinds, std::vector<PatternMatch>& found) const;
};

// A range of a text and the characters that replace it.
struct ReplaceRange {
  qlong start;  // first position replaced (from 0)
  qlong end;    // first position after the range
  const qchar* chars;
  qlong count;
};

// Rebuilds text from ranges taken in their given order (sorted by start): the characters
// before each range's start that have not been copied yet, then its replacement; copying
// resumes at the range's end. Positions are clamped to the text.
void replaceRanges(const qchar* text, qlong len, const std::vector<ReplaceRange>& ranges,
                   CharBuffer& out);
