// Host lists and rows: columns, lines, current line, selection, cells and sorting.
#include <algorithm>
#include <cstdint>
#include <numeric>

#include "extfldval.h"
#include "internal.h"

namespace {

// A block holds at most this many bytes of cells (and at least one line): large enough that
// allocations are rare, small enough to come from the heap rather than the kernel.
const size_t kBlockBytes = 64 * 1024;

}  // namespace

void CellStore::addBlock(size_t lines) {
  const size_t lineBytes = mWidth * sizeof(FldData);
  if (lines > SIZE_MAX / lineBytes) throw std::bad_alloc();  // 32-bit builds
  mBlocks.reserve(mBlocks.size() + 1);
  const size_t bytes = lines * lineBytes;
  Block block{static_cast<FldData*>(::operator new(bytes)), lines, 0};
  mBlocks.push_back(block);
  mCarved += lines;
}

namespace {

// Gives a cell that holds the empty character value the empty value of its column's type, a
// list excepted; true when the column holds lists (their lists are the caller's to make).
inline bool typeCell(FldData& cell, const ColDef& col) {
  cell.type = col.type;
  cell.subtype = col.subtype;
  if (col.type == fftBoolean) cell.v.i = qboolFalse;
  return col.holdsLists;
}

}  // namespace

FldData* CellStore::take(const ColDef* cols, size_t n, bool* lists) {
  bool anyList = false;
  FldData* line;
  if (!mSpare.empty()) {
    line = mSpare.back();
    mSpare.pop_back();
    for (size_t c = 0; c < n; ++c) anyList |= typeCell(line[c], cols[c]);
  } else {
    if (mBlocks.empty() || mBlocks.back().used == mBlocks.back().lines) {
      // Blocks double with the list (a one-line row takes one line) up to kBlockBytes.
      const size_t most = std::max<size_t>(1, kBlockBytes / (mWidth * sizeof(FldData)));
      addBlock(std::clamp<size_t>(mCarved, 1, most));
    }
    Block& block = mBlocks.back();
    line = block.cells + block.used * mWidth;
    // Made and typed in one pass: a new line is written once.
    for (size_t c = 0; c < n; ++c) anyList |= typeCell(*new (line + c) FldData(), cols[c]);
    for (size_t c = n; c < mWidth; ++c) new (line + c) FldData();
    ++block.used;
  }
  if (lists) *lists = anyList;
  return line;
}

void CellStore::reserve(size_t lines) {
  const size_t room = mBlocks.empty() ? 0 : mBlocks.back().lines - mBlocks.back().used;
  if (lines > room + mSpare.size()) addBlock(lines);
}

void CellStore::give(FldData* line) {
  for (size_t c = 0; c < mWidth; ++c) line[c].reset(fftCharacter, 0, false);
  try {
    mSpare.push_back(line);
  } catch (const std::bad_alloc&) {
    // Not kept for reuse: the line stays in its block, which frees it with the others.
  }
}

void CellStore::clear(ListData** lists) {
  // A value without payload holds nothing to free: its storage is released with the block.
  // The handles of the cells a few lines on are fetched meanwhile: freeing reads each one.
  for (const Block& block : mBlocks) {
    FldData* const end = block.cells + block.used * mWidth;
    for (FldData* cell = block.cells; cell != end; ++cell) {
      if (end - cell > 16) __builtin_prefetch(cell[16].h);
      if (!cell->hasPayload()) continue;
      if (lists && cell->list) {
        cell->list->nextFreed = *lists;
        *lists = cell->list;
        cell->list = nullptr;
      }
      cell->freePayload();
    }
    ::operator delete(block.cells);
  }
  mBlocks.clear();
  mSpare.clear();
  mCarved = 0;
}

void CellStore::swap(CellStore& other) {
  std::swap(mWidth, other.mWidth);
  mBlocks.swap(other.mBlocks);
  std::swap(mCarved, other.mCarved);
  mSpare.swap(other.mSpare);
}

namespace {

using PendingCopy = std::pair<ListData*, const ListData*>;

// Copies src's columns, lines and cells into the empty list dst. A cell holding a list gets a
// new empty list, which is queued in pending to be filled from the source's.
void copyLevel(ListData& dst, const ListData& src, std::vector<PendingCopy>& pending) {
  dst.isRow = src.isRow;
  dst.cols = src.cols;
  dst.current = src.current;
  dst.rows.reserve(src.rows.size());
  CellStore store(src.cols.size());
  store.swap(dst.store);
  dst.store.reserve(src.rows.size());
  const size_t n = src.cols.size();
  for (const RowData& r : src.rows) {
    FldData* const cells = dst.store.take();
    dst.rows.emplace_back(cells, r.selected, r.savedSelected);
    for (size_t c = 0; c < n; ++c) {
      cells[c].assignExceptList(r.cells[c]);
      if (r.cells[c].list) {
        cells[c].list = new ListData();
        pending.emplace_back(cells[c].list, r.cells[c].list);
      }
    }
  }
}

}  // namespace

// On a failure part way, the lists made so far sit in cells of this list and are freed with it.
ListData::ListData(const ListData& other) {
  std::vector<PendingCopy> pending;
  copyLevel(*this, other, pending);
  while (!pending.empty()) {
    const PendingCopy next = pending.back();
    pending.pop_back();
    copyLevel(*next.first, *next.second, pending);
  }
}

ListData::~ListData() { clearRows(); }

void ListData::clearRows() {
  // The lists in the cells are freed here, one after the other, never by recursion.
  ListData* lists = nullptr;
  rows.clear();
  store.clear(&lists);
  while (lists) {
    ListData* next = lists;
    lists = next->nextFreed;
    next->rows.clear();
    next->store.clear(&lists);
    delete next;  // holds no lines any more
  }
  current = 0;
}

void ListData::keepOnlyRow(size_t index) {
  const RowData kept = rows[index];
  for (size_t i = 0; i < rows.size(); ++i)
    if (i != index) store.give(rows[i].cells);
  rows.assign(1, kept);
}

void ListData::swapContent(ListData& other) {
  cols.swap(other.cols);
  rows.swap(other.rows);
  store.swap(other.store);
  std::swap(current, other.current);
}

namespace {

// Row and column numbers below 1 wrap to sizes no list has, so each is one comparison (a
// cell is reached this way once for every value a list is built or read with).
bool validRow(const ListData* l, qlong row) {
  return l && static_cast<size_t>(row) - 1 < l->rows.size();
}
bool validCol(const ListData* l, qshort col) {
  return l && static_cast<size_t>(col) - 1 < l->cols.size();
}

}  // namespace

EXTqlist::EXTqlist(qbool isRow) : mData(new ListData()), mOwned(mData) { mData->isRow = isRow; }
EXTqlist::EXTqlist(ListData* ref) : mData(ref), mOwned(nullptr) {}
EXTqlist::~EXTqlist() { delete mOwned; }

void EXTqlist::setRef(ListData* ref) {
  if (mOwned != ref) delete mOwned;
  mOwned = nullptr;
  mData = ref;
}

qbool EXTqlist::isRow() const { return mData && mData->isRow; }
qlong EXTqlist::rowCnt() const { return mData ? static_cast<qlong>(mData->rows.size()) : 0; }
qshort EXTqlist::colCnt() const { return mData ? static_cast<qshort>(mData->cols.size()) : 0; }

qlong EXTqlist::getCurRow() const {
  if (!mData) return 0;
  if (mData->isRow) return mData->rows.empty() ? 0 : 1;
  return mData->current;
}

void EXTqlist::setCurRow(qlong row) {
  if (!mData) return;
  mData->current = validRow(mData, row) ? row : 0;
}

namespace {

// Gives the list and row cells of a new line their empty lists; on a failure the line goes back
// to the store before the throw.
void addCellLists(ListData& l, FldData* cells) {
  try {
    for (size_t c = 0; c < l.cols.size(); ++c)
      if (l.cols[c].holdsLists) cells[c].setEmpty(l.cols[c].type, l.cols[c].subtype);
  } catch (const std::bad_alloc&) {
    l.store.give(cells);
    throw;
  }
}

}  // namespace

qlong EXTqlist::insertRow(qlong row) {
  ListData* const l = mData;
  if (!l || listRowsRefused()) return 0;
  const size_t count = l->rows.size();
  if (l->isRow ? count != 0 : count >= 0x7FFFFFFF) return 0;  // line numbers are 32-bit counts
  // The line is taken from the store only when the lines have room for it: a failure leaves
  // the list as it was.
  if (count == l->rows.capacity()) l->rows.reserve(count * 2 + 1);
  bool lists = false;
  FldData* const cells = l->store.take(l->cols.data(), l->cols.size(), &lists);
  if (lists) addCellLists(*l, cells);
  if (row < 1 || static_cast<size_t>(row) > count) {
    l->rows.emplace_back(cells);
    return static_cast<qlong>(count) + 1;
  }
  l->rows.emplace(l->rows.begin() + (row - 1), cells);
  if (l->current >= row) ++l->current;
  return row;
}

qbool EXTqlist::deleteRow(qlong row) {
  if (!validRow(mData, row)) return qfalse;
  mData->store.give(mData->rows[static_cast<size_t>(row - 1)].cells);
  mData->rows.erase(mData->rows.begin() + (row - 1));
  if (mData->current == row)
    mData->current = validRow(mData, row) ? row : static_cast<qlong>(mData->rows.size());
  else if (mData->current > row)
    --mData->current;
  return qtrue;
}

qshort EXTqlist::addCol(ffttype type, qshort subtype, qlong maxLen, const strxxx* name) {
  if (!mData || listColsRefused() || mData->cols.size() >= 32767) return 0;
  ColDef col;
  if (name) col.name.assign(name->cString(), static_cast<size_t>(name->length()));
  col.type = type;
  col.subtype = subtype;
  col.holdsLists = type == fftList || type == fftRow;
  col.maxLen = maxLen;
  // Every line moves to a store one cell wider, whose one block is had before anything
  // changes. Only then are the new cells given their type, which can fail for a list column:
  // the lines are then wider than the columns, which nothing reads.
  mData->cols.reserve(mData->cols.size() + 1);
  const size_t n = mData->cols.size();
  CellStore wider(n + 1);
  wider.reserve(mData->rows.size());
  for (RowData& r : mData->rows) {
    FldData* cells = wider.take();
    for (size_t c = 0; c < n; ++c) cells[c].swap(r.cells[c]);
    r.cells = cells;
  }
  mData->store.swap(wider);
  for (RowData& r : mData->rows) r.cells[n].reset(type, subtype, false);
  mData->cols.push_back(std::move(col));
  return static_cast<qshort>(n + 1);
}

void EXTqlist::clearRows() {
  if (mData) mData->clearRows();
}

void EXTqlist::clear() {
  if (!mData) return;
  mData->clearRows();
  mData->cols.clear();
  CellStore none;
  mData->store.swap(none);
}

void EXTqlist::getColName(qshort col, strxxx& name) const {
  if (!validCol(mData, col)) {
    name.setLength(0);
    return;
  }
  const std::u32string& n = mData->cols[static_cast<size_t>(col - 1)].name;
  name.set(n.data(), static_cast<qlong>(n.size()));
}

ffttype EXTqlist::getColType(qshort col, qshort* subtype, qlong* maxLen) const {
  if (!validCol(mData, col)) return fftNone;
  const ColDef& c = mData->cols[static_cast<size_t>(col - 1)];
  if (subtype) *subtype = c.subtype;
  if (maxLen) *maxLen = c.maxLen;
  return c.type;
}

qbool EXTqlist::getColValRef(qlong row, qshort col, EXTfldval& out, qbool) const {
  if (!validRow(mData, row) || !validCol(mData, col)) return qfalse;
  out.setRef(&mData->rows[static_cast<size_t>(row - 1)].cells[col - 1]);
  return qtrue;
}

qbool EXTqlist::getColVal(qlong row, qshort col, EXTfldval& out) const {
  if (!validRow(mData, row) || !validCol(mData, col)) return qfalse;
  EXTfldval cell(&mData->rows[static_cast<size_t>(row - 1)].cells[col - 1]);
  out = cell;
  return qtrue;
}

qbool EXTqlist::putColVal(qlong row, qshort col, const EXTfldval& val) {
  if (!validRow(mData, row) || !validCol(mData, col)) return qfalse;
  EXTfldval cell(&mData->rows[static_cast<size_t>(row - 1)].cells[col - 1]);
  cell = val;
  return qtrue;
}

qbool EXTqlist::isRowSelected(qlong row, qbool saved) const {
  if (!validRow(mData, row)) return qfalse;
  const RowData& r = mData->rows[static_cast<size_t>(row - 1)];
  return saved ? r.savedSelected : r.selected;
}

void EXTqlist::selectRow(qlong row, qbool selected, qbool saved) {
  if (!validRow(mData, row)) return;
  RowData& r = mData->rows[static_cast<size_t>(row - 1)];
  (saved ? r.savedSelected : r.selected) = selected;
}

void EXTqlist::sort(const qsortField* fields, qshort count) {
  if (!mData || mData->rows.size() < 2) return;
  std::vector<qsortField> keys;
  for (qshort i = 0; i < count; ++i)
    if (validCol(mData, fields[i].mCol)) keys.push_back(fields[i]);
  if (keys.empty()) return;
  const std::vector<RowData>& rows = mData->rows;
  auto before = [&](size_t a, size_t b) {
    for (const qsortField& k : keys) {
      const int c =
          compareCells(rows[a].cells[k.mCol - 1], rows[b].cells[k.mCol - 1], k.mIgnoreCase);
      if (c) return k.mDescending ? c > 0 : c < 0;
    }
    return false;
  };
  // Lines already in order stay as they are (a stable sort would not move them either).
  bool ordered = true;
  for (size_t i = 1; ordered && i < rows.size(); ++i) ordered = !before(i, i - 1);
  if (ordered) return;
  std::vector<size_t> order(mData->rows.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), before);
  std::vector<RowData> sorted;
  sorted.reserve(order.size());
  qlong current = 0;
  for (size_t i = 0; i < order.size(); ++i) {
    if (static_cast<qlong>(order[i]) + 1 == mData->current) current = static_cast<qlong>(i) + 1;
    sorted.push_back(std::move(mData->rows[order[i]]));
  }
  mData->rows.swap(sorted);
  mData->current = current;
}
