// $assignRow by position and by column name.
#include "listhelpers.h"

using namespace zqtest;

namespace {

class AssignRow : public ComponentTest {};

TEST_F(AssignRow, ByPositionCopiesTheCommonColumns) {
  std::vector<EXTfldval> p{list({{"x"}, {"y"}, {"z"}}, {{"1", "2", "3"}}, true),
                           list({{"a"}, {"b"}, {"c"}, {"d"}, {"e"}},
                                {{"a1", "b1", "c1", "d1", "e1"}, {"a2", "b2", "c2", "d2", "e2"}})};
  EXTqlist src;
  p[1].getList(&src, qtrue);
  src.setCurRow(2);
  auto r = call("$assignRow", p);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(rowsOf(p[0]), (Rows{{"a2", "b2", "c2"}}));
  EXPECT_EQ(r.changed, std::vector<qlong>{1});

  // Into the current line of a list, with a shorter source; parameter 3 false.
  std::vector<EXTfldval> q{list({{"x"}, {"y"}}, {{"1", "2"}, {"3", "4"}}),
                           list({{"a", fftInteger}}, {{"9"}}, true), boolean(false)};
  EXTqlist dst;
  q[0].getList(&dst, qtrue);
  dst.setCurRow(2);
  call("$assignRow", q);
  EXPECT_EQ(rowsOf(q[0]), (Rows{{"1", "2"}, {"9", "4"}}));
}

TEST_F(AssignRow, ByNameMatchesIgnoringCase) {
  std::vector<EXTfldval> p{
      list({{"Name"}, {"Keep"}, {"Age"}, {"name"}}, {{"n0", "k0", "a0", "m0"}}),
      list({{"AGE"}, {"Other"}, {"NAME"}}, {{"42", "o", "Bob"}}, true), boolean(true)};
  auto r = call("$assignRow", p);
  EXPECT_EQ(r.ret.getLong(), 1);
  // The first of two same-named columns receives the value; unmatched columns keep theirs.
  EXPECT_EQ(rowsOf(p[0]), (Rows{{"Bob", "k0", "42", "m0"}}));
  EXPECT_EQ(r.changed, std::vector<qlong>{1});

  std::vector<EXTfldval> q{list({{"a"}}, {{"1"}}), list({{"b"}}, {{"2"}}), integer(1)};
  r = call("$assignRow", q);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(rowsOf(q[0]), (Rows{{"1"}}));
  EXPECT_TRUE(r.changed.empty());
}

TEST_F(AssignRow, ByNameWithAnUnnamedDestinationColumn) {
  // A destination column without a name matches nothing and must not shift the others.
  std::vector<EXTfldval> p{list({{""}, {"b"}, {"c"}}, {{"x", "y", "z"}}, true),
                           list({{"B"}, {"c"}}, {{"1", "2"}}, true), boolean(true)};
  auto r = call("$assignRow", p);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(rowsOf(p[0]), (Rows{{"x", "1", "2"}}));
  EXPECT_EQ(r.changed, std::vector<qlong>{1});
}

TEST_F(AssignRow, WithoutColumnsDoesNothing) {
  for (bool byName : {false, true}) {
    std::vector<EXTfldval> p{list({}, {}, true), list({{"a"}}, {{"1"}}), boolean(byName)};
    auto r = call("$assignRow", p);
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.changed.empty());
    std::vector<EXTfldval> q{list({{"a"}}, {{"1"}}), list({}, {}, true), boolean(byName)};
    r = call("$assignRow", q);
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_TRUE(r.changed.empty());
  }
}

TEST_F(AssignRow, Errors) {
  const EXTfldval ok = list({{"a"}}, {{"1"}});
  EXTfldval noLine = list({{"a"}}, {{"1"}});
  EXTqlist l;
  noLine.getList(&l, qtrue);
  l.setCurRow(0);
  struct Case {
    std::vector<EXTfldval> params;
    const char* detail;
  } cases[] = {
      {{ok}, "Parameter count must be 2 or more"},
      {{chr("x"), ok}, "Parameter 1 must specify the field's name and must be a list or row"},
      {{noLine, chr("x")}, "Parameter 1 must have a current line"},
      {{ok, integer(1)}, "Parameter 2 must specify the field's name and must be a list or row"},
      {{ok, noLine}, "Parameter 2 must have a current line"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.detail);
    auto r = call("$assignRow", c.params);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].detail, c.detail);
    EXPECT_EQ(r.errors[0].method, "$assignRow");
  }
}

}  // namespace
