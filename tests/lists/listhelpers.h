// Helpers for the list tests: reading a whole list value back as text.
#pragma once

#include <string>
#include <vector>

#include "testhost.h"

namespace zqtest {

typedef std::vector<std::vector<std::string>> Rows;

// Every line of a list value, each cell as text.
inline Rows rowsOf(const EXTfldval& v) {
  Rows out;
  EXTqlist l;
  if (!v.getList(&l, qfalse)) return out;
  for (qlong r = 1; r <= l.rowCnt(); ++r) {
    std::vector<std::string> line;
    for (qshort c = 1; c <= l.colCnt(); ++c) line.push_back(cell(v, r, c));
    out.push_back(line);
  }
  return out;
}

inline qlong currentLine(const EXTfldval& v) {
  EXTqlist l;
  return v.getList(&l, qfalse) ? l.getCurRow() : -1;
}

inline qlong rowCount(const EXTfldval& v) {
  EXTqlist l;
  return v.getList(&l, qfalse) ? l.rowCnt() : -1;
}

}  // namespace zqtest
