// $stringtolist and $listtostring through the entry procedure.
#include "listhelpers.h"

using namespace zqtest;

namespace {

class StringToList : public ComponentTest {};
class ListToString : public ComponentTest {};

const std::vector<Col> kABC = {{"ColA"}, {"ColB"}, {"ColC"}};

TEST_F(StringToList, CutsFieldsIntoGroupsPerRow) {
  struct Case {
    const char* text;
    const char* delim;
    qlong perRow;
    const char* names;
    Rows expected;
  } cases[] = {
      {"a,b,c,d", ",", 2, "ColA,ColB", {{"a", "b", ""}, {"c", "d", ""}}},
      {"a,b,c,d", ",", 3, "ColA,ColB,ColC", {{"a", "b", "c"}, {"d", "", ""}}},
      {"a,b,", ",", 2, "ColA,ColB", {{"a", "b", ""}}},
      {"a,,b", ",", 3, "ColA,ColB,ColC", {{"a", "", "b"}}},
      {",x", ",", 2, "ColA,ColB", {{"", "x", ""}}},
      {"a\tb", "", 2, "ColA,ColB", {{"a", "b", ""}}},   // empty delimiter: tab
      {"a;b", ";,", 2, "ColA,ColB", {{"a", "b", ""}}},  // first character only
      // A name that the list lacks leaves no gap; names ignore case.
      {"1,2,3,4", ",", 2, "cola,Missing,COLC", {{"1", "", "2"}, {"3", "", "4"}}},
      // Names are not trimmed: " ColB" matches nothing, the second field has no column.
      {"a,b", ",", 2, "ColA, ColB", {{"a", "", ""}}},
      // More fields per row than names found: the extra fields are dropped.
      {"a,b,c,d,e,f", ",", 3, "ColA,ColB", {{"a", "b", ""}, {"d", "e", ""}}},
      // Repeating a name maps it twice; the later field wins.
      {"a,b", ",", 2, "ColB,ColB", {{"", "b", ""}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + std::string(" / ") + c.names);
    std::vector<EXTfldval> p{chr(c.text), integer(c.perRow), list(kABC, {}), chr(c.delim),
                             chr(c.names)};
    auto r = call("$stringtolist", p);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(rowsOf(p[2]), c.expected);
    EXPECT_EQ(r.changed, std::vector<qlong>{3});
  }
}

TEST_F(StringToList, AppendsAfterExistingRowsAndConvertsToColumnTypes) {
  std::vector<EXTfldval> p{chr("7,x,-3,y"), integer(2),
                           list({{"N", fftInteger}, {"T"}}, {{"1", "old"}}), chr(","), chr("N,T")};
  auto r = call("$stringtolist", p);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(rowsOf(p[2]), (Rows{{"1", "old"}, {"7", "x"}, {"-3", "y"}}));
  EXTqlist l;
  p[2].getList(&l, qfalse);
  EXTfldval v;
  l.getColValRef(3, 1, v, qfalse);
  EXPECT_EQ(v.getType(), fftInteger);
  EXPECT_EQ(v.getLong(), -3);

  // Text that the column cannot take leaves the cell empty, still of the column's type.
  std::vector<EXTfldval> q{chr("abc"), integer(1), list({{"N", fftInteger}}, {}), chr(","),
                           chr("N")};
  call("$stringtolist", q);
  EXTqlist m;
  q[2].getList(&m, qfalse);
  m.getColValRef(1, 1, v, qfalse);
  EXPECT_EQ(v.getType(), fftInteger);
  EXPECT_EQ(v.getLong(), 0);
}

TEST_F(StringToList, EmptyTextAddsNothing) {
  std::vector<EXTfldval> p{chr(""), integer(2), list(kABC, {{"k", "", ""}}), chr(","), chr("ColA")};
  auto r = call("$stringtolist", p);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(rowCount(p[2]), 1);
  EXPECT_TRUE(r.changed.empty());

  // A text cut into a list without columns adds no rows; the list is still reported written.
  std::vector<EXTfldval> q{chr("a,b"), integer(1), list({}, {}), chr(","), chr("ColA")};
  r = call("$stringtolist", q);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(rowCount(q[2]), 0);
  EXPECT_EQ(r.changed, std::vector<qlong>{3});
}

TEST_F(StringToList, ParameterErrorsInReadingOrder) {
  struct Case {
    std::vector<EXTfldval> params;
    const char* detail;
  } cases[] = {
      {{chr("a"), integer(1), list(kABC, {}), chr(",")}, "Parameter count must be 5"},
      {{chr("a"), chr("x"), list(kABC, {}), chr(","), chr("ColA")},
       "Parameter 2 must be an integer"},
      {{chr("a"), integer(0), list(kABC, {}), chr(","), chr("ColA")}, "Parameter 2 out of range"},
      {{chr("a"), integer(256), chr("x"), chr(","), chr("ColA")}, "Parameter 2 out of range"},
      {{chr("a"), integer(255), list(kABC, {}, true), chr(","), chr("ColA")},
       "Parameter 3 must be a list"},
      {{boolean(true), integer(1), list(kABC, {}), boolean(true), boolean(true)},
       "Parameter 5 must be of type character"},
      {{boolean(true), integer(1), list(kABC, {}), boolean(true), chr("")},
       "Parameter 5 must specify column names"},
      {{boolean(true), integer(1), list(kABC, {}), boolean(true), chr("ColA")},
       "Parameter 4 must be of type character"},
      {{boolean(true), integer(1), list(kABC, {}), chr(","), chr("ColA")},
       "Parameter 1 must be of type character"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.detail);
    auto r = call("$stringtolist", c.params);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].detail, c.detail);
    EXPECT_EQ(r.errors[0].method, "$stringtolist");
  }
}

TEST_F(StringToList, RefusedRowReportsOutOfMemory) {
  std::vector<EXTfldval> p{chr("a,b"), integer(1), list(kABC, {}), chr(","), chr("ColA")};
  hostrt::setListRefusal(true, false);
  auto r = call("$stringtolist", p);
  EXPECT_EQ(r.ret.getLong(), 0);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
  EXPECT_EQ(r.errors[0].message, "Out of memory.");
  EXPECT_EQ(r.errors[0].detail, "");
  EXPECT_EQ(rowCount(p[2]), 0);
}

std::vector<EXTfldval> joinParams(const EXTfldval& l, qlong count, const char* sep,
                                  const char* names) {
  return {chr("old"), integer(count), l, chr(sep), chr(names)};
}

TEST_F(ListToString, JoinsMappedColumnsEachFollowedBySeparator) {
  const EXTfldval two = list(kABC, {{"a", "b", "z"}, {"c", "d", "z"}});
  struct Case {
    const char* sep;
    qlong count;
    const char* names;
    std::string expected;
  } cases[] = {
      {",", 2, "ColA,ColB", "a,b,c,d,"}, {"", 2, "ColA,ColB", "a\tb\tc\td\t"},
      {",", 2, "colb,COLA", "b,a,d,c,"}, {",", 3, "ColA,Nope,ColB,ColA", "a,b,a,c,d,c,"},
      {"|", 1, "ColC", "z|z|"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.names);
    auto p = joinParams(two, c.count, c.sep, c.names);
    auto r = call("$listtostring", p);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(text(p[0]), c.expected);
    EXPECT_EQ(r.changed, std::vector<qlong>{1});
  }
}

TEST_F(ListToString, SelectedRowsOnly) {
  EXTfldval l = list(kABC, {{"a", "b", ""}, {"c", "d", ""}, {"e", "f", ""}});
  EXTqlist q;
  l.getList(&q, qtrue);
  q.selectRow(2, qtrue);
  auto p = joinParams(l, 2, ",", "ColA,ColB");
  p.push_back(integer(5));  // any non-zero value selects
  call("$listtostring", p);
  EXPECT_EQ(text(p[0]), "c,d,");
  q.selectRow(2, qfalse);
  auto none = joinParams(l, 2, ",", "ColA,ColB");
  none.push_back(boolean(true));
  auto r = call("$listtostring", none);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(text(none[0]), "");
}

TEST_F(ListToString, NonCharacterAndLongCells) {
  const std::string longText(300, 'x');
  auto p = joinParams(list({{"N", fftInteger}, {"T"}}, {{"42", longText}}), 2, ";", "N,T");
  call("$listtostring", p);
  EXPECT_EQ(text(p[0]), "42;" + longText + ";");
}

TEST_F(ListToString, EmptyListsAndMismatchesLeaveParameterOneEmpty) {
  struct Case {
    EXTfldval l;
    qlong count;
    const char* names;
    const char* detail;  // null: success
  } cases[] = {
      {list(kABC, {}), 2, "ColA,ColB", nullptr},
      {list({}, {}), 2, "ColA,ColB", nullptr},
      {list(kABC, {{"a", "b", "c"}}), 2, "ColA,Missing", "Column count mismatch"},
      {list(kABC, {{"a", "b", "c"}}), 0, "ColA", "Column count mismatch"},
      {list(kABC, {{"a", "b", "c"}}), 300, "ColA,ColB", "Column count mismatch"},
  };
  for (Case& c : cases) {
    auto p = joinParams(c.l, c.count, ",", c.names);
    auto r = call("$listtostring", p);
    EXPECT_EQ(text(p[0]), "");
    EXPECT_EQ(p[0].getType(), fftCharacter);
    EXPECT_EQ(r.changed, std::vector<qlong>{1});
    if (!c.detail) {
      EXPECT_EQ(r.ret.getLong(), 1);
      EXPECT_TRUE(r.errors.empty());
    } else {
      EXPECT_EQ(r.ret.getLong(), 0);
      ASSERT_EQ(r.errors.size(), 1u);
      EXPECT_EQ(r.errors[0].code, -2);
      EXPECT_EQ(r.errors[0].detail, c.detail);
    }
  }
}

TEST_F(ListToString, ParameterErrorsInReadingOrder) {
  const EXTfldval l = list(kABC, {{"a", "b", "c"}});
  struct Case {
    std::vector<EXTfldval> params;
    const char* detail;
  } cases[] = {
      {{chr(""), integer(1), l, chr(",")}, "Parameter count must be 5"},
      {{boolean(true), chr("x"), chr("x"), boolean(true), boolean(true)},
       "Parameter 1 must be of type character"},
      {{chr(""), chr("x"), list(kABC, {}, true), boolean(true), boolean(true)},
       "Parameter 3 must be a list"},
      {{chr(""), chr("x"), l, boolean(true), boolean(true)},
       "Parameter 5 must be of type character"},
      {{chr(""), chr("x"), l, boolean(true), chr("")}, "Parameter 5 must not be empty"},
      {{chr(""), chr("x"), l, boolean(true), chr("ColA")}, "Parameter 2 must be an integer"},
      {{chr(""), integer(1), l, boolean(true), chr("ColA")},
       "Parameter 4 must be of type character"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.detail);
    auto r = call("$listtostring", c.params);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].detail, c.detail);
  }
}

TEST_F(ListToString, RefusedBufferGivesZeroWithoutReport) {
  auto p = joinParams(list(kABC, {{"a", "b", "c"}}), 1, ",", "ColA");
  hostrt::setAllocFailure(1, 0);
  auto r = call("$listtostring", p);
  EXPECT_EQ(r.ret.getLong(), 0);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(text(p[0]), "");
}

}  // namespace
