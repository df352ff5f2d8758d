// tColumnMap on host lists: capacity, look-up by name, added columns, filling and joining.
#include "columnmap.h"

#include "listhelpers.h"

using namespace zqtest;

namespace {

class ColumnMap : public ComponentTest {};

std::u32string u(const char* s) { return hostrt::toU32(s); }

bool addMap(tColumnMap& m, const char* name, qshort* col = nullptr) {
  const std::u32string n = u(name);
  return m.addMap(n.data(), static_cast<qlong>(n.size()), col);
}

qshort getCol(const tColumnMap& m, const char* name) {
  const std::u32string n = u(name);
  return m.getCol(n.data(), static_cast<qlong>(n.size()));
}

str255 hostString(const char* s) {
  str255 out;
  const std::u32string n = u(s);
  out.set(n.data(), static_cast<qlong>(n.size()));
  return out;
}

TEST_F(ColumnMap, CapacityIsTheLargerOfRequestAndColumnCount) {
  EXTfldval v = list({{"a"}, {"b"}, {"c"}}, {});
  EXTqlist l;
  v.getList(&l, qtrue);
  const std::pair<qshort, qshort> cases[] = {{0, 3}, {2, 3}, {3, 3}, {5, 5}};
  for (const auto& c : cases) EXPECT_EQ(tColumnMap(l, c.first).getCapacity(), c.second);

  EXTqlist empty;
  tColumnMap m(empty, 4);
  EXPECT_EQ(m.getCapacity(), 4);
  EXPECT_FALSE(addMap(m, "a"));
  EXPECT_EQ(getCol(m, "a"), 0);
  EXPECT_EQ(m.getMappedCount(), 0);
}

TEST_F(ColumnMap, LookUpIgnoresCaseAndLeavesNoGap) {
  EXTfldval v = list({{"Alpha"}, {"b"}, {"ALPHA"}, {"bb"}}, {});
  EXTqlist l;
  v.getList(&l, qtrue);
  tColumnMap m(l, 0);
  qshort col = -1;
  EXPECT_TRUE(addMap(m, "alpha", &col));
  EXPECT_EQ(col, 1);  // the first of two equal names
  col = -1;
  EXPECT_FALSE(addMap(m, "x", &col));
  EXPECT_EQ(col, -1);
  EXPECT_FALSE(addMap(m, ""));
  EXPECT_FALSE(addMap(m, "alph"));  // exact length
  EXPECT_TRUE(addMap(m, "BB", &col));
  EXPECT_EQ(col, 4);
  EXPECT_EQ(m.getMappedCount(), 2);
  EXPECT_EQ(m.columnAt(0), 1);
  EXPECT_EQ(m.columnAt(1), 4);
  EXPECT_TRUE(addMap(m, "b"));
  EXPECT_TRUE(addMap(m, "b"));
  EXPECT_FALSE(addMap(m, "b"));  // full
  EXPECT_EQ(m.getMappedCount(), 4);
}

TEST_F(ColumnMap, AddColWithAndWithoutDuplicates) {
  EXTqlist l(qtrue);
  tColumnMap m(l, 3);
  EXPECT_EQ(m.addCol(hostString("Id"), fftInteger, 0, 100, 0), 1);
  EXPECT_EQ(m.addCol(hostString("ID"), fftCharacter, 0, 100, 0), 1);
  EXPECT_EQ(m.addCol(hostString("id"), fftCharacter, 0, 100, 1), 2);
  EXPECT_EQ(l.colCnt(), 2);
  EXPECT_EQ(getCol(m, "iD"), 1);
  EXPECT_EQ(m.addCol(hostString("Name"), fftCharacter, 0, 100, 0), 3);
  EXPECT_EQ(m.addCol(hostString("More"), fftCharacter, 0, 100, 0), 0);  // full
  EXPECT_EQ(getCol(m, "name"), 3);

  EXTqlist refused;
  tColumnMap r(refused, 2);
  hostrt::setListRefusal(false, true);
  EXPECT_EQ(r.addCol(hostString("x"), fftCharacter, 0, 10, 0), 0);
  EXPECT_EQ(r.getMappedCount(), 0);
}

TEST_F(ColumnMap, SetCharFillsRowsAndSkipsPositionsWithoutColumn) {
  EXTfldval v = list({{"a"}, {"n", fftInteger}}, {});
  EXTqlist l;
  v.getList(&l, qtrue);
  tColumnMap m(l, 3);
  addMap(m, "n");
  const std::u32string t = U"12";
  EXPECT_EQ(m.setChar(0, t.data(), 2), 0);
  EXPECT_EQ(m.setChar(1, t.data(), 1), 0);  // no column at position 1
  EXPECT_EQ(m.setChar(7, t.data(), 1), 0);  // beyond capacity
  EXPECT_EQ(rowsOf(v), (Rows{{"", "12"}}));
  hostrt::setListRefusal(true, false);
  EXPECT_EQ(m.setChar(0, t.data(), 2), -103);
  EXPECT_EQ(m.setChar(5, t.data(), 2), 0);
}

std::u32string handleText(qHandleInfo* h) {
  return h ? std::u32string(reinterpret_cast<const qchar*>(h->mData),
                            static_cast<size_t>(h->mUsed / 4))
           : std::u32string();
}

TEST_F(ColumnMap, BuildStringSeparatesEveryField) {
  const std::string s255(255, 'p'), s256(256, 'q');
  EXTfldval v = list({{"a"}, {"b"}}, {{"x", s255}, {"y", s256}});
  EXTqlist l;
  v.getList(&l, qtrue);
  tColumnMap m(l, 0);
  addMap(m, "b");
  addMap(m, "a");
  qHandleInfo* h = nullptr;
  EXPECT_EQ(m.buildString(h, U'\t', 0), 0);
  EXPECT_EQ(handleText(h), u((s255 + "\tx\t" + s256 + "\ty\t").c_str()));
  HANglobalFree(h);

  h = nullptr;
  EXPECT_EQ(m.buildString(h, U',', 1), 0);  // nothing selected
  EXPECT_EQ(h, nullptr);
  l.selectRow(1, qtrue);
  EXPECT_EQ(m.buildString(h, U',', 1), 0);
  EXPECT_EQ(handleText(h), u((s255 + ",x,").c_str()));
  HANglobalFree(h);

  EXTfldval none = list({{"a"}}, {});
  EXTqlist nl;
  none.getList(&nl, qtrue);
  tColumnMap nm(nl, 0);
  addMap(nm, "a");
  h = nullptr;
  EXPECT_EQ(nm.buildString(h, U',', 0), 0);
  EXPECT_EQ(h, nullptr);
}

TEST_F(ColumnMap, BufferGrowsInSteps) {
  qHandleInfo* h = nullptr;
  const std::u32string chunk(1023, U'x');
  EXPECT_EQ(tColumnMap::handleConcatChars(h, chunk.data(), 1, U','), 0);
  EXPECT_EQ(HANgetAllocated(h), 4096);
  EXPECT_EQ(HANgetUsed(h), 8);
  // Exactly filling the block keeps it; one more character moves to the next block.
  EXPECT_EQ(tColumnMap::handleConcatChars(h, chunk.data(), 1021, U','), 0);
  EXPECT_EQ(HANgetUsed(h), 4096);
  EXPECT_EQ(HANgetAllocated(h), 4096);
  EXPECT_EQ(tColumnMap::handleConcatChars(h, nullptr, 0, U';'), 0);
  EXPECT_EQ(HANgetAllocated(h), 8192);
  EXPECT_EQ(handleText(h).back(), U';');
  // A refused reallocation keeps the text.
  hostrt::setAllocFailure(1, 0);
  EXPECT_EQ(tColumnMap::handleConcatChars(h, chunk.data(), 1023, U','), 22);
  EXPECT_EQ(HANgetUsed(h), 4100);
  HANglobalFree(h);
  qHandleInfo* none = nullptr;
  hostrt::setAllocFailure(1, 0);
  EXPECT_EQ(tColumnMap::handleConcatChars(none, chunk.data(), 3, U','), 22);
  EXPECT_EQ(none, nullptr);
}

}  // namespace
