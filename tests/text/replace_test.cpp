// "$replace", "$replacesinglechar" and "$removechars" through the entry procedure, and the
// replace algorithm on plain buffers.
#include "replace.h"

#include <string>
#include <vector>

#include "testhost.h"

using namespace zqtest;

namespace {

class Replace : public ComponentTest {};

std::u32string replaced(const std::u32string& src, qlong start, const std::u32string& search,
                        const std::u32string& repl, qlong maximum, qlong& count) {
  std::u32string out;
  const qlong status = zqtext::replaceChars(
      src.data(), static_cast<qlong>(src.size()), start, search.data(),
      static_cast<qlong>(search.size()), repl.data(), static_cast<qlong>(repl.size()), maximum,
      [&out](const qchar* c, qlong n) {
        out.append(c, static_cast<size_t>(n));
        return qlong(0);
      },
      count);
  EXPECT_EQ(status, 0);
  return out;
}

TEST(ReplaceChars, OverlapStartLimitAndCase) {
  struct Row {
    std::u32string src, search, repl;
    qlong start, maximum;
    std::u32string want;
    qlong count;
  };
  const Row rows[] = {
      {U"aaaa", U"aa", U"b", 0, 0, U"bb", 2},
      {U"aaa", U"aa", U"b", 0, 0, U"ba", 1},
      {U"abab", U"ab", U"x", 2, 0, U"abx", 1},
      {U"abab", U"ab", U"x", -3, 0, U"xx", 2},
      {U"a-a-a", U"a", U"b", 0, 1, U"b-a-a", 1},
      {U"a-a-a", U"a", U"b", 0, 0, U"b-b-b", 3},
      {U"a-a-a", U"a", U"b", 0, -5, U"b-b-b", 3},
      {U"a-a-a", U"a", U"", 0, 0, U"--", 3},
      {U"Aa", U"a", U"x", 0, 0, U"Ax", 1},
      {U"aXa", U"a", U"aa", 0, 0, U"aaXaa", 2},     // inserted text is not searched again
      {U"abcab", U"abd", U"x", 0, 0, U"abcab", 0},  // first character alone is no match
      {U"xab", U"ab", U"yz", 2, 0, U"xab", 0},      // fewer left than the search text
      {U"\u00e9t\u00e9 \U0001F600", U"\u00e9", U"e", 0, 0, U"ete \U0001F600", 2},
      {std::u32string(40, U'a') + U"needle" + std::u32string(40, U'a') + U"needle", U"needle", U"N",
       0, 0, std::u32string(40, U'a') + U"N" + std::u32string(40, U'a') + U"N", 2},
  };
  for (const Row& r : rows) {
    qlong count = -1;
    EXPECT_EQ(replaced(r.src, r.start, r.search, r.repl, r.maximum, count), r.want)
        << hostrt::fromU32(r.src);
    EXPECT_EQ(count, r.count) << hostrt::fromU32(r.src);
  }
}

TEST(ReplaceChars, MatchesAcrossScanWindows) {
  // Long texts are scanned a window at a time: matches on and around window edges, and a text
  // without any match, must come out exact.
  for (qlong at : {0, 4090, 4093, 4094, 4095, 4096, 4097, 8189, 8190, 8191, 9997}) {
    std::u32string src(10000, U'a');
    src.replace(static_cast<size_t>(at), 3, U"xyz");
    std::u32string want = src;
    want.replace(static_cast<size_t>(at), 3, U"Q");
    qlong count = 0;
    EXPECT_EQ(replaced(src, 0, U"xyz", U"Q", 0, count), want) << at;
    EXPECT_EQ(count, 1) << at;
    EXPECT_EQ(replaced(src, at + 1, U"xyz", U"Q", 0, count), src) << at;
    EXPECT_EQ(count, 0);
  }
}

TEST_F(Replace, ResultReturnAndChangedParameters) {
  std::vector<EXTfldval> p{chr("one two one"), chr("one"), chr("1"),
                           chr("old"),         integer(0), integer(5)};
  auto r = call("$replace", p);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.ret.getLong(), 2);
  EXPECT_EQ(text(p[3]), "1 two 1");
  EXPECT_EQ(r.changed, std::vector<qlong>{4});
  EXPECT_EQ(p[5].getLong(), 5);  // not written on this path
  EXPECT_EQ(text(p[0]), "one two one");
}

TEST_F(Replace, StartAsTextAndNumbersReadAsCharacter) {
  std::vector<EXTfldval> p{integer(12121), integer(1), chr("x"), chr(""), chr("2")};
  auto r = call("$replace", p);
  EXPECT_EQ(r.ret.getLong(), 2);
  EXPECT_EQ(text(p[3]), "12x2x");
}

TEST_F(Replace, EmptySourceClearsResultAndLimit) {
  std::vector<EXTfldval> p{chr(""), chr("a"), chr("b"), chr("old"), integer(0), integer(7)};
  auto r = call("$replace", p);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.ret.getLong(), 0);
  EXPECT_EQ(text(p[3]), "");
  EXPECT_EQ(p[5].getLong(), 0);
  EXPECT_EQ(r.changed, (std::vector<qlong>{4, 6}));
}

TEST_F(Replace, LimitOfTheSecondIntegerKind) {
  // A 64-bit limit below 1 means no limit, however far below; above every count, likewise.
  struct Row {
    qint64 limit;
    qlong want;
  };
  const Row rows[] = {{1, 1},
                      {2, 2},
                      {0, 3},
                      {-1, 3},
                      {-4294967295LL, 3},
                      {-4294967294LL, 3},
                      {INT64_MIN, 3},
                      {2147483648LL, 3},
                      {4294967297LL, 3}};
  for (const Row& row : rows) {
    EXTfldval limit;
    limit.setLong64(row.limit);
    std::vector<EXTfldval> p{chr("a-a-a"), chr("a"), chr("b"), chr(""), integer(0), limit};
    auto r = call("$replace", p);
    EXPECT_TRUE(r.errors.empty()) << row.limit;
    EXPECT_EQ(r.ret.getLong(), row.want) << row.limit;
    EXPECT_EQ(p[5].getLong64(), row.limit);
  }
}

TEST_F(Replace, EmptySourceKeepsTheKindOfTheLimit) {
  EXTfldval limit;
  limit.setLong64(5000000000LL);
  std::vector<EXTfldval> p{chr(""), chr("a"), chr("b"), chr("old"), integer(0), limit};
  auto r = call("$replace", p);
  EXPECT_EQ(r.ret.getLong(), 0);
  EXPECT_EQ(p[5].getType(), fftInt64);
  EXPECT_EQ(p[5].getLong64(), 0);
  EXPECT_EQ(r.changed, (std::vector<qlong>{4, 6}));
}

TEST_F(Replace, EmptySearchOrStartPastTheEndCopiesTheSource) {
  // Nothing can be searched, so nothing is replaced: the result is the source unchanged.
  std::vector<std::vector<EXTfldval>> cases;
  cases.push_back({chr("keep me"), chr(""), chr("x"), chr("old")});
  cases.push_back({chr("keep me"), chr("e"), chr("x"), chr("old"), integer(7)});
  cases.push_back({chr("keep me"), chr("e"), chr("x"), chr("old"), integer(99)});
  for (auto& p : cases) {
    auto r = call("$replace", p);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getLong(), 0);
    EXPECT_EQ(text(p[3]), "keep me");
    EXPECT_EQ(r.changed, std::vector<qlong>{4});
  }
}

TEST_F(Replace, ResultIntoTheSourceVariable) {
  // The host may pass one variable as source and result: the source is read to the end first.
  std::vector<EXTfldval> p{chr("a.b.c"), chr("."), chr("::"), chr("")};
  p[3].setRef(p[0].data());
  auto r = call("$replace", p);
  EXPECT_EQ(r.ret.getLong(), 2);
  EXPECT_EQ(text(p[0]), "a::b::c");
}

TEST_F(Replace, ResultBufferIsReusedOnlyWhenItFitsAndIsNoInput) {
  struct Row {
    const char* source;
    const char* search;
    const char* replacement;
    const char* before;  // the result parameter's text before the call
    bool alias;          // the result is the source variable
    const char* after;
    bool sameBuffer;
  } rows[] = {
      {"hello world", "o", "0", "012345678901", false, "hell0 w0rld", true},
      {"aaaa", "a", "", "bbbb", false, "", false},  // emptied: the buffer goes
      {"hello world", "o", "0", "0123456789012345678901234", false, "hell0 w0rld", false},
      {"hello world", "o", "0", "", true, "hell0 w0rld", false},
      {"ab", "b", "bbbb", "0123456789", false, "abbbb", false},  // may grow: fresh memory
  };
  for (const Row& row : rows) {
    std::vector<EXTfldval> p{chr(row.source), chr(row.search), chr(row.replacement),
                             chr(row.before)};
    if (row.alias) p[3].setRef(p[0].data());
    qHandleInfo* before = p[3].getHandle();
    auto r = call("$replace", p);
    EXPECT_TRUE(r.errors.empty()) << row.before;
    EXPECT_EQ(text(p[3]), row.after) << row.before;
    if (row.sameBuffer) EXPECT_EQ(p[3].getHandle(), before) << row.before;
  }
}

TEST_F(Replace, ParameterErrorsLeaveTheResultAlone) {
  struct Row {
    std::vector<EXTfldval> params;
    const char* detail;
  };
  std::vector<Row> rows;
  rows.push_back({{chr("a"), chr("a"), chr("b")}, "Parameter count must be 4 or more"});
  rows.push_back({{chr("a"), chr("a"), chr("b"), chr("r"), integer(0), integer(0), integer(0)},
                  "Parameter count must be 4 or more"});
  rows.push_back(
      {{boolean(true), chr("a"), chr("b"), chr("r")}, "Parameter 1 must be of type character"});
  rows.push_back(
      {{chr("a"), binary("x"), chr("b"), chr("r")}, "Parameter 2 must be of type character"});
  rows.push_back(
      {{chr("a"), chr("a"), boolean(false), chr("r")}, "Parameter 3 must be of type character"});
  rows.push_back(
      {{chr("a"), chr("a"), chr("b"), boolean(true)}, "Parameter 4 must be of type character"});
  rows.push_back({{chr("a"), chr("a"), chr("b"), number(3), chr("4x")},
                  "Parameter 5 must be of type integer"});
  rows.push_back({{chr("a"), chr("a"), chr("b"), number(3), integer(0), chr("1")},
                  "Parameter 6 must be of type integer"});
  rows.push_back({{chr("a"), chr("a"), chr("b"), number(3), integer(0), number(1)},
                  "Parameter 6 must be of type integer"});
  for (Row& row : rows) {
    std::vector<EXTfldval> before = row.params;
    auto r = call("$replace", row.params);
    EXPECT_EQ(r.ret.getLong(), 0) << row.detail;
    ASSERT_EQ(r.errors.size(), 1u) << row.detail;
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].message, "Invalid parameters");
    EXPECT_EQ(r.errors[0].detail, row.detail);
    EXPECT_EQ(r.errors[0].method, "$replace");
    EXPECT_TRUE(r.changed.empty());
    if (row.params.size() >= 4) {
      EXPECT_EQ(row.params[3].getType(), before[3].getType()) << row.detail;
      EXPECT_EQ(row.params[3].compare(before[3]), 0) << row.detail;
    }
  }
}

TEST_F(Replace, LongTextThatGrows) {
  // Long texts that grow are sized from a first count of the matches: the result must be the
  // same as when it is built piece by piece, also with a start position and a limit.
  std::u32string src;
  for (int i = 0; i < (1 << 20) / 4 + 3; ++i) src += U"ab-\u00e9";
  std::vector<EXTfldval> p{chr32(src), chr("b"), chr("XYZ"), chr(""), integer(5), integer(1000)};
  auto r = call("$replace", p);
  qlong count = 0;
  const std::u32string want = replaced(src, 5, U"b", U"XYZ", 1000, count);
  EXPECT_EQ(r.ret.getLong(), 1000);
  EXPECT_EQ(count, 1000);
  EXPECT_TRUE(text32(p[3]) == want);
  p.resize(4);
  r = call("$replace", p);
  EXPECT_EQ(r.ret.getLong(), static_cast<qlong>(src.size() / 4));
  EXPECT_EQ(text32(p[3]).size(), src.size() + src.size() / 2);
}

TEST_F(Replace, MemoryFailures) {
  // The result handle cannot be had: -103, reported.
  std::vector<EXTfldval> p{chr("abcabc"), chr("b"), chr("XYZ"), chr("old")};
  hostrt::setAllocFailure(1, 0);
  auto r = call("$replace", p);
  EXPECT_EQ(r.ret.getLong(), 0);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
  EXPECT_EQ(r.errors[0].message, "Out of memory.");
  EXPECT_EQ(text(p[3]), "old");

  // The result outgrows its first room (24 bytes) and cannot grow: 22, no report, return
  // value 0.
  hostrt::setAllocFailure(0, 24);
  r = call("$replace", p);
  EXPECT_EQ(r.ret.getLong(), 0);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_TRUE(r.changed.empty());
  EXPECT_EQ(text(p[3]), "old");

  hostrt::resetFailures();
  r = call("$replace", p);
  EXPECT_EQ(text(p[3]), "aXYZcaXYZc");
}

class SingleChar : public ComponentTest {};

TEST_F(SingleChar, OverwritesInPlaceWithinRange) {
  struct Row {
    std::string text;
    EXTfldval position, ch;
    std::string want;
  };
  const Row rows[] = {
      {"abc", integer(1), chr("Z"), "Zbc"},
      {"abc", integer(3), chr("Zq"), "abZ"},
      {"abc", chr("2"), chr(""), "a c"},
      {"\u00e9t\u00e9", integer(3), chr("\U0001F600"), "\u00e9t\U0001F600"},
      {"x", number(1), chr("y"), "y"},
  };
  for (const Row& row : rows) {
    std::vector<EXTfldval> p{chr(row.text), row.position, row.ch};
    auto r = call("$replacesinglechar", p);
    EXPECT_TRUE(r.errors.empty()) << row.text;
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(text(p[0]), row.want);
    EXPECT_EQ(r.changed, std::vector<qlong>{1});
  }
}

TEST_F(SingleChar, Failures) {
  struct Row {
    std::vector<EXTfldval> params;
    const char* detail;
  };
  std::vector<Row> rows;
  rows.push_back({{chr("abc"), integer(1)}, "Parameter count must be 3"});
  rows.push_back({{boolean(true), integer(1), chr("x")}, "Parameter 1 must be of type character"});
  rows.push_back({{chr("abc"), chr("one"), chr("x")}, "Parameter 2 must be of type integer"});
  rows.push_back({{chr("abc"), integer(1), integer(5)}, "Parameter 3 must be of type character"});
  rows.push_back({{chr("abc"), integer(0), chr("x")}, "Parameter 2 is out of range"});
  rows.push_back({{chr("abc"), integer(4), chr("x")}, "Parameter 2 is out of range"});
  rows.push_back({{chr(""), integer(1), chr("x")}, "Parameter 2 is out of range"});
  rows.push_back({{integer(123), integer(4), chr("x")}, "Parameter 2 is out of range"});
  for (Row& row : rows) {
    const EXTfldval before = row.params[0];
    auto r = call("$replacesinglechar", row.params);
    ASSERT_EQ(r.errors.size(), 1u) << row.detail;
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].detail, row.detail);
    EXPECT_EQ(r.ret.getLong(), 0);
    EXPECT_TRUE(r.changed.empty());
    EXPECT_EQ(row.params[0].getType(), before.getType()) << row.detail;
    EXPECT_EQ(row.params[0].compare(before), 0) << row.detail;
  }
}

class RemoveChars : public ComponentTest {};

TEST_F(RemoveChars, DropOrKeepTheSet) {
  struct Row {
    std::string src, set;
    EXTfldval keep;
    std::string want;
  };
  const Row rows[] = {
      {"education", "aeiou", boolean(false), "dctn"},
      {"education", "aeiou", integer(1), "euaio"},
      {"education", "", boolean(false), "education"},
      {"education", "", boolean(true), ""},
      {"", "abc", boolean(false), ""},
      {"b\u00e9b\U0001F600\u00e9", "\u00e9\U0001F600", integer(0), "bb"},
      {"b\u00e9b\U0001F600\u00e9", "\U0001F600", boolean(true), "\U0001F600"},
      {"aaaa", "a", boolean(false), ""},
  };
  for (const Row& row : rows) {
    std::vector<EXTfldval> p{chr(row.src), chr(row.set), row.keep, chr("old")};
    auto r = call("$removechars", p);
    EXPECT_TRUE(r.errors.empty()) << row.src;
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(text(p[3]), row.want) << row.src << " / " << row.set;
    EXPECT_EQ(p[3].getType(), fftCharacter);
    EXPECT_EQ(r.changed, std::vector<qlong>{4});
  }
}

TEST_F(RemoveChars, FailuresLeaveTheResultAlone) {
  struct Row {
    std::vector<EXTfldval> params;
    qlong code;
    const char* detail;
  };
  std::vector<Row> rows;
  rows.push_back({{chr("a"), chr("a"), boolean(false)}, -102, "Parameter count must be 4"});
  rows.push_back({{binary("a"), chr("a"), boolean(false), chr("old")},
                  -102,
                  "Parameter 1 must be of type character"});
  rows.push_back({{chr("a"), boolean(true), boolean(false), chr("old")},
                  -102,
                  "Parameter 2 must be of type character"});
  rows.push_back(
      {{chr("a"), chr("a"), integer(2), chr("old")}, -102, "Parameter 3 must be either 0 or 1"});
  rows.push_back(
      {{chr("a"), chr("a"), chr("1"), chr("old")}, -102, "Parameter 3 must be either 0 or 1"});
  rows.push_back({{chr("abc"), chr("a"), boolean(true), boolean(true)},
                  -102,
                  "Parameter 4 must be of type character"});
  for (Row& row : rows) {
    auto r = call("$removechars", row.params);
    ASSERT_EQ(r.errors.size(), 1u) << row.detail;
    EXPECT_EQ(r.errors[0].code, row.code);
    EXPECT_EQ(r.errors[0].detail, row.detail);
    EXPECT_TRUE(r.changed.empty());
    if (row.params.size() == 4 && row.params[3].getType() == fftCharacter) {
      EXPECT_EQ(text(row.params[3]), "old");
    }
  }
  std::vector<EXTfldval> p{chr("abc"), chr("b"), boolean(false), chr("old")};
  hostrt::setAllocFailure(1, 0);
  auto r = call("$removechars", p);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
  EXPECT_EQ(r.errors[0].detail, "");
  EXPECT_EQ(text(p[3]), "old");
}

}  // namespace
