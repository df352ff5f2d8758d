// $binarysearch on a list variable of the calling context.
#include "listhelpers.h"

using namespace zqtest;

namespace {

class BinarySearch : public ComponentTest {
 protected:
  // Puts a one-column list "lst" (column "Val") into the context, current line 1.
  void setList(const std::vector<std::string>& values, ffttype type = fftCharacter) {
    Rows rows;
    for (const std::string& v : values) rows.push_back({v});
    host.context().setVar("lst", list({{"Val", type}}, rows));
  }
  EXTfldval& var() { return *host.context().findVar("lst"); }
  hostrt::CallOutcome search(EXTfldval value, qlong compareLength, const char* column = "Val") {
    std::vector<EXTfldval> p{chr("lst"), chr(column), value, integer(compareLength)};
    return call("$binarysearch", p);
  }
};

TEST_F(BinarySearch, FindsTheFirstMatchAndSetsTheCurrentLine) {
  struct Case {
    std::vector<std::string> rows;
    std::string value;
    qlong n;
    qlong found, line;
  } cases[] = {
      {{"x"}, "x", 0, 1, 1},
      {{"a", "b", "b", "c"}, "b", 0, 1, 2},
      {{"b", "b", "b", "b", "b"}, "b", 0, 1, 1},
      {{"a", "b", "c", "d", "e", "f", "g"}, "g", 0, 1, 7},
      {{"a", "b", "c", "d", "e", "f", "g"}, "a", 0, 1, 1},
      {{"aa", "abz", "ac"}, "ab", 2, 1, 2},  // prefix of 2 characters
      {{"ab"}, "ab", 5, 1, 1},               // texts shorter than n compare whole
      {{"abc"}, "ab", 0, 0, 0},              // the longer cell sorts after
      {{"a", "c", "e"}, "d", 0, 0, 0},
      {{"a", "c", "e"}, "z", 0, 0, 0},
      {{"", "a"}, "", 0, 1, 1},
      {{"a", "b"}, "B", 0, 0, 0},  // case-sensitive
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    setList(c.rows);
    auto r = search(chr(c.value), c.n);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getLong(), c.found);
    EXPECT_EQ(currentLine(var()), c.line);
  }
}

TEST_F(BinarySearch, CharactersCompareByCodePoint) {
  // Sorted by code point: above U+00FF the lower byte of a code unit must not decide.
  const std::vector<std::string> sorted = {"b",      "z",      "\u00e9", "\u0101",
                                           "\u0201", "\u03a9", "\u4e2d", "\U0001F600"};
  setList(sorted);
  for (size_t i = 0; i < sorted.size(); ++i) {
    auto r = search(chr(sorted[i]), 0);
    EXPECT_EQ(r.ret.getLong(), 1) << i;
    EXPECT_EQ(currentLine(var()), static_cast<qlong>(i) + 1);
  }
  EXPECT_EQ(search(chr("\u0100"), 0).ret.getLong(), 0);
}

TEST_F(BinarySearch, NonCharacterValuesUseTheHostComparison) {
  setList({"1", "3", "7", "9"}, fftInteger);
  std::vector<EXTfldval> p{chr("lst"), chr("val"), integer(7)};  // no parameter 4 needed
  auto r = call("$binarysearch", p);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(currentLine(var()), 3);
  p[2] = number(4);
  EXPECT_EQ(call("$binarysearch", p).ret.getLong(), 0);
  EXPECT_EQ(currentLine(var()), 0);
}

TEST_F(BinarySearch, SortsTheCallersListFirst) {
  setList({"pear", "apple", "fig", "apple"});
  std::vector<EXTfldval> p{chr("LST"), chr("VAL"), chr("fig"), integer(0), boolean(true)};
  auto r = call("$binarysearch", p);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(rowsOf(var()), (Rows{{"apple"}, {"apple"}, {"fig"}, {"pear"}}));
  EXPECT_EQ(currentLine(var()), 3);
}

TEST_F(BinarySearch, EmptyListReturnsZero) {
  setList({});
  auto r = search(chr("a"), 0);
  EXPECT_EQ(r.ret.getLong(), 0);
  EXPECT_TRUE(r.errors.empty());
}

TEST_F(BinarySearch, ErrorsInCheckingOrder) {
  setList({"a"});
  host.context().setVar("num", integer(3));
  struct Case {
    std::vector<EXTfldval> params;
    const char* detail;
  } cases[] = {
      {{chr("lst"), chr("Val")}, "Parameter count must be 3 or more"},
      {{chr("nolist"), boolean(true), chr("a")},
       "Parameter 4 must be specified when search type is character"},
      {{chr("lst"), chr("Val"), chr("a"), chr("x")},
       "Parameter 4 must be specified when search type is character"},
      {{chr("nolist"), boolean(true), integer(1)},
       "Parameter 1 must specify the field's name and must be a list"},
      {{chr("num"), boolean(true), integer(1)},
       "Parameter 1 must specify the field's name and must be a list"},
      {{integer(5), boolean(true), integer(1)},
       "Parameter 1 must specify the field's name and must be a list"},
      {{chr("lst"), boolean(true), integer(1)}, "Parameter 2 must be of type character"},
      {{chr("lst"), chr("Va"), integer(1)}, "Specified column does not exist in list"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.detail);
    auto r = call("$binarysearch", c.params);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].detail, c.detail);
    EXPECT_EQ(r.errors[0].method, "$binarysearch");
  }
}

}  // namespace
