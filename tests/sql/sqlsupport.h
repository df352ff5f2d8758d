// Helpers of the SQL method tests: typed values and one-line lists built from them.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "testhost.h"

namespace sqltest {

inline EXTfldval nullOf(ffttype type) {
  EXTfldval v;
  v.setNull(type);
  return v;
}

inline EXTfldval emptyOf(ffttype type) {
  EXTfldval v;
  v.setEmpty(type);
  return v;
}

inline EXTfldval date(qlong y, qlong m, qlong d) {
  EXTfldval v;
  v.setDate(y, m, d);
  return v;
}

inline EXTfldval bytesOf(ffttype type, const std::string& b) {
  EXTfldval v;
  v.setBinary(type, reinterpret_cast<const qbyte*>(b.data()), static_cast<qlong>(b.size()));
  return v;
}

typedef std::vector<std::pair<std::string, EXTfldval>> Columns;

// A list (or row) with one column per entry, typed like the entry's value, and one line
// holding the values; the line is current.
inline EXTfldval oneLine(const Columns& cols, bool isRow) {
  EXTqlist l(isRow);
  for (const auto& c : cols) {
    str255 name;
    const std::u32string n = hostrt::toU32(c.first);
    name.set(n.data(), static_cast<qlong>(n.size()));
    qshort sub = 0;
    const ffttype t = c.second.getType(&sub);
    l.addCol(t, sub, 10000000, &name);
  }
  const qlong line = l.insertRow();
  for (size_t i = 0; i < cols.size(); ++i)
    l.putColVal(line, static_cast<qshort>(i + 1), cols[i].second);
  l.setCurRow(line);
  EXTfldval v;
  v.setList(&l, qtrue);
  return v;
}

// Makes out refer to cell (row, col) of a list value.
inline void cellRef(EXTfldval& listValue, qlong row, qshort col, EXTfldval& out) {
  EXTqlist l;
  ASSERT_TRUE(listValue.getList(&l, qtrue));
  ASSERT_TRUE(l.getColValRef(row, col, out, qtrue));
}

}  // namespace sqltest
