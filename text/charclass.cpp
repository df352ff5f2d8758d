#include "charclass.h"

bool isRomanNumeral(qchar c) {
  const qchar l = lowC(c);
  return l == U'i' || l == U'v' || l == U'x';
}

qchar* hpSTRTOK(qHandleCharPtr& cursor, qchar delimiter, qlong& length) {
  length = 0;
  const qlong count = cursor.charCount();
  qchar* chars = cursor.chars();
  if (cursor.mPos >= count) return chars + count;
  while (cursor.mPos < count && chars[cursor.mPos] == delimiter) ++cursor.mPos;
  qchar* start = chars + cursor.mPos;
  while (cursor.mPos < count && chars[cursor.mPos] != delimiter) {
    ++length;
    ++cursor.mPos;
  }
  if (cursor.mPos < count) ++cursor.mPos;  // consume the delimiter that ended the token
  return start;
}
