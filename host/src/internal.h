// Storage behind host values and lists. Private to the host layer.
#pragma once

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "extfldval.h"
#include "hosttypes.h"

#if defined(__GNUC__)
#define HOST_NOINLINE __attribute__((noinline))
#else
#define HOST_NOINLINE
#endif

// Handles for the host's own storage: not counted by the allocation-failure switch.
qHandleInfo* handleNew(qlong bytes);
// A new handle holding a copy of count bytes; std::bad_alloc when it cannot be had.
qHandleInfo* handleWith(const void* bytes, qlong count);
qHandleInfo* handleCopy(const qHandleInfo* h);
void handleFree(qHandleInfo* h);

struct ListData;
struct CalcProgram;  // a parsed calculation (calc.cpp); immutable once built
void calcRetain(const CalcProgram* p);
void calcRelease(const CalcProgram* p);  // frees the calculation with its last reference

// A counted reference to a calculation: one pointer, where a shared_ptr takes two, in a member
// that every host value carries.
class CalcRef {
 public:
  CalcRef() = default;
  // Takes over the one reference a new calculation is made with.
  explicit CalcRef(const CalcProgram* adopted) : mP(adopted) {}
  CalcRef(const CalcRef& other) : mP(other.mP) {
    if (mP) calcRetain(mP);
  }
  CalcRef& operator=(const CalcRef& other) {
    CalcRef copy(other);
    swap(copy);
    return *this;
  }
  ~CalcRef() {
    if (mP) calcRelease(mP);
  }
  void swap(CalcRef& other) { std::swap(mP, other.mP); }
  void reset() { CalcRef().swap(*this); }
  const CalcProgram* get() const { return mP; }
  explicit operator bool() const { return mP != nullptr; }

 private:
  const CalcProgram* mP = nullptr;
};

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
  CalcRef calc;

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
  bool hasPayload() const {
    return (reinterpret_cast<uintptr_t>(h) | reinterpret_cast<uintptr_t>(list) |
            reinterpret_cast<uintptr_t>(calc.get())) != 0;
  }
  // Frees the characters or bytes, the list and the calculation (a value without any of them,
  // such as a number, is left as it is without a call).
  void clearPayload() {
    if (hasPayload()) freePayload();
  }
  // The same for a value known to hold a payload (or none: then it only costs the call).
  // Out of line, and never inlined: the callers' common path (no payload) then needs no stack
  // frame.
  HOST_NOINLINE void freePayload();
  // Gives the value new content: the empty value of type t (not a list type), then
  // write(*this), once the old payload is freed. The common case, a value without payload, is
  // inline and makes no call; the freeing goes through a function of its own, so a setter needs
  // no stack frame.
  template <class Write>
  void rewrite(ffttype t, Write write) {
    if (hasPayload()) return freeThenWrite(t, write);
    setEmpty(t, 0);
    write(*this);
  }
  // Resets to the empty (or null) value of a type. Inline: lines are filled cell by cell.
  void reset(ffttype t, qshort sub, bool isNull) {
    clearPayload();
    setEmpty(t, sub, isNull);
  }
  // The same for a value that holds no payload (a new or cleared cell).
  void setEmpty(ffttype t, qshort sub, bool isNull = false) {
    type = t;
    subtype = sub;
    null = isNull;
    v.i64 = 0;
    if (t == fftBoolean) v.i = isNull ? 0 : qboolFalse;
    if (t == fftList || t == fftRow) newList(t == fftRow);
  }

 private:
  template <class Write>
  HOST_NOINLINE void freeThenWrite(ffttype t, Write write) {
    freePayload();
    setEmpty(t, 0);
    write(*this);
  }
  void newList(bool isRow);
};

struct ColDef {
  std::u32string name;
  ffttype type;
  qshort subtype;
  bool holdsLists;  // type is fftList or fftRow: each cell has a list of its own
  qlong maxLen;
};

// The cells of a list's lines. A line is width() consecutive values carved from blocks the
// store owns, so a list of many lines costs a few allocations instead of one per line, and
// its cells are made only as lines are taken. A line's cells stay where they are until the
// line is deleted or a column is added, as they would with an allocation of their own: a
// reference to a cell survives inserting, deleting and sorting other lines. Deleted lines are
// kept for the next insert.
class CellStore {
 public:
  explicit CellStore(size_t width = 0) : mWidth(width > 0 ? width : 1) {}
  CellStore(const CellStore&) = delete;
  CellStore& operator=(const CellStore&) = delete;
  ~CellStore() { clear(nullptr); }

  size_t width() const { return mWidth; }
  // A line of width() values: the empty values of the n columns cols, except that a list or
  // row column's cell has no list yet (*lists, when given, tells whether there are such
  // columns), and empty character values beyond them. std::bad_alloc when no memory can be had.
  FldData* take(const ColDef* cols = nullptr, size_t n = 0, bool* lists = nullptr);
  // Makes room for lines more lines in one block, so that the next takes cannot fail.
  void reserve(size_t lines);
  // Empties the line's cells and keeps them for a later take. A list in a cell is freed with it.
  void give(FldData* line);
  // Frees every cell and block. With lists, a list in a cell is not freed but put at the front
  // of the chain *lists (through ListData::nextFreed), for the caller to free without recursion
  // or allocation.
  void clear(ListData** lists);
  void swap(CellStore& other);

 private:
  struct Block {
    FldData* cells;
    size_t lines;  // room, in lines
    size_t used;   // lines taken (and made) so far
  };
  void addBlock(size_t lines);

  size_t mWidth;
  std::vector<Block> mBlocks;
  size_t mCarved = 0;  // lines in all blocks, which the next block size follows
  std::vector<FldData*> mSpare;
};

struct RowData {
  RowData() = default;
  // Made in place by emplace_back: a copy of a line just built on the stack would be read back
  // whole before its parts are written, which stalls the processor.
  explicit RowData(FldData* line, bool isSelected = false, bool wasSelected = false)
      : cells(line), selected(isSelected), savedSelected(wasSelected) {}
  FldData* cells = nullptr;  // the line's cells, in the list's CellStore
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
  CellStore store;
  qlong current = 0;
  ListData* nextFreed = nullptr;  // the chain of lists being freed (CellStore::clear)

  ListData() = default;
  ListData(const ListData& other);  // a deep copy
  ListData& operator=(const ListData&) = delete;
  ~ListData();

  // Removes every line (their cells' lists included).
  void clearRows();
  // Keeps only line index (0-based) of the lines.
  void keepOnlyRow(size_t index);
  // Exchanges columns, lines and current line with other.
  void swapContent(ListData& other);
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
