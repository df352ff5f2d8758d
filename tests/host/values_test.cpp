// The host layer: values, conversions, comparison, lists, characters and variables.
#include <algorithm>
#include <cstring>

#include "testhost.h"

using namespace zqtest;

namespace {

TEST(HostValues, ConversionsAndTheirFailures) {
  const struct {
    EXTfldval value;
    ffttype to;
    bool ok;
    const char* text;
  } cases[] = {
      {integer(-12), fftCharacter, true, "-12"},
      {number(0.1), fftCharacter, true, "0.1"},
      {number(2.5), fftInteger, true, "3"},
      {chr("1 234"), fftInteger, true, "1234"},
      {chr("12a"), fftInteger, false, "12a"},
      {chr(" 2.5e1"), fftNumber, true, "25"},
      {chr("2.5x"), fftNumber, false, "2.5x"},
      {chr("yes"), fftBoolean, true, "1"},
      {chr("maybe"), fftBoolean, false, "maybe"},
      {chr("2026-12-08"), fftDate, true, "2026-12-08"},
      {chr("2026-13-08"), fftDate, false, "2026-13-08"},
      {chr(""), fftDate, true, ""},
      {binary("ab"), fftCharacter, false, ""},
      {chr("x"), fftBinary, false, "x"},
      {chr("x"), fftRow, true, ""},
  };
  for (const auto& c : cases) {
    EXTfldval v(c.value);
    EXPECT_EQ(v.conv(c.to), c.ok) << c.text;
    EXPECT_EQ(text(v), c.text) << c.text;
    if (c.ok) EXPECT_EQ(v.getType(), c.to) << c.text;
  }
  EXTfldval null;
  null.setNull(fftInteger);
  ASSERT_TRUE(null.conv(fftCharacter));
  EXPECT_TRUE(null.isNull());
  EXPECT_EQ(null.getType(), fftCharacter);
}

TEST(HostValues, CompareOrders) {
  EXTfldval n;
  n.setNull(fftCharacter);
  const struct {
    EXTfldval a, b;
    int sign;
  } cases[] = {
      {integer(2), number(2.0), 0},
      {integer(2), number(2.5), -1},
      {chr("b"), chr("a"), 1},
      {chr("a"), chr("ab"), -1},
      {chr("\xC3\xA9"), chr("z"), 1},             // by code point: 233 after 122
      {chr("\xE2\x82\xAC"), chr("\xC3\xBF"), 1},  // U+20AC after U+00FF
      {n, chr(""), -1},
      {binary("ab"), binary("b"), -1},
      {integer(5), chr("1"), -1},  // numbers before characters
  };
  for (const auto& c : cases) {
    const qlong r = c.a.compare(c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << text(c.a) << " vs " << text(c.b);
  }
  EXPECT_EQ(chr("ABC").compare(chr("abc"), true), 0);
}

TEST(HostValues, ReferencesWriteTheirTarget) {
  EXTfldval owner = chr("old");
  EXTfldval ref(owner.data());
  ref.setLong(5);
  EXPECT_EQ(owner.getType(), fftInteger);
  EXPECT_EQ(owner.getLong(), 5);
  EXTfldval copy(ref);  // a copy owns its storage
  copy.setLong(6);
  EXPECT_EQ(owner.getLong(), 5);
  ref = chr("assigned");
  EXPECT_EQ(text(owner), "assigned");
  // A character buffer handed over is owned by the value without copying.
  qHandleInfo* h = HANglobalAlloc(8, qfalse);
  std::memcpy(h->mData, U"hi", 8);
  owner.setHandle(fftCharacter, h);
  EXPECT_EQ(owner.getHandle(), h);
  EXPECT_EQ(text(owner), "hi");
}

// take hands an owning value's content over without a copy (the same list storage arrives) and
// leaves it empty; through a reference it writes the target; a referring source is copied.
TEST(HostValues, TakeMovesOwnedContentAndCopiesReferences) {
  EXTqlist built;
  str255 name;
  name.set(U"a", 1);
  built.addCol(fftCharacter, 0, 100, &name);
  built.insertRow();
  EXTfldval cell;
  built.getColValRef(1, 1, cell, qtrue);
  cell.setChar(U"row", 3);
  EXTfldval source;
  source.setList(&built, qtrue);
  EXTqlist view;
  ASSERT_TRUE(source.getList(&view, qfalse));
  ListData* const storage = view.data();

  EXTfldval target = chr("old");
  EXTfldval ref(target.data());
  ref.take(source);  // into the referred storage
  EXTqlist got;
  ASSERT_TRUE(target.getList(&got, qfalse));
  EXPECT_EQ(got.data(), storage);
  EXPECT_EQ(got.rowCnt(), 1);
  EXPECT_EQ(source.getType(), fftCharacter);
  EXPECT_TRUE(source.isEmpty());
  target.take(target);  // itself: nothing happens
  ASSERT_TRUE(target.getList(&got, qfalse));
  EXPECT_EQ(got.data(), storage);

  // A referring source keeps its content: the target gets a copy.
  EXTfldval owner = chr("kept");
  EXTfldval referring(owner.data());
  EXTfldval other;
  other.take(referring);
  EXPECT_EQ(text(other), "kept");
  EXPECT_EQ(text(owner), "kept");
  EXPECT_NE(other.getHandle(), owner.getHandle());

  // As a method's return value.
  HostCall call;
  EXTCompInfo eci;
  eci.mCall = &call;
  EXTfldval result;
  result.setList(&got, qfalse);
  ASSERT_TRUE(result.getList(&view, qfalse));
  ListData* const returned = view.data();
  ECOaddParamOwned(&eci, &result);
  EXPECT_TRUE(call.hasResult);
  ASSERT_TRUE(call.result.getList(&view, qfalse));
  EXPECT_EQ(view.data(), returned);
  EXPECT_EQ(view.rowCnt(), 1);
  EXPECT_TRUE(result.isEmpty());
}

TEST(HostValues, BooleansReadTwoForTrue) {
  EXPECT_EQ(boolean(true).getBool(), 2);
  EXPECT_EQ(boolean(false).getBool(), 1);
  EXPECT_EQ(boolean(true).getLong(), 1);
  EXPECT_EQ(integer(7).getBool(), 2);
  EXTfldval v;
  v.setBool(5);  // anything but 2 is false
  EXPECT_EQ(v.getBool(), 1);
}

TEST(HostLists, LinesColumnsCellsAndSelection) {
  EXTqlist l;
  str255 name;
  name.set(U"a", 1);
  EXPECT_EQ(l.addCol(fftCharacter, 0, 100, &name), 1);
  EXPECT_EQ(l.insertRow(), 1);
  EXPECT_EQ(l.insertRow(), 2);
  EXPECT_EQ(l.insertRow(1), 1);  // before line 1
  EXPECT_EQ(l.rowCnt(), 3);
  name.set(U"n", 1);
  EXPECT_EQ(l.addCol(fftInteger, 0, 0, &name), 2);  // existing lines get an empty cell
  EXTfldval c;
  ASSERT_TRUE(l.getColValRef(3, 2, c, qtrue));
  EXPECT_EQ(c.getType(), fftInteger);
  c.setLong(9);
  EXTfldval got;
  ASSERT_TRUE(l.getColVal(3, 2, got));
  EXPECT_EQ(got.getLong(), 9);
  EXPECT_FALSE(l.getColValRef(4, 1, c, qfalse));
  EXPECT_FALSE(l.getColValRef(1, 3, c, qfalse));
  l.selectRow(2, qtrue);
  EXPECT_TRUE(l.isRowSelected(2));
  EXPECT_FALSE(l.isRowSelected(2, qtrue));
  EXPECT_FALSE(l.isRowSelected(9));
  l.setCurRow(9);
  EXPECT_EQ(l.getCurRow(), 0);
  hostrt::setListRefusal(true, true);
  EXPECT_EQ(l.insertRow(), 0);
  EXPECT_EQ(l.addCol(fftCharacter, 0, 0, &name), 0);
  hostrt::resetFailures();
  EXTqlist row(qtrue);
  EXPECT_EQ(row.insertRow(), 1);
  EXPECT_EQ(row.insertRow(), 0);  // a row has one line
  EXPECT_EQ(row.getCurRow(), 1);
}

TEST(HostLists, StableSortOnSeveralFields) {
  EXTfldval v = list({{"k"}, {"n", fftInteger}},
                     {{"b", "2"}, {"a", "9"}, {"B", "1"}, {"a", "3"}, {"\xC3\xA9", "0"}});
  EXTqlist l;
  v.getList(&l, true);
  l.setCurRow(2);  // ("a", 9)
  const qsortField byKeyThenNumberDown[] = {{1, false, false}, {2, true, false}};
  l.sort(byKeyThenNumberDown, 2);
  std::string order;
  for (qlong r = 1; r <= l.rowCnt(); ++r) order += cell(v, r, 1) + cell(v, r, 2) + " ";
  EXPECT_EQ(order,
            "B1 a9 a3 b2 \xC3\xA9"
            "0 ");
  EXPECT_EQ(l.getCurRow(), 2);  // the current line moved with its line
  const qsortField ignoringCase[] = {{1, false, true}};
  l.sort(ignoringCase, 1);
  order.clear();
  for (qlong r = 1; r <= l.rowCnt(); ++r) order += cell(v, r, 1) + cell(v, r, 2) + " ";
  EXPECT_EQ(order,
            "a9 a3 B1 b2 \xC3\xA9"
            "0 ");
}

TEST(HostCharacters, InvalidUtf8BecomesReplacementCharacters) {
  const struct {
    std::string in;
    std::u32string out;
  } cases[] = {
      {"abc", U"abc"},
      {"\xC3\xA9", U"\u00E9"},
      {"\xF0\x9F\x98\x80", U"\U0001F600"},
      {"\xC3", U"\uFFFD"},
      {"\xC0\xAF", U"\uFFFD\uFFFD"},    // overlong lead byte, stray continuation
      {"\xE0\x80\xAF", U"\uFFFD"},      // overlong three-byte form
      {"\xED\xA0\x80", U"\uFFFD"},      // a surrogate
      {"\xF4\x90\x80\x80", U"\uFFFD"},  // above U+10FFFF
      {"a\xFFz", U"a\uFFFDz"},
  };
  for (const auto& c : cases) EXPECT_EQ(hostrt::toU32(c.in), c.out) << c.in;
  const std::u32string bad{0x110000, 0xD800, U'x'};
  EXPECT_EQ(hostrt::fromU32(bad), "\xEF\xBF\xBD\xEF\xBF\xBDx");
  uint16_t utf16[4];
  const qchar astral = 0x1F600;
  ASSERT_EQ(CHARconvToUtf16(&astral, 1, utf16), 2);
  EXPECT_EQ(utf16[0], 0xD83D);
  EXPECT_EQ(utf16[1], 0xDE00);
}

TEST(HostCharacters, SimpleCaseMapping) {
  EXPECT_EQ(uppC(U'a'), U'A');
  EXPECT_EQ(uppC(U'\u00E9'), U'\u00C9');
  EXPECT_EQ(lowC(U'\u0130'), U'i');       // simple mapping: one character out
  EXPECT_EQ(uppC(U'\u00DF'), U'\u00DF');  // no single upper-case form
  EXPECT_EQ(lowC(U'\u0416'), U'\u0436');
  EXPECT_EQ(ECOuprCmp(U"stra\u00DFe", U"STRA\u00DFE", 6), 0);
}

TEST(HostContext, NamedValues) {
  HostContext ctx;
  ctx.cinst = list({{"id", fftInteger}, {"name"}}, {{"7", "ann"}}, true);
  ctx.setVar("Tbl", list({{"col"}}, {{"x"}, {"y"}}));
  EXTqlist l;
  ctx.findVar("tbl")->getList(&l, true);
  l.setCurRow(2);
  EXTCompInfo eci;
  eci.mContext = &ctx;
  const struct {
    std::u32string name;
    bool found;
    const char* value;
  } cases[] = {
      {U"$cinst.C1", true, "7"}, {U"$CINST.c2", true, "ann"}, {U"$cinst.name", true, "ann"},
      {U"$cinst.C3", false, ""}, {U"tbl.COL", true, "y"},     {U"tbl.co", false, ""},
      {U"tbl", true, ""},        {U"nothing", false, ""}};
  for (const auto& c : cases) {
    EXTfldval out;
    EXPECT_EQ(ECOfindVariable(&eci, c.name.data(), static_cast<qlong>(c.name.size()), out), c.found)
        << hostrt::fromU32(c.name);
    if (c.found && out.getType() != fftList) EXPECT_EQ(text(out), c.value);
  }
  EXTfldval ref;
  ECOfindVariable(&eci, U"$cinst.C2", 9, ref);
  ref = chr("bob");  // changes stay in the instance's row
  EXPECT_EQ(cell(ctx.cinst, 1, 2), "bob");
}

TEST(HostHandles, ResizeKeepsTheBytesWhateverTheSize) {
  for (qlong from : {0, 16, 1024, 1025, 5000}) {
    qHandleInfo* h = HANglobalAlloc(from, qfalse);
    ASSERT_NE(h, nullptr);
    for (qlong i = 0; i < from; ++i) h->mData[i] = static_cast<qbyte>(i * 7);
    for (qlong to : {from + 1, from * 3 + 2000, from / 2}) {
      ASSERT_TRUE(HANglobalReAlloc(h, to)) << from << " to " << to;
      EXPECT_EQ(h->mAllocated, to);
      const qlong kept = std::min(from, to);
      for (qlong i = 0; i < kept; ++i) ASSERT_EQ(h->mData[i], static_cast<qbyte>(i * 7)) << i;
      from = kept;
    }
    HANglobalFree(h);
  }
}

TEST(HostHandles, AllocationSwitch) {
  hostrt::setAllocFailure(2, 0);
  qHandleInfo* a = HANglobalAlloc(10, qtrue);
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->mData[9], 0);
  EXPECT_EQ(HANglobalAlloc(10, qfalse), nullptr);  // the second fails
  qHandleInfo* c = HANglobalAlloc(10, qfalse);     // and only that one
  ASSERT_NE(c, nullptr);
  hostrt::setAllocFailure(0, 100);
  EXPECT_FALSE(HANglobalReAlloc(c, 101));
  EXPECT_EQ(c->mAllocated, 10);
  EXPECT_TRUE(HANglobalReAlloc(c, 100));
  hostrt::resetFailures();
  HANglobalFree(a);
  HANglobalFree(c);
}

}  // namespace
