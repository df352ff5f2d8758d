// Character classes over UTF-32 code points (fixed ASCII ranges, no locale) and the token
// scanner that cuts delimiter-separated word lists.
#pragma once

#include "hosttypes.h"

inline bool isDigit(qchar c) { return c >= U'0' && c <= U'9'; }
inline bool isUpper(qchar c) { return c >= U'A' && c <= U'Z'; }
inline bool isLower(qchar c) { return c >= U'a' && c <= U'z'; }
inline bool isAlpha(qchar c) { return isUpper(c) || isLower(c); }
inline bool isPrint(qchar c) { return c >= 32 && c <= 126; }
// Tab, line feed, vertical tab, form feed, carriage return and space; not the no-break space.
inline bool isSpace(qchar c) { return (c >= 9 && c <= 13) || c == 32; }
inline bool isPunct(qchar c) { return isPrint(c) && c != 32 && !isDigit(c) && !isAlpha(c); }
// Everything outside printable ASCII counts as a control character.
inline bool isCntrl(qchar c) { return c < 32 || c > 126; }
// i, v and x in either case; l, c, d and m are not taken as Roman numerals.
bool isRomanNumeral(qchar c);

// Returns the start of the next token at the cursor and its length in characters. Leading
// delimiters are skipped; the delimiter that ends the token is consumed. At the end of the
// buffer (or when only delimiters remain) the answer is the end with length 0.
qchar* hpSTRTOK(qHandleCharPtr& cursor, qchar delimiter, qlong& length);
