// A map from positions (0, 1, 2, ...) to the columns of one host list, so that list and row
// methods can name their columns once and then address them by position.
#pragma once

#include <memory>

#include "extfldval.h"

class tColumnMap {
 public:
  // The map works on list without owning it. Its capacity is minCapacity when that is above
  // the list's column count, otherwise the column count.
  tColumnMap(EXTqlist& list, qshort minCapacity);
  tColumnMap(const tColumnMap&) = delete;
  tColumnMap& operator=(const tColumnMap&) = delete;

  // Records at the next position the first list column whose name equals name ignoring case.
  // A name that no column bears records nothing (the next call reuses the position).
  bool addMap(const qchar* name, qlong length, qshort* outColumn = nullptr);
  // The column recorded for a name by earlier addMap/addCol calls; 0 when none.
  qshort getCol(const qchar* name, qlong length) const;
  // Adds a column to the list and records it at the next position. Unless allowDuplicate,
  // a name already recorded (ignoring case) answers that column instead. 0 on failure.
  qshort addCol(const strxxx& name, ffttype type, qshort subtype, qlong maxLength,
                qbyte allowDuplicate);
  // Sets the cell of the row being filled at a position from text, converted to the column's
  // type. Position 0 appends the row first. Positions beyond the map or without a column are
  // skipped. Returns 0, or -103 when the list refuses the row.
  qlong setChar(qshort position, const qchar* text, qlong length);
  // Appends the mapped cells of every row (or every selected row), each followed by
  // separator, to the characters held in handle. Returns 0, or 22 when memory runs out.
  qlong buildString(qHandleInfo*& handle, qchar separator, qbyte selectedOnly) const;
  // Appends length characters and then separator to handle, growing it in whole steps of 1024
  // characters. Returns 0, or 22 with the handle as it was.
  static qlong handleConcatChars(qHandleInfo*& handle, const qchar* chars, qlong length,
                                 qchar separator);

  qshort getCapacity() const { return capacity; }
  qshort getMappedCount() const { return mappedCount; }
  // The column recorded at a position (0 when none or out of range).
  qshort columnAt(qshort position) const;

 private:
  // The cached name of list column col (read from the list on first use).
  const strxxx& cachedName(qshort col);

  EXTqlist& list;
  std::unique_ptr<qshort[]> columnNumbers;  // list column per position; 0: none
  std::unique_ptr<str80[]> columnNames;     // name cache (addMap) or added names (addCol)
  qlong fillRow = 0;                        // the row setChar is filling
  qshort capacity = 0;
  qshort mappedCount = 0;
  qshort listColumnCount = 0;
};
