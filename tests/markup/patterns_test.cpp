// $findPatterns and $replacePatterns through the entry procedure.
#include "patterns.h"

#include <string>
#include <vector>

#include "testhost.h"

using namespace zqtest;

namespace {

// One row of the result list of $findPatterns: Order, Name, Content, Start, End.
struct Found {
  qlong order;
  std::string name, content;
  qlong start, end;
  bool operator==(const Found& o) const {
    return order == o.order && name == o.name && content == o.content && start == o.start &&
           end == o.end;
  }
};
std::ostream& operator<<(std::ostream& os, const Found& f) {
  return os << "{" << f.order << "," << f.name << "," << f.content << "," << f.start << "," << f.end
            << "}";
}

EXTfldval patternRow(const std::vector<std::pair<std::string, std::string>>& patterns) {
  std::vector<Col> cols;
  std::vector<std::string> values;
  for (const auto& p : patterns) {
    cols.push_back({p.first});
    values.push_back(p.second);
  }
  return list(cols, {values}, true);
}

EXTfldval ranges(const std::vector<std::vector<std::string>>& rows) {
  return list({{"s", fftInteger}, {"e", fftInteger}, {"r"}}, rows);
}

class Patterns : public ComponentTest {
 protected:
  std::vector<Found> find(EXTfldval patterns, const std::string& text) {
    std::vector<EXTfldval> params{patterns, chr(text)};
    auto r = call("$findPatterns", params);
    EXPECT_TRUE(r.errors.empty()) << (r.errors.empty() ? "" : r.errors[0].detail);
    EXPECT_EQ(r.ret.getType(), fftList);
    EXTqlist result;
    std::vector<Found> rows;
    if (!r.ret.getList(&result, qfalse)) return rows;
    for (qlong row = 1; row <= result.rowCnt(); ++row) {
      EXTfldval order, start, end;
      result.getColVal(row, 1, order);
      result.getColVal(row, 4, start);
      result.getColVal(row, 5, end);
      rows.push_back({order.getLong(), cell(r.ret, row, 2), cell(r.ret, row, 3), start.getLong(),
                      end.getLong()});
    }
    return rows;
  }
  std::string replace(EXTfldval rangeList, const std::string& text) {
    std::vector<EXTfldval> params{rangeList, chr(text)};
    auto r = call("$replacePatterns", params);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getType(), fftCharacter);
    return zqtest::text(r.ret);
  }
};

TEST_F(Patterns, ResultListColumns) {
  std::vector<EXTfldval> params{patternRow({{"p", "x"}}), chr("x")};
  auto r = call("$findPatterns", params);
  EXTqlist result;
  ASSERT_TRUE(r.ret.getList(&result, qfalse));
  const struct {
    const char* name;
    ffttype type;
    qshort subtype;
  } expected[] = {{"Order", fftInteger, 0},
                  {"Name", fftCharacter, 255},
                  {"Content", fftCharacter, 255},
                  {"Start", fftInteger, 0},
                  {"End", fftInteger, 0}};
  ASSERT_EQ(result.colCnt(), 5);
  for (qshort c = 1; c <= 5; ++c) {
    str255 name;
    result.getColName(c, name);
    EXPECT_EQ(hostrt::fromU32(std::u32string(name.cString(), name.length())), expected[c - 1].name);
    qshort subtype = -1;
    qlong maxLen = 0;
    EXPECT_EQ(result.getColType(c, &subtype, &maxLen), expected[c - 1].type);
    EXPECT_EQ(subtype, expected[c - 1].subtype);
    EXPECT_EQ(maxLen, 10000000);
  }
}

TEST_F(Patterns, Find) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> patterns;
    std::string text;
    std::vector<Found> expected;
  } cases[] = {
      {{}, "anything", {}},
      {{{"p", "abc"}}, "xxABCx abc", {{1, "p", "", 2, 5}, {1, "p", "", 7, 10}}},
      {{{"g", "a(b)?c"}}, "ac abc", {{1, "g", "", 0, 2}, {1, "g", "b", 3, 6}}},
      {{{"ll", "l(l)"}}, "hello", {{1, "ll", "l", 2, 4}}},
      // Positions count characters, not bytes.
      {{{"w", "(ö+)"}}, "h\u00e9\u00e9 \U0001F600\u00d6\u00f6x", {{1, "w", "\u00d6\u00f6", 5, 7}}},
      // Rows come by pattern order, then by start; two patterns may match at one place.
      {{{"second", "b+"}, {"first", "(a)b"}},
       "ab abb",
       {{1, "second", "", 1, 2},
        {1, "second", "", 4, 6},
        {2, "first", "a", 0, 2},
        {2, "first", "a", 3, 5}}},
      {{{"empty", "x*"}},
       "ab",
       {{1, "empty", "", 0, 0}, {1, "empty", "", 1, 1}, {1, "empty", "", 2, 2}}},
      {{{"none", "z"}}, "", {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(find(patternRow(c.patterns), c.text), c.expected) << c.text;
  }
}

TEST_F(Patterns, FirstLineOfAListIsThePatternRow) {
  EXTfldval patterns = list({{"a"}, {"b"}}, {{"x", "y"}, {"q", "q"}});
  EXPECT_EQ(find(patterns, "yqx"), (std::vector<Found>{{1, "a", "", 2, 3}, {2, "b", "", 0, 1}}));
}

TEST_F(Patterns, FindFaults) {
  struct Case {
    std::vector<EXTfldval> params;
    const char* detail;
  } cases[] = {
      {{patternRow({{"p", "x"}})}, "Parameter count must be exactly 2"},
      {{chr("x"), chr("x")}, "Parameter 1 must be of type row"},
      {{patternRow({{"p", "x"}}), boolean(true)}, "Parameter 2 must be of type character"},
      {{list({{"p", fftInteger}}, {{"5"}}, true), chr("5")}, "Invalid pattern"},
      {{list({{"p"}}, {}, false), chr("5")}, "Invalid pattern"},
      {{patternRow({{"ok", "a"}, {"Broken", "(a"}}), chr("a")},
       "Invalid pattern \"Broken\" (column 2): "},
      {{patternRow({{"Runaway", "(x+x+)+y"}}), chr(std::string(40, 'x'))},
       "Invalid pattern \"Runaway\" (column 1): The complexity of matching"},
      {{patternRow({{"Deep", "(a|b)*"}}), chr(std::string(1000000, 'a'))},
       "Invalid pattern \"Deep\" (column 1): Ran out of stack space"},
  };
  for (Case& c : cases) {
    auto r = call("$findPatterns", c.params);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u) << c.detail;
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].method, "$findPatterns");
    // Library faults name the pattern, then give the library's reason.
    EXPECT_EQ(r.errors[0].detail.rfind(c.detail, 0), 0u) << r.errors[0].detail;
    if (std::string(c.detail).back() == ' ') {
      EXPECT_GT(r.errors[0].detail.size(), 40u);
    }
  }
}

TEST_F(Patterns, ListRefusals) {
  std::vector<EXTfldval> params{patternRow({{"p", "a"}}), chr("aaa")};
  hostrt::setListRefusal(true, false);
  auto rows = call("$findPatterns", params);
  hostrt::setListRefusal(false, true);
  auto cols = call("$findPatterns", params);
  for (const auto& r : {rows, cols}) {
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -103);
  }
}

TEST_F(Patterns, Replace) {
  const struct {
    std::vector<std::vector<std::string>> rows;
    std::string text, expected;
  } cases[] = {
      {{}, "hello", "hello"},
      {{{"2", "4", "LL"}}, "hello", "heLLo"},
      {{{"2", "4", ""}}, "hello", "heo"},
      {{{"0", "0", "X"}}, "hello", "Xhello"},
      {{{"5", "5", "!"}}, "hello", "hello!"},
      {{{"3", "5", "P"}, {"0", "1", "J"}}, "hello", "JelP"},
      {{{"1", "4", "_"}, {"2", "3", "*"}}, "hello", "h_*lo"},  // copying resumes at 3
      {{{"1", "2", "\u00c9"}}, "\u00e9\u00e9\u00e9", "\u00e9\u00c9\u00e9"},
      // Positions outside the text are clamped to it.
      {{{"-3", "1", "J"}}, "hello", "Jello"},
      {{{"4", "99", "!"}}, "hello", "hell!"},
      {{{"7", "9", "!"}}, "hello", "hello!"},
      {{{"2", "-5", "-"}}, "abc", "ab-abc"},
      {{{"0", "0", "x"}}, "", "x"},
  };
  for (const auto& c : cases) EXPECT_EQ(replace(ranges(c.rows), c.text), c.expected) << c.text;
}

TEST_F(Patterns, ReplaceSortsTheRangeList) {
  EXTfldval rangeList = ranges({{"3", "4", "L"}, {"0", "1", "H"}});
  std::vector<EXTfldval> params{rangeList, chr("hello")};
  auto r = call("$replacePatterns", params);
  EXPECT_EQ(text(r.ret), "HelLo");
  EXPECT_EQ(r.changed, std::vector<qlong>{1});
  EXPECT_EQ(cell(params[0], 1, 3), "H");
  // Already in order: left alone.
  auto again = call("$replacePatterns", params);
  EXPECT_TRUE(again.changed.empty());
}

TEST_F(Patterns, ReplacementsOfOtherTypesUseTheirText) {
  EXTfldval rangeList =
      list({{"s"}, {"e"}, {"r", fftInteger}}, {{"10", "11", "7"}, {"9", "10", "42"}});
  EXPECT_EQ(replace(rangeList, "0123456789ab"), "012345678427b");
}

TEST_F(Patterns, ReplaceFaults) {
  struct Case {
    std::vector<EXTfldval> params;
    qlong code;
    const char* detail;
  } cases[] = {
      {{ranges({})}, -102, "Parameter count must be exactly 2"},
      {{patternRow({{"p", "x"}}), chr("x")}, -102, "Parameter 1 must be of type list"},
      {{ranges({}), list({{"a"}}, {})}, -102, "Parameter 2 must be of type character"},
  };
  for (Case& c : cases) {
    auto r = call("$replacePatterns", c.params);
    ASSERT_EQ(r.errors.size(), 1u) << c.detail;
    EXPECT_EQ(r.errors[0].code, c.code);
    EXPECT_EQ(r.errors[0].detail, c.detail);
  }
  std::vector<EXTfldval> params{ranges({{"0", "0", "x"}}), chr(std::string(3000, 'a'))};
  hostrt::setAllocFailure(0, 4096);
  auto r = call("$replacePatterns", params);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
}

TEST(ReplaceRanges, ClampsAndKeepsOrder) {
  const std::u32string text = U"abcdef", x = U"X";
  const std::vector<ReplaceRange> edits = {
      {-1, 1, x.data(), 1}, {3, 2, nullptr, 0}, {9, 12, x.data(), 1}};
  CharBuffer out;
  replaceRanges(text.data(), 6, edits, out);
  EXPECT_EQ(std::u32string(out.data(), static_cast<size_t>(out.length())), U"XbccdefX");
}

}  // namespace

// Patterns that end inside a set, a recursion or a group reference. The parser used to read
// past the last character of such a pattern (seen under valgrind, which the PatternsValgrind
// test runs); each must be refused with the pattern's name.
TEST_F(Patterns, UnfinishedPatternsAreRefused) {
  for (const char* pattern : {"[\\", "[a-z", "a(?1", "a(?+1", "a(?R", "[[:alp", "\\x{4", "(?<n"}) {
    std::vector<EXTfldval> params{patternRow({{"Cut", pattern}}), chr("abc")};
    auto r = call("$findPatterns", params);
    ASSERT_EQ(r.errors.size(), 1u) << pattern;
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].detail.rfind("Invalid pattern \"Cut\" (column 1): ", 0), 0u)
        << r.errors[0].detail;
  }
}

// The result comes in the order of a stable sort on Order, then Start: matches at the same
// start keep the order they were found in, whichever engine found them.
TEST_F(Patterns, RowsComeOrderedByOrderThenStart) {
  EXPECT_EQ(find(patternRow({{"e", "|a"}, {"w", "\\w+|\\b"}}), "aa b"),
            (std::vector<Found>{{1, "e", "", 0, 0},
                                {1, "e", "", 0, 1},
                                {1, "e", "", 1, 1},
                                {1, "e", "", 1, 2},
                                {1, "e", "", 2, 2},
                                {1, "e", "", 3, 3},
                                {1, "e", "", 4, 4},
                                {2, "w", "", 0, 2},
                                {2, "w", "", 2, 2},
                                {2, "w", "", 3, 4},
                                {2, "w", "", 4, 4}}));
  // Texts that send the patterns to either engine.
  for (const char* text : {"x1 yy2 z", "x1 \u017Fy2 z\r\n", "\u00e9t\u00e9 2024-01-02 a@b.cd"}) {
    const std::vector<Found> rows =
        find(patternRow({{"a", "\\d*"}, {"b", "(\\w)\\w*"}, {"c", "[a-z]?"}, {"d", "$|^"}}), text);
    ASSERT_FALSE(rows.empty());
    for (size_t i = 1; i < rows.size(); ++i) {
      const Found& p = rows[i - 1];
      const Found& r = rows[i];
      EXPECT_TRUE(p.order < r.order || (p.order == r.order && p.start <= r.start)) << text << i;
    }
  }
}
