// Storage behind host values and lists. Private to the host layer.
#pragma once

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "extfldval.h"
#include "hosttypes.h"

// Handles for the host's own storage: not counted by the allocation-failure switch.
qHandleInfo* handleNew(qlong bytes);
qHandleInfo* handleCopy(const qHandleInfo* h);
void handleFree(qHandleInfo* h);

struct ListData;
struct CalcProgram;  // a parsed calculation (calc.cpp); immutable once built

struct FldData {
  ffttype type = fftCharacter;
  qshort subtype = 0;
  bool null = false;
  union {
    qlong i;      // integer; boolean (1 false, 2 true); date as year*10000+month*100+day
    qint64 i64;   // second integer kind
    double num;   // number
    objinst obj;  // object reference
  } v{};
  qHandleInfo* h = nullptr;  // characters (UTF-32) or bytes
  ListData* list = nullptr;  // list or row
  // The calculation set up on this value by EXTfldval::setCalculation. Shared between copies
  // (it never changes); dropped with the payload whenever the value gets new content.
  std::shared_ptr<const CalcProgram> calc;

  FldData() = default;
  FldData(const FldData& other) { assign(other); }
  FldData& operator=(const FldData& other) {
    if (this != &other) {
      FldData copy(other);
      swap(copy);
    }
    return *this;
  }
  ~FldData() { clearPayload(); }

  // A copy of other's content; a list inside is copied as well (without recursion).
  void assign(const FldData& other);
  // A copy of other's content except a list, which is left to the caller (list stays null).
  void assignExceptList(const FldData& other);
  void swap(FldData& other);
  // Frees the characters or bytes, the list and the calculation (a value without any of them,
  // such as a number, is left as it is without a call).
  void clearPayload() {
    if (h || list || calc) freePayload();
  }
  // Resets to the empty (or null) value of a type. Inline: lines are filled cell by cell.
  void reset(ffttype t, qshort sub, bool isNull) {
    clearPayload();
    type = t;
    subtype = sub;
    null = isNull;
    v.i64 = 0;
    if (t == fftBoolean) v.i = isNull ? 0 : qboolFalse;
    if (t == fftList || t == fftRow) newList(t == fftRow);
  }

 private:
  void freePayload();
  void newList(bool isRow);
};

struct ColDef {
  std::u32string name;
  ffttype type;
  qshort subtype;
  qlong maxLen;
};

struct RowData {
  std::unique_ptr<FldData[]> cells;
  bool selected = false;
  bool savedSelected = false;
};

// Lists nest through list cells as deep as a host builds them. Copying, freeing and comparing
// them walk the nesting with work lists on the heap, never by recursion, so no depth of
// nesting can exhaust the stack.
struct ListData {
  bool isRow = false;
  std::vector<ColDef> cols;
  std::vector<RowData> rows;
  qlong current = 0;

  ListData() = default;
  ListData(const ListData& other);  // a deep copy
  ListData& operator=(const ListData&) = delete;
  ~ListData();
};

// A count of characters for setChar: std::bad_alloc when it is more than a value holds (the
// handle counts bytes in 32 bits), rather than a count cut to 32 bits.
inline qlong charCount(size_t n) {
  if (n > static_cast<size_t>(0x7FFFFFFF / 4)) throw std::bad_alloc();
  return static_cast<qlong>(n);
}

// Text forms of values (conversion to character).
std::u32string textOf(const FldData& d);
// Text-to-integer rule of the host; false when the text does not parse.
bool textToLong(const qchar* s, qlong len, qlong& out);
qchar hostCommaChar();
bool listRowsRefused();
bool listColsRefused();
// Orders two stored values as EXTfldval::compare does.
int compareCells(const FldData& a, const FldData& b, bool caseInsensitive);
