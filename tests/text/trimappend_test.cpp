// "$trim", "$appendstring" and "$orstring" through the entry procedure.
#include <string>
#include <vector>

#include "testhost.h"

using namespace zqtest;

namespace {

struct Failure {
  std::vector<EXTfldval> params;
  const char* detail;
};

class TrimAppend : public ComponentTest {
 protected:
  // Each call fails with -102 and its detail text and leaves written-back parameter n alone.
  void expectFailures(const std::string& method, std::vector<Failure>& rows, size_t n) {
    for (Failure& row : rows) {
      std::vector<EXTfldval> before = row.params;
      auto r = call(method, row.params);
      ASSERT_EQ(r.errors.size(), 1u) << row.detail;
      EXPECT_EQ(r.errors[0].code, -102);
      EXPECT_EQ(r.errors[0].detail, row.detail);
      EXPECT_EQ(r.errors[0].method, method);
      EXPECT_EQ(r.ret.getLong(), 0);
      EXPECT_TRUE(r.changed.empty()) << row.detail;
      if (row.params.size() >= n) {
        EXPECT_EQ(row.params[n - 1].getType(), before[n - 1].getType()) << row.detail;
        EXPECT_EQ(row.params[n - 1].compare(before[n - 1]), 0) << row.detail;
      }
    }
  }
};

TEST_F(TrimAppend, Trim) {
  struct Row {
    std::string text, set;
    std::vector<EXTfldval> flags;
    std::string want;
  };
  const Row rows[] = {
      {"xx-abc-xx", "x-", {}, "abc"},
      {"xx-abc-xx", "x-", {boolean(false)}, "xx-abc"},
      {"xx-abc-xx", "x-", {boolean(true), integer(0)}, "abc-xx"},
      {"   ", " ", {}, ""},
      {"abc", "", {}, "abc"},
      {"", "x", {}, ""},
      {"\U0001F600\u00e9a\u00e9", "\u00e9\U0001F600", {}, "a"},
      {"a", "a", {}, ""},
  };
  for (const Row& row : rows) {
    std::vector<EXTfldval> p{chr(row.text), chr(row.set)};
    p.insert(p.end(), row.flags.begin(), row.flags.end());
    auto r = call("$trim", p);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(text(p[0]), row.want) << row.text;
    EXPECT_EQ(r.changed, row.want == row.text ? std::vector<qlong>{} : std::vector<qlong>{1})
        << row.text;
  }
  std::vector<EXTfldval> p{integer(1200), integer(0)};
  call("$trim", p);
  EXPECT_EQ(text(p[0]), "12");

  std::vector<Failure> rows2;
  rows2.push_back({{chr("a")}, "Parameter count must be at least 2"});
  rows2.push_back({{boolean(true), chr("a")}, "Parameter 1 must be of type character"});
  rows2.push_back({{integer(100), binary("a")}, "Parameter 2 must be of type character"});
  rows2.push_back({{integer(100), chr("0"), integer(2)}, "Parameter 3 must be of type boolean"});
  rows2.push_back(
      {{chr("aba"), chr("a"), boolean(true), chr("x")}, "Parameter 4 must be of type boolean"});
  expectFailures("$trim", rows2, 1);
}

TEST_F(TrimAppend, AppendString) {
  struct Row {
    EXTfldval text;
    std::string target;
    std::vector<EXTfldval> sep;
    std::string want;
  };
  const Row rows[] = {
      {chr("b"), "a", {chr(", ")}, "a, b"},
      {chr("b"), "", {chr(", ")}, "b"},
      {chr("b"), "a", {}, "ab"},
      {integer(42), "n=", {chr("")}, "n=42"},
      {number(1.5), "x", {chr(";")}, "x;1.5"},
      {chr("\U0001F600"), "\u00e9", {chr("\u00b7")}, "\u00e9\u00b7\U0001F600"},
      {chr("b"), "a", {integer(0)}, "a0b"},
  };
  for (const Row& row : rows) {
    std::vector<EXTfldval> p{row.text, chr(row.target)};
    p.insert(p.end(), row.sep.begin(), row.sep.end());
    auto r = call("$appendstring", p);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(text(p[1]), row.want);
    EXPECT_EQ(r.changed, std::vector<qlong>{2});
    EXPECT_EQ(p[0].getType(), row.text.getType());  // parameter 1 is converted in a copy
  }

  // A number target becomes its text followed by the text, with or without a separator.
  for (const bool withSeparator : {false, true}) {
    std::vector<EXTfldval> p{chr("b"), integer(7)};
    if (withSeparator) p.push_back(chr("-"));
    auto r = call("$appendstring", p);
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(text(p[1]), withSeparator ? "7-b" : "7b");
    EXPECT_EQ(p[1].getType(), fftCharacter);
  }

  // An empty text appends nothing, not even the separator.
  std::vector<EXTfldval> p{chr(""), chr("a"), chr(", ")};
  auto r = call("$appendstring", p);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(text(p[1]), "a");
  EXPECT_TRUE(r.changed.empty());

  // Growing one variable many times keeps every piece.
  p = {chr("0123456789"), chr(""), chr("|")};
  for (int i = 0; i < 300; ++i) call("$appendstring", p);
  EXPECT_EQ(text(p[1]).size(), 300u * 11 - 1);
  EXPECT_EQ(text(p[1]).substr(0, 22), "0123456789|0123456789|");

  // The variable appended to itself.
  p = {chr("ab"), chr(""), chr("-")};
  p[1].setRef(p[0].data());
  call("$appendstring", p);
  EXPECT_EQ(text(p[0]), "ab-ab");

  std::vector<Failure> rows2;
  rows2.push_back({{chr("a")}, "Parameter count must be at least 2"});
  rows2.push_back({{chr("a"), chr("b"), chr("c"), chr("d")}, "Parameter count must be at least 2"});
  rows2.push_back(
      {{list({{"c"}}, {{"x"}}), chr("b")}, "Unable to convert Parameter 1 to character data."});
  rows2.push_back({{chr("a"), boolean(true)}, "Parameter 2 must be of type character"});
  rows2.push_back({{chr("a"), chr("b"), boolean(true)}, "Parameter 3 must be of type character"});
  expectFailures("$appendstring", rows2, 2);

  // Memory refused: -103 and the target as it was.
  p = {chr("xyz"), chr("abc"), chr(",")};
  hostrt::setAllocFailure(1, 0);
  r = call("$appendstring", p);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
  EXPECT_EQ(text(p[1]), "abc");
}

TEST_F(TrimAppend, OrString) {
  struct Row {
    std::string source, target, want;
  };
  const Row rows[] = {
      {"X  Y", " Z Y", "XZ Y"}, {"X  Y", " Z W", "XZ *"},
      {"AB", "ABC", "AB"},      {"AB", "", "AB"},
      {"  ", "ab", "ab"},       {"\u00e9 \U0001F600", " x\U0001F600", "\u00e9x\U0001F600"},
  };
  for (const Row& row : rows) {
    std::vector<EXTfldval> p{chr(row.source), chr(row.target)};
    auto r = call("$orstring", p);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(text(p[1]), row.want) << row.source << "|" << row.target;
    EXPECT_EQ(r.changed, std::vector<qlong>{2});
  }
  std::vector<EXTfldval> p{chr(""), chr("keep")};
  auto r = call("$orstring", p);
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(text(p[1]), "keep");
  EXPECT_TRUE(r.changed.empty());

  p = {integer(10), integer(5)};
  call("$orstring", p);
  EXPECT_EQ(text(p[1]), "10");

  std::vector<Failure> rows2;
  rows2.push_back({{chr("a")}, "Parameter count must be 2"});
  rows2.push_back({{chr("a"), chr("b"), chr("c")}, "Parameter count must be 2"});
  rows2.push_back({{boolean(true), chr("b")}, "Parameter 1 must be of type character"});
  rows2.push_back({{chr("a"), binary("b")}, "Parameter 2 must be of type character"});
  expectFailures("$orstring", rows2, 2);

  p = {chr("AB"), chr("ABC")};
  hostrt::setAllocFailure(1, 0);
  r = call("$orstring", p);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
  EXPECT_EQ(text(p[1]), "ABC");
}

}  // namespace
