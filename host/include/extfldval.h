// Host values (EXTfldval) and lists (EXTqlist).
//
// A value has a type code and subtype, a null state and a payload. An EXTfldval either owns
// its storage or refers to storage held elsewhere (a parameter, a variable, a list cell):
// reading and writing a referring value reads and writes that storage.
//
// Character values hold UTF-32 characters and binary values hold bytes, both in a qHandleInfo
// (used length in bytes) that getHandle exposes and setHandle takes over without copying.
#pragma once

#include "hosttypes.h"

struct FldData;            // the host's storage of one value (opaque to the component)
typedef FldData* qfldval;  // a reference to such storage
struct ListData;           // the host's storage of one list or row
struct EXTCompInfo;
class EXTqlist;

class HOST_API EXTfldval {
 public:
  // An owning value: empty character.
  EXTfldval();
  // A value referring to the storage ref (not owned).
  explicit EXTfldval(qfldval ref);
  // A copy: an owning value with the same content.
  EXTfldval(const EXTfldval& other);
  // Writes other's content into this value's storage (through a reference, into the target).
  EXTfldval& operator=(const EXTfldval& other);
  // The same, taking the content over when other owns its storage: other's lists and
  // characters move without being copied, and other is left the empty character value. A
  // referring other is copied (it may throw std::bad_alloc then, and nothing changes).
  // other must not be a cell of a list in this value, nor hold the storage this value refers to.
  void take(EXTfldval& other);
  ~EXTfldval();

  // Makes this value refer to ref (dropping owned storage, if any). Inline: reaching a list's
  // cell takes one of these a cell.
  void setRef(qfldval ref) {
    if (mOwned) {
      referTo(ref);
      return;
    }
    mData = ref;
  }
  // The storage this value reads and writes (its own or the referred one).
  qfldval data() const { return mData; }
  bool isReference() const { return mOwned == nullptr; }

  // Type code and subtype.
  ffttype getType(qshort* subtype = nullptr) const;
  qbool isNull() const;
  // Empty: the empty text, a zero number, no bytes, a list without columns, the empty date.
  qbool isEmpty() const;
  // Makes the value the empty (respectively null) value of a type.
  void setEmpty(ffttype type, qshort subtype = 0);
  void setNull(ffttype type, qshort subtype = 0);

  // Characters. getCharLen is the number of characters the value has as text (converting
  // numbers etc. as conv would); getChar copies at most maxLen of them.
  qlong getCharLen() const;
  void getChar(qlong maxLen, qchar* buf, qlong& realLen) const;
  void getChar(strxxx& out) const;
  // setChar (and setBinary) throw std::bad_alloc when memory cannot be had, also for more
  // than 536870911 characters: a handle counts its bytes in 32 bits.
  void setChar(const qchar* chars, qlong len);
  void setChar(const strxxx& s) { setChar(s.cString(), s.length()); }

  // Integers, numbers, booleans (getBool reads 2 for true, 1 for false, 0 when null).
  qlong getLong() const;
  void setLong(qlong v);
  qint64 getLong64() const;
  void setLong64(qint64 v);
  double getNum() const;
  void setNum(double v);
  qlong getBool() const;
  void setBool(qlong hostBool);  // 2 is true, anything else false

  // Dates: days are year, month, day; the empty date has year 0.
  void setDate(qlong year, qlong month, qlong day);
  qbool getDate(qlong& year, qlong& month, qlong& day) const;

  // Binary (and picture/object) bytes.
  qlong getBinLen() const;
  void getBinary(qlong maxLen, qbyte* buf, qlong& realLen) const;
  void setBinary(ffttype type, const qbyte* bytes, qlong len);

  // The handle that holds the character (UTF-32) or binary bytes, or null when the value has
  // none. It stays owned by the value.
  qHandleInfo* getHandle() const;
  // Gives h to the value as its character or binary content (type fftCharacter, fftBinary,
  // fftPicture or fftObject); the value owns h from then on. h may be null (empty value).
  void setHandle(ffttype type, qHandleInfo* h);

  // Lists and rows. getList makes out refer to the value's list; false when the value is not
  // a list or row. setList copies list into the value (or takes its content over when ownIt
  // is true, leaving list empty); the value becomes a row when list is a row.
  qbool getList(EXTqlist* out, qbool canChange) const;
  void setList(EXTqlist* list, qbool ownIt);

  // Object references.
  objinst getObjRef() const;
  void setObjRef(objinst inst);

  // Converts the value in place to type/subtype. Returns false (value unchanged) when the
  // content cannot be converted. Character to integer follows the host's text-to-integer
  // rule (digits; a minus anywhere negates, a second fails; plus, space, control characters
  // and the comma character skipped; anything else fails; more than 10 digits or above
  // 2147483647 fails; empty is 0). Numbers convert to text in their shortest exact form.
  qbool conv(ffttype type, qshort subtype = 0);

  // Orders two values: numbers numerically across the number kinds, characters by code point
  // (by upper-cased code point when caseInsensitive), bytes byte by byte, dates by day, null
  // before everything, and values of unrelated types by a fixed type order.
  // Returns negative, 0 or positive.
  qlong compare(const EXTfldval& other, qbool caseInsensitive = qfalse) const;

  // Position (from 1) of the text of sub in this value's text, 0 when absent.
  qlong pos(const EXTfldval& sub) const;
  // Appends other's text to this value's text (the value becomes character).
  void concat(const EXTfldval& other);

  // Calculations in the host's expression language, in the context of a call.
  // setCalculation parses text and keeps the parsed form with this value (until the value gets
  // new content or another calculation); names are checked against the context of eci when
  // eci is given. It returns 0, or a non-zero error code with the first and last character
  // position (from 1) of the fault in errStart/errEnd when those are given:
  //   1 syntax (a token that cannot stand there)   2 a character that starts no token
  //   3 text literal not closed                    4 opening parenthesis not closed
  //   5 unknown name                               6 unknown function
  //   7 wrong number of arguments                  8 unsupported $ notation
  //   9 nothing to calculate (positions 0 to 0 for an empty text, else 1 to its length)
  //   10 nested or chained too deeply (more than 200 parentheses, function calls and unary
  //      minus signs inside each other, or more than 1000 operators and calls on one path)
  //   11 out of memory
  // At the end of the text, the positions are those of the last token.
  //
  // The language: numbers (digits with an optional fraction), 'text' and "text" literals
  // (no escapes), names (variables, list.column, $cinst, $cinst.Cn, $cinst.column), the
  // operators - (unary), * /, + -, = <> < > <= >=, &, | (in that order of binding, left to
  // right), parentheses, the functions con len upp low mid pos abs int min max not, and
  // $cinst.$cols.$makelist($ref.$name), a list of one character column "name" holding the
  // names of $cinst's columns in order. Arithmetic gives numbers (null if an operand is
  // null); comparisons and & | not give booleans.
  qlong setCalculation(EXTCompInfo* eci, qshort kind, const qchar* text, qlong len,
                       qlong* errStart = nullptr, qlong* errEnd = nullptr);
  // Evaluates the calculation set up in this value into result. row is unused (no row
  // context); flag is the host's evaluation flag (no effect in this host). Returns false when
  // there is no calculation or evaluation fails: a name no longer found, an operand of the
  // wrong kind (a text that is not a number in arithmetic, a list, bytes), division by zero,
  // a result that is not a finite number.
  qbool evalCalculation(EXTfldval& result, EXTCompInfo* eci, EXTqlist* row, qbool flag);

 private:
  void referTo(qfldval ref);  // setRef for a value that owns its storage

  qfldval mData;   // what this value reads and writes
  qfldval mOwned;  // non-null when this value owns its storage
};

// Sort field of EXTqlist::sort.
struct qsortField {
  qshort mCol;        // column number from 1
  qbool mDescending;  // descending order
  qbool mIgnoreCase;  // compare characters ignoring case
};

class HOST_API EXTqlist {
 public:
  // A new, empty list owned by this object (a row when isRow).
  explicit EXTqlist(qbool isRow = qfalse);
  // A list object referring to list storage held elsewhere.
  explicit EXTqlist(ListData* ref);
  EXTqlist(const EXTqlist&) = delete;
  EXTqlist& operator=(const EXTqlist&) = delete;
  ~EXTqlist();

  void setRef(ListData* ref);
  ListData* data() const { return mData; }
  qbool isRow() const;

  qlong rowCnt() const;
  qshort colCnt() const;
  // Current line, 0 when none.
  qlong getCurRow() const;
  void setCurRow(qlong row);

  // Inserts an empty line before row (0 or beyond the end: appends). Returns the new line's
  // number, or 0 when refused (memory, or a row that already has its one line).
  qlong insertRow(qlong row = 0);
  qbool deleteRow(qlong row);
  // Adds a column; returns its number, or 0 when refused.
  qshort addCol(ffttype type, qshort subtype, qlong maxLen, const strxxx* name);
  // Removes every line, keeping the columns.
  void clearRows();
  // Removes every line and every column.
  void clear();

  // Column definition.
  void getColName(qshort col, strxxx& name) const;
  ffttype getColType(qshort col, qshort* subtype = nullptr, qlong* maxLen = nullptr) const;

  // Makes out refer to the cell (row, col); false when there is no such cell.
  // canChange tells whether the caller will write through the reference.
  qbool getColValRef(qlong row, qshort col, EXTfldval& out, qbool canChange) const;
  // Copies the cell's value into out / writes val into the cell. False when no such cell.
  qbool getColVal(qlong row, qshort col, EXTfldval& out) const;
  qbool putColVal(qlong row, qshort col, const EXTfldval& val);

  // Selection: the current selection (saved false) or the saved one (saved true).
  qbool isRowSelected(qlong row, qbool saved = qfalse) const;
  void selectRow(qlong row, qbool selected, qbool saved = qfalse);

  // Sorts the lines (stable) on the fields in order; the current line follows its line.
  void sort(const qsortField* fields, qshort count);

 private:
  ListData* mData;
  ListData* mOwned;
};
