// $getuniquewords: normalisation, exception words, and each new word once.
#include "listhelpers.h"

using namespace zqtest;

namespace {

class UniqueWords : public ComponentTest {};

std::vector<std::string> words(const EXTfldval& l) {
  std::vector<std::string> out;
  for (const auto& r : rowsOf(l)) out.push_back(r.at(0));
  return out;
}

TEST_F(UniqueWords, NormalisesAndCollectsNewWords) {
  struct Case {
    std::string text, exceptions, normal;
    std::vector<std::string> added;
  } cases[] = {
      {"The cat, the CAT and the dog.",
       ";and;",
       "the cat the cat and the dog",
       {"the", "cat", "dog"}},
      {"don't it's e.g. x", "", "dont its eg x", {"dont", "its", "eg", "x"}},
      {"a 'b 9'x '", "", "a b 9 x", {"a", "b", "9", "x"}},  // apostrophe not between letters
      {"caf\u00e9 na\u00efve", "", "caf na ve", {"caf", "na", "ve"}},
      {"one \t\r\n  two   ", "", "one two", {"one", "two"}},
      {"  lead", "", " lead", {"lead"}},  // a leading space stays
      {"", "", "", {}},
      {"...!!", "", "", {}},
      {"a b a b", "", "a b a b", {"a", "b"}},  // with no exception text each word still once
      {"a b c", ";", "a b c", {"a", "b", "c"}},
      {"x y z y", ";y;z;", "x y z y", {"x"}},
      {"aa a", ";aa;", "aa a", {"a"}},  // whole words only
      {"Stra\u00dfe \u0130x", "", "stra e x", {"stra", "e", "x"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::vector<EXTfldval> p{chr(c.text), chr(c.exceptions), list({{"Word"}}, {}), chr("word")};
    auto r = call("$getuniquewords", p);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(text(p[0]), c.normal);
    EXPECT_EQ(p[0].getType(), fftCharacter);
    EXPECT_EQ(words(p[2]), c.added);
    EXPECT_EQ(r.changed, (std::vector<qlong>{1, 3}));
  }
}

TEST_F(UniqueWords, KeepsExistingRowsAndAppendsAgainOnASecondCall) {
  EXTfldval l = list({{"Other"}, {"W"}}, {{"k", "old"}});
  std::vector<EXTfldval> p{chr("b a b"), chr(""), l, chr("w")};
  call("$getuniquewords", p);
  std::vector<EXTfldval> q{chr("a c"), chr(""), p[2], chr("W")};
  call("$getuniquewords", q);
  EXPECT_EQ(rowsOf(q[2]), (Rows{{"k", "old"}, {"", "b"}, {"", "a"}, {"", "a"}, {"", "c"}}));
}

TEST_F(UniqueWords, LinearInDistinctWords) {
  // Many distinct words, each repeated: every one is added exactly once.
  std::string t;
  for (int i = 0; i < 3000; ++i) t += "w" + std::to_string(i % 1000) + " ";
  std::vector<EXTfldval> p{chr(t), chr(";w7;"), list({{"W"}}, {}), chr("W")};
  call("$getuniquewords", p);
  EXPECT_EQ(rowCount(p[2]), 999);
}

TEST_F(UniqueWords, Errors) {
  struct Case {
    std::vector<EXTfldval> params;
    qlong code;
    const char* detail;
  } cases[] = {
      {{chr("a"), chr(""), list({{"W"}}, {})}, -102, "Parameter count must be 4"},
      {{boolean(true), chr(""), list({{"W"}}, {}), chr("W")},
       -102,
       "Parameter 1 must be character"},
      {{chr("a"), boolean(true), list({{"W"}}, {}), chr("W")},
       -102,
       "Parameter 2 must be character"},
      {{chr("a"), chr(""), list({{"W"}}, {}, true), chr("W")}, -102, "Parameter 3 must be a list"},
      {{chr("a"), chr(""), list({{"W"}}, {}), integer(1)},
       -102,
       "Parameter 4 must be of type character"},
      {{chr("a"), chr(""), list({{"W"}}, {}), chr("X")},
       -102,
       "Parameter 4: Column name does not exist in list"},
      {{chr("a"), chr(""), list({}, {}), chr("W")},
       -102,
       "Parameter 4: Column name does not exist in list"},
      {{chr("a"), chr("a;b;"), list({{"W"}}, {}), chr("W")},
       -102,
       "Parameter 2: Exception word string must begin with a ';' and each word must be "
       "separated by a ';'"},
      {{chr("a"), chr(";a;b"), list({{"W"}}, {}), chr("W")},
       -102,
       "Parameter 2: Exception word string must begin with a ';' and each word must be "
       "separated by a ';'"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.detail);
    auto r = call("$getuniquewords", c.params);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, c.code);
    EXPECT_EQ(r.errors[0].detail, c.detail);
    EXPECT_EQ(r.errors[0].method, "$getuniquewords");
  }
}

TEST_F(UniqueWords, MemoryFailures) {
  // The normalised buffer refused.
  std::vector<EXTfldval> p{chr("Some Text"), chr(""), list({{"W"}}, {}), chr("W")};
  hostrt::setAllocFailure(1, 0);
  auto r = call("$getuniquewords", p);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
  EXPECT_EQ(r.errors[0].detail, "Out of memory");
  EXPECT_EQ(text(p[0]), "Some Text");
  hostrt::resetFailures();

  // A row refused: parameter 1 stays as it was.
  hostrt::setListRefusal(true, false);
  r = call("$getuniquewords", p);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
  EXPECT_EQ(r.errors[0].detail, "Out of memory");
  EXPECT_EQ(text(p[0]), "Some Text");
  EXPECT_EQ(rowCount(p[2]), 0);
}

}  // namespace
