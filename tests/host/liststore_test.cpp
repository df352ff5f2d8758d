// How a list keeps its lines: cells carved from shared blocks, deleted lines reused, short
// characters' allocations kept per thread. A reference to a cell must keep meaning the same
// cell, and a reused line or allocation must come back as new.
#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "testhost.h"

using namespace zqtest;

namespace {

// A list of an integer key and a character column.
struct KeyedList {
  EXTqlist list{qfalse};
  KeyedList() {
    list.addCol(fftInteger, 0, 0, nullptr);
    list.addCol(fftCharacter, 0, 100, nullptr);
  }
  qlong add(qlong key, const std::string& text, qlong at = 0) {
    const qlong row = list.insertRow(at);
    EXTfldval cell;
    list.getColValRef(row, 1, cell, qtrue);
    cell.setLong(key);
    list.getColValRef(row, 2, cell, qtrue);
    cell = chr(text);
    return row;
  }
  qlong key(qlong row) const {
    EXTfldval cell;
    list.getColValRef(row, 1, cell, qfalse);
    return cell.getLong();
  }
  std::string text(qlong row) const {
    EXTfldval cell;
    list.getColValRef(row, 2, cell, qfalse);
    return zqtest::text(cell);
  }
};

TEST(ListStore, CellReferencesKeepTheirLineThroughInsertsDeletesAndSorts) {
  KeyedList l;
  l.add(500000, "kept");
  EXTfldval ref;
  ASSERT_TRUE(l.list.getColValRef(1, 2, ref, qtrue));
  // Thousands of lines around it fill many blocks; some are deleted, then all are sorted.
  for (qlong i = 0; i < 5000; ++i) l.add(i, "line " + std::to_string(i), i % 2 ? 1 : 0);
  for (qlong row = l.list.rowCnt(); row >= 1; row -= 7)
    if (l.key(row) != 500000) l.list.deleteRow(row);
  qsortField byKey{1, qfalse, qfalse};
  l.list.sort(&byKey, 1);
  EXPECT_EQ(zqtest::text(ref), "kept");
  ref = chr("changed through the reference");
  const qlong last = l.list.rowCnt();
  EXPECT_EQ(l.key(last), 500000);
  EXPECT_EQ(l.text(last), "changed through the reference");
  // Every other line is still whole and in order.
  for (qlong row = 2; row < last; ++row) {
    ASSERT_LT(l.key(row - 1), l.key(row));
    ASSERT_EQ(l.text(row), "line " + std::to_string(l.key(row)));
  }
}

// Every cell of line row holds the empty value of its column's type; a list or row column's
// cell has a list of its own.
void expectEmptyLine(const EXTqlist& list, qlong row, const std::vector<ffttype>& types) {
  for (size_t c = 0; c < types.size(); ++c) {
    SCOPED_TRACE(c);
    EXTfldval cell;
    ASSERT_TRUE(list.getColValRef(row, static_cast<qshort>(c + 1), cell, qfalse));
    EXPECT_EQ(cell.getType(), types[c]);
    EXPECT_FALSE(cell.isNull());
    EXPECT_TRUE(cell.isEmpty());
    if (types[c] == fftBoolean) EXPECT_EQ(cell.getBool(), qboolFalse);
    EXTqlist inner;
    EXPECT_EQ(cell.getList(&inner, qfalse) != 0, types[c] == fftList || types[c] == fftRow);
  }
}

TEST(ListStore, ReusedLinesComeBackAsNewEmptyValuesOfTheirColumns) {
  EXTqlist list(qfalse);
  const std::vector<ffttype> types = {fftInteger, fftCharacter, fftBoolean, fftList,
                                      fftNumber,  fftBinary,    fftRow,     fftDate};
  for (ffttype t : types) list.addCol(t, 0, 0, nullptr);
  expectEmptyLine(list, list.insertRow(), types);  // a line of a new block
  list.deleteRow(1);
  for (int round = 0; round < 3; ++round) {
    for (int i = 0; i < 40; ++i) {
      const qlong row = list.insertRow();
      EXTfldval cell;
      list.getColValRef(row, 1, cell, qtrue);
      cell.setLong(7);
      list.getColValRef(row, 2, cell, qtrue);
      cell = chr("a value long enough for its own block of characters, more than sixty bytes");
      list.getColValRef(row, 3, cell, qtrue);
      cell = boolean(true);
      list.getColValRef(row, 4, cell, qtrue);
      cell = list.rowCnt() > 1 ? EXTfldval() : integer(1);  // a list cell changed to another
      list.getColValRef(row, 6, cell, qtrue);
      cell = binary("bytes");
    }
    while (list.rowCnt() > 2) list.deleteRow(2);
  }
  expectEmptyLine(list, list.insertRow(), types);   // a reused line
  expectEmptyLine(list, list.insertRow(2), types);  // another, inserted between
}

// Values of every short length (the kept allocations hold up to 48 bytes, copied with a few
// overlapping moves) and some longer ones: written into cells, copied with the list, freed,
// and written again into reused allocations of other lengths.
TEST(ListStore, ShortValuesOfEveryLengthReadBackWhole) {
  auto word = [](size_t len, int salt) {
    std::string s;
    for (size_t i = 0; i < len; ++i)
      s += static_cast<char>('a' + (i * 7 + len + static_cast<size_t>(salt)) % 26);
    return s;
  };
  for (int round = 0; round < 3; ++round) {
    EXTqlist list(qfalse);
    list.addCol(fftCharacter, 0, 0, nullptr);
    list.addCol(fftBinary, 0, 0, nullptr);
    const size_t kLongest = 70;
    for (size_t len = 0; len <= kLongest; ++len) {
      const qlong row = list.insertRow();
      EXTfldval cell;
      list.getColValRef(row, 1, cell, qtrue);
      cell = chr(word((len + static_cast<size_t>(round) * 5) % 20, round));
      list.getColValRef(row, 2, cell, qtrue);
      cell = binary(word(len, round));
    }
    EXTfldval value;
    value.setList(&list, qfalse);
    const EXTfldval copy(value);
    EXTqlist copied;
    ASSERT_TRUE(copy.getList(&copied, qfalse));
    for (const EXTqlist* l : {&list, &copied}) {
      for (size_t len = 0; len <= kLongest; ++len) {
        SCOPED_TRACE(len);
        const qlong row = static_cast<qlong>(len) + 1;
        EXTfldval cell;
        l->getColValRef(row, 1, cell, qfalse);
        ASSERT_EQ(zqtest::text(cell), word((len + static_cast<size_t>(round) * 5) % 20, round));
        l->getColValRef(row, 2, cell, qfalse);
        ASSERT_EQ(zqtest::bytes(cell), word(len, round));
      }
    }
  }
}

TEST(ListStore, AddingAColumnKeepsEveryLinesCells) {
  KeyedList l;
  for (qlong i = 1; i <= 700; ++i) l.add(i, std::string(static_cast<size_t>(i % 30), 'x'));
  l.list.deleteRow(350);
  ASSERT_EQ(l.list.addCol(fftInteger, 0, 0, nullptr), 3);
  ASSERT_EQ(l.list.rowCnt(), 699);
  for (qlong row = 1; row <= 699; ++row) {
    const qlong key = row < 350 ? row : row + 1;
    ASSERT_EQ(l.key(row), key);
    ASSERT_EQ(l.text(row), std::string(static_cast<size_t>(key % 30), 'x'));
    EXTfldval added;
    ASSERT_TRUE(l.list.getColValRef(row, 3, added, qfalse));
    ASSERT_EQ(added.getType(), fftInteger);
  }
  // The wider lines take new inserts and deletes like any others.
  l.add(9999, "after", 1);
  EXPECT_EQ(l.key(1), 9999);
  EXPECT_EQ(l.text(2), "x");
}

TEST(ListStore, CopiesAndRowsOfManyLinesAreWhole) {
  KeyedList l;
  for (qlong i = 1; i <= 1000; ++i) l.add(i, "v" + std::to_string(i));
  l.list.setCurRow(777);
  EXTfldval value;
  value.setList(&l.list, qfalse);
  const EXTfldval copy(value);
  EXTqlist seen;
  ASSERT_TRUE(copy.getList(&seen, qfalse));
  ASSERT_EQ(seen.rowCnt(), 1000);
  EXTfldval cell;
  seen.getColValRef(1000, 2, cell, qfalse);
  EXPECT_EQ(zqtest::text(cell), "v1000");
  // As a row, a list keeps its current line only.
  EXTfldval row;
  row = copy;
  ASSERT_TRUE(row.conv(fftRow));
  EXTqlist one;
  ASSERT_TRUE(row.getList(&one, qfalse));
  ASSERT_EQ(one.rowCnt(), 1);
  one.getColValRef(1, 2, cell, qfalse);
  EXPECT_EQ(zqtest::text(cell), "v777");
}

// Short characters made on one thread and freed on another, in both directions, and threads
// that end with freed allocations kept: every value reads back as written (valgrind, in the
// HostValgrind test, checks that nothing is lost or read after it is freed).
TEST(ListStore, ShortValuesCrossThreads) {
  const int kValues = 20000;
  auto word = [](int i) { return "t" + std::to_string(i % 1000); };
  std::vector<EXTfldval> made(kValues);
  std::thread maker([&] {
    for (int i = 0; i < kValues; ++i) made[static_cast<size_t>(i)] = chr(word(i));
  });
  maker.join();
  for (int i = 0; i < kValues; ++i) ASSERT_EQ(zqtest::text(made[static_cast<size_t>(i)]), word(i));
  std::thread freer([&] {
    made.clear();
    std::vector<EXTfldval> own(kValues);
    for (int i = 0; i < kValues; ++i) own[static_cast<size_t>(i)] = chr(word(i + 1));
    for (int i = 0; i < kValues; ++i)
      ASSERT_EQ(zqtest::text(own[static_cast<size_t>(i)]), word(i + 1));
  });
  freer.join();
  std::vector<EXTfldval> again(kValues);
  for (int i = 0; i < kValues; ++i) again[static_cast<size_t>(i)] = chr(word(i + 2));
  for (int i = 0; i < kValues; ++i)
    ASSERT_EQ(zqtest::text(again[static_cast<size_t>(i)]), word(i + 2));
}

}  // namespace
