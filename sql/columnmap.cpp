#include "columnmap.h"

#include <cstring>
#include <vector>

#include "omnistools.h"
#include "zqbase.h"

tColumnMap::tColumnMap(EXTqlist& l, qshort minCapacity) : list(l), listColumnCount(l.colCnt()) {
  capacity = (minCapacity != 0 && minCapacity > listColumnCount) ? minCapacity : listColumnCount;
  if (capacity < 0) capacity = 0;
  const size_t n = capacity > 0 ? static_cast<size_t>(capacity) : 1;
  columnNumbers.reset(new qshort[n]());
  columnNames.reset(new str80[n]);
}

const strxxx& tColumnMap::cachedName(qshort col) {
  strxxx& slot = columnNames[col - 1];
  if (slot.length() == 0) list.getColName(col, slot);
  return slot;
}

bool tColumnMap::addMap(const qchar* name, qlong length, qshort* outColumn) {
  if (mappedCount >= capacity) return false;
  if (length != 0 && listColumnCount >= 1) {
    const qshort last = listColumnCount < capacity ? listColumnCount : capacity;
    for (qshort c = 1; c <= last; ++c) {
      const strxxx& slot = cachedName(c);
      if (slot.length() == length && ECOuprCmp(slot.cString(), name, length) == 0) {
        columnNumbers[mappedCount++] = c;
        if (outColumn) *outColumn = c;
        return true;
      }
    }
  }
  columnNumbers[mappedCount] = 0;
  return false;
}

qshort tColumnMap::getCol(const qchar* name, qlong length) const {
  if (length == 0 || listColumnCount < 1) return 0;
  const qshort last = listColumnCount < capacity ? listColumnCount : capacity;
  for (qshort i = 0; i < last; ++i) {
    const strxxx& slot = columnNames[i];
    if (slot.length() == length && ECOuprCmp(slot.cString(), name, length) == 0)
      return columnNumbers[i];
  }
  return 0;
}

qshort tColumnMap::addCol(const strxxx& name, ffttype type, qshort subtype, qlong maxLength,
                          qbyte allowDuplicate) {
  if (mappedCount >= capacity) return 0;
  if (!allowDuplicate) {
    for (qshort i = 0; i < mappedCount; ++i) {
      const strxxx& slot = columnNames[i];
      if (slot.length() == name.length() &&
          ECOuprCmp(slot.cString(), name.cString(), name.length()) == 0) {
        if (columnNumbers[i] != 0) return columnNumbers[i];
        break;
      }
    }
  }
  const qshort col = list.addCol(type, subtype, maxLength, &name);
  if (col == 0) return 0;
  listColumnCount = list.colCnt();
  columnNumbers[mappedCount] = col;
  columnNames[mappedCount].set(name.cString(), name.length());
  ++mappedCount;
  return col;
}

qshort tColumnMap::columnAt(qshort position) const {
  return position >= 0 && position < capacity ? columnNumbers[position] : 0;
}

qlong tColumnMap::setChar(qshort position, const qchar* text, qlong length) {
  if (position < 0 || position >= capacity) return 0;
  if (position == 0) {
    fillRow = list.insertRow(0);
    if (fillRow < 1) return kErrMemory;
  }
  // A position whose name was not found (or beyond the names found) holds no column.
  const qshort col = columnNumbers[position];
  if (col == 0 || fillRow < 1) return 0;
  EXTfldval cell;
  if (!list.getColValRef(fillRow, col, cell, qtrue)) return 0;
  qshort subtype = 0;
  const ffttype type = list.getColType(col, &subtype);
  cell.setChar(text, length);
  // Text that the column's type cannot take leaves the cell empty rather than mistyped.
  if (!cell.conv(type, subtype)) cell.setEmpty(type, subtype);
  return 0;
}

qlong tColumnMap::buildString(qHandleInfo*& handle, qchar separator, qbyte selectedOnly) const {
  const qlong rows = list.rowCnt();
  if (rows < 1) return 0;
  std::vector<qchar> text;  // the text form of cells that are not characters
  for (qlong r = 1; r <= rows; ++r) {
    if (selectedOnly && !list.isRowSelected(r, qfalse)) continue;
    for (qshort p = 0; p < mappedCount; ++p) {
      const qshort col = columnNumbers[p];
      const qchar* chars = nullptr;
      qlong length = 0;
      EXTfldval cell;
      if (col != 0 && list.getColValRef(r, col, cell, qfalse)) {
        if (cell.getType() == fftCharacter) {
          // Characters are appended straight from the cell's handle, whatever their length.
          const OmnisTools::CharSpan span = OmnisTools::getCharsFromEXTFldVal(cell);
          chars = span.chars;
          length = span.length;
        } else {
          text.resize(static_cast<size_t>(cell.getCharLen()) + 1);
          cell.getChar(static_cast<qlong>(text.size()), text.data(), length);
          chars = text.data();
        }
      }
      const qlong status = handleConcatChars(handle, chars, length, separator);
      if (status != 0) return status;
    }
  }
  return 0;
}

qlong tColumnMap::handleConcatChars(qHandleInfo*& handle, const qchar* chars, qlong length,
                                    qchar separator) {
  if (length < 0) length = 0;
  const int64_t used = HANgetUsed(handle) / 4;
  const int64_t allocated = HANgetAllocated(handle) / 4;
  const int64_t wanted = used + length + 1;
  if (wanted > allocated) {
    const int64_t bytes = 4096 * ((wanted + 1023) / 1024);
    if (bytes > INT32_MAX) return kStatusNoMemory;
    if (handle) {
      if (!HANglobalReAlloc(handle, static_cast<qlong>(bytes))) return kStatusNoMemory;
      HANsetUsed(handle, static_cast<qlong>(used * 4));
    } else {
      qHandleInfo* created = HANglobalAlloc(static_cast<qlong>(bytes), qfalse);
      if (!created) return kStatusNoMemory;
      HANsetUsed(created, 0);
      handle = created;
    }
  }
  qchar* out = reinterpret_cast<qchar*>(handle->mData) + used;
  if (length > 0) std::memcpy(out, chars, static_cast<size_t>(length) * 4);
  out[length] = separator;
  HANsetUsed(handle, static_cast<qlong>(wanted * 4));
  return 0;
}
