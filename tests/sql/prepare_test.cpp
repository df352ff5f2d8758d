// $prepareinsert and $prepareupdate through the entry procedure with a $cinst row.
#include "sqlsupport.h"

using namespace zqtest;
using namespace sqltest;

namespace {

class Prepare : public ComponentTest {
 protected:
  void setCinst(const Columns& cols) { host.context().cinst = oneLine(cols, true); }
  EXTfldval& cinst() { return host.context().cinst; }

  // Text columns with these names, each holding its own name.
  static Columns textColumns(const std::vector<std::string>& names) {
    Columns cols;
    for (const std::string& n : names) cols.push_back({n, chr(n)});
    return cols;
  }

  hostrt::CallOutcome insert(EXTfldval count, const std::string& ignore,
                             const std::string& prefix) {
    params = {chr("stale"), integer(7), count, chr(ignore), chr(prefix)};
    return call("$prepareinsert", params);
  }
  hostrt::CallOutcome update(const std::string& oldName, const std::string& ignore,
                             const std::string& prefix) {
    params = {chr("stale"), integer(7), chr(oldName), chr(ignore), chr(prefix)};
    return call("$prepareupdate", params);
  }

  void expectDone(const hostrt::CallOutcome& r, const std::string& statement, qlong significant) {
    EXPECT_TRUE(r.errors.empty()) << (r.errors.empty() ? "" : r.errors[0].detail);
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(r.changed, (std::vector<qlong>{1, 2}));
    EXPECT_EQ(params[0].getType(), fftCharacter);
    EXPECT_EQ(text(params[0]), statement);
    EXPECT_EQ(params[1].getLong(), significant);
  }

  void expectError(const hostrt::CallOutcome& r, qlong code, const std::string& detail) {
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, code);
    EXPECT_EQ(r.errors[0].detail, detail);
    EXPECT_EQ(r.ret.getLong(), 0);
    EXPECT_TRUE(r.changed.empty());
  }

  std::vector<EXTfldval> params;
};

TEST_F(Prepare, InsertTextForm) {
  setCinst(textColumns({"a", "b", "c"}));
  expectDone(insert(integer(3), "", ""), "(a,b,c) VALUES (@[$cinst.a],@[$cinst.b],@[$cinst.c])", 1);
  expectDone(insert(chr("2"), "", ""), "(a,b) VALUES (@[$cinst.a],@[$cinst.b])", 1);
  expectDone(insert(integer(1), "a", ""), "(a) VALUES (@[$cinst.a])", 0);
}

TEST_F(Prepare, UpdateTextFormHoldsChangedColumnsOnly) {
  setCinst(textColumns({"a", "b", "c"}));
  host.context().setVar("old",
                        oneLine({{"a", chr("a")}, {"b", chr("old")}, {"c", chr("c0")}}, false));
  expectDone(update("old", "", ""), "b=@[$cinst.b],c=@[$cinst.c]", 1);
  // No change: empty text, significant 0, success.
  host.context().setVar("old", cinst());
  expectDone(update("old", "", ""), "", 0);
}

TEST_F(Prepare, PrefixAndIgnoreSet) {
  struct Case {
    std::vector<std::string> cols;
    const char* prefix;
    const char* ignore;
    const char* insertText;
    qlong significant;
  } cases[] = {
      {{"cus_name", "cus_town", "other"},
       "cus",
       "",
       "(cus_name,cus_town) VALUES (@[$cinst.cus_name],@[$cinst.cus_town])",
       1},
      {{"cus_name", "cus_town"},
       "cus",
       "name``town`",
       "(cus_name,cus_town) VALUES (@[$cinst.cus_name],@[$cinst.cus_town])",
       0},
      {{"cus_name", "cus_town", "cus_zip"},
       "cus",
       "name``town`",
       "(cus_name,cus_town,cus_zip) VALUES (@[$cinst.cus_name],@[$cinst.cus_town],"
       "@[$cinst.cus_zip])",
       1},
      {{"cus_name"}, "cus", "Name", "(cus_name) VALUES (@[$cinst.cus_name])", 1},
      {{"cus_town"}, "cus", " town`town ", "(cus_town) VALUES (@[$cinst.cus_town])", 1},
      {{"cus"}, "cus", "`", "(cus) VALUES (@[$cinst.cus])", 1},
      {{"cus_a", "Cus_b"}, "cus", "a", "(cus_a) VALUES (@[$cinst.cus_a])", 0},
      {{"cus_name"}, "CUS", "", "", 0},
      {{"name", "town"}, "", "name`town", "(name,town) VALUES (@[$cinst.name],@[$cinst.town])", 0},
      {{"x\xC3\xA9", "y"},
       "",
       "x\xC3\xA9",
       "(x\xC3\xA9,y) VALUES (@[$cinst.x\xC3\xA9],@[$cinst.y])",
       1},
      {{"x\xC3\xA9"}, "", "x\xC3\xA9", "(x\xC3\xA9) VALUES (@[$cinst.x\xC3\xA9])", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.insertText);
    setCinst(textColumns(c.cols));
    expectDone(insert(integer(static_cast<qlong>(c.cols.size())), c.ignore, c.prefix), c.insertText,
               c.significant);
    // The update of every column (against an old row of other values) follows the same rules.
    Columns old;
    for (const std::string& n : c.cols) old.push_back({n, chr("old")});
    host.context().setVar("old", oneLine(old, false));
    std::string updateText;
    const std::string ins = c.insertText;
    for (const std::string& n : c.cols)
      if (ins.find("@[$cinst." + n + "]") != std::string::npos)
        updateText += (updateText.empty() ? "" : ",") + n + "=@[$cinst." + n + "]";
    expectDone(update("old", c.ignore, c.prefix), updateText, c.significant);
  }
}

TEST_F(Prepare, ChangeRules) {
  EXTfldval list1 = list({{"k"}}, {{"1"}});
  EXTfldval list1Renamed = list({{"K"}}, {{"1"}});
  EXTfldval list2 = list({{"k"}}, {{"2"}});
  EXTfldval list2Rows = list({{"k"}}, {{"1"}, {"1"}});
  EXTfldval row1 = list({{"k"}}, {{"1"}}, true);
  EXTfldval noColumns = emptyOf(fftList);
  struct Case {
    const char* what;
    EXTfldval now, old;
    bool changed;
  } cases[] = {
      {"same text", chr("x"), chr("x"), false},
      {"text differs in case", chr("x"), chr("X"), true},
      {"null and empty", nullOf(fftCharacter), chr(""), false},
      {"null and null", nullOf(fftCharacter), nullOf(fftCharacter), false},
      {"null and text", nullOf(fftCharacter), chr("y"), true},
      {"text and null", chr("x"), nullOf(fftCharacter), true},
      {"empty and null", chr(""), nullOf(fftCharacter), true},
      {"integer and equal number", integer(5), number(5), false},
      {"integers differ", integer(5), integer(6), true},
      {"null integer made empty, old null", nullOf(fftInteger), nullOf(fftInteger), true},
      {"null integer made empty, old zero", nullOf(fftInteger), integer(0), false},
      {"null boolean made empty, old false", nullOf(fftBoolean), boolean(false), false},
      {"empty date made null, old empty", date(0, 0, 0), date(0, 0, 0), false},
      {"empty date made null, old date", date(0, 0, 0), date(2024, 1, 2), true},
      {"same date", date(2024, 1, 2), date(2024, 1, 2), false},
      {"other date", date(2024, 1, 2), date(2024, 1, 3), true},
      {"same bytes", binary("ab\0c"), binary("ab\0c"), false},
      {"other bytes", binary("abc"), binary("abd"), true},
      {"longer bytes", binary("ab"), binary("abc"), true},
      {"no bytes", binary(""), binary(""), false},
      {"picture and binary, same bytes", bytesOf(fftPicture, "pq"), binary("pq"), false},
      {"object bytes differ", bytesOf(fftObject, "pq"), bytesOf(fftObject, "pr"), true},
      {"bytes and text", binary("a"), chr("a"), true},
      {"same list", list1, list1, false},
      {"list cell differs", list1, list2, true},
      {"list column renamed", list1, list1Renamed, true},
      {"list with another line", list1, list2Rows, true},
      {"same row", row1, row1, false},
      {"list without columns made null, old null", noColumns, nullOf(fftList), false},
      {"list without columns made null, old list", noColumns, list1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    setCinst({{"v", c.now}});
    host.context().setVar("old", oneLine({{"v", c.old}}, false));
    expectDone(update("old", "", ""), c.changed ? "v=@[$cinst.v]" : "", c.changed ? 1 : 0);
  }
}

TEST_F(Prepare, NormalisesCinstForBothMethods) {
  const Columns cols = {{"b", nullOf(fftBoolean)},   {"n", nullOf(fftNumber)},
                        {"i", nullOf(fftInteger)},   {"d", date(0, 0, 0)},
                        {"l", emptyOf(fftList)},     {"r", emptyOf(fftRow)},
                        {"c", nullOf(fftCharacter)}, {"i64", nullOf(fftInt64)},
                        {"full", list({{"k"}}, {})}, {"five", integer(5)}};
  for (int method = 0; method < 2; ++method) {
    SCOPED_TRACE(method);
    setCinst(cols);
    host.context().setVar("old", oneLine(cols, false));
    if (method == 0)
      insert(integer(10), "", "");
    else
      update("old", "", "");
    EXTfldval v;
    for (qshort c : {1, 2, 3}) {
      cellRef(cinst(), 1, c, v);
      EXPECT_FALSE(v.isNull()) << c;
      EXPECT_TRUE(v.isEmpty()) << c;
      EXPECT_EQ(v.getType(), cols[static_cast<size_t>(c - 1)].second.getType());
    }
    for (qshort c : {4, 5, 6, 7, 8}) {
      cellRef(cinst(), 1, c, v);
      EXPECT_TRUE(v.isNull()) << c;
      EXPECT_EQ(v.getType(), cols[static_cast<size_t>(c - 1)].second.getType());
    }
    cellRef(cinst(), 1, 9, v);
    EXPECT_FALSE(v.isNull());
    cellRef(cinst(), 1, 10, v);
    EXPECT_EQ(v.getLong(), 5);
  }
}

TEST_F(Prepare, OldRowByName) {
  setCinst(textColumns({"a", "b"}));
  // A list with a current line, a row, and a list cell holding a row.
  host.context().setVar("oldList", oneLine({{"a", chr("x")}, {"b", chr("b")}}, false));
  expectDone(update("OLDLIST", "", ""), "a=@[$cinst.a]", 1);
  host.context().setVar("oldRow", oneLine({{"a", chr("a")}, {"b", chr("x")}}, true));
  expectDone(update("oldRow", "", ""), "b=@[$cinst.b]", 1);
  host.context().setVar("holder", oneLine({{"r", oneLine({{"a", chr("y")}}, true)}}, false));
  expectDone(update("holder.R", "", ""), "a=@[$cinst.a]", 1);
  // Old columns that $cinst lacks are left out.
  host.context().setVar("wider",
                        oneLine({{"a", chr("a")}, {"b", chr("b")}, {"z", chr("z")}}, false));
  expectDone(update("wider", "", ""), "", 0);
}

TEST_F(Prepare, OldListWithoutCurrentLineFailsAfterNormalisingTheFirstColumn) {
  setCinst({{"i", nullOf(fftInteger)}, {"j", nullOf(fftInteger)}});
  EXTfldval old = oneLine({{"i", integer(1)}, {"j", integer(2)}}, false);
  EXTqlist l;
  old.getList(&l, qtrue);
  l.setCurRow(0);
  host.context().setVar("old", old);
  const auto r = update("old", "", "");
  expectError(r, -106, "Old row does not match $cinst");
  EXPECT_EQ(r.errors[0].message, "Old row does not match new row");
  EXPECT_EQ(r.errors[0].method, "$prepareupdate");
  EXPECT_EQ(text(params[0]), "");
  EXTfldval v;
  cellRef(cinst(), 1, 1, v);
  EXPECT_FALSE(v.isNull());
  cellRef(cinst(), 1, 2, v);
  EXPECT_TRUE(v.isNull());
}

TEST_F(Prepare, ParameterErrors) {
  setCinst({{"a", nullOf(fftInteger)}});
  host.context().setVar("old", oneLine({{"a", chr("x")}}, false));
  host.context().setVar("num", integer(3));
  struct Case {
    const char* method;
    std::vector<EXTfldval> params;
    const char* detail;
  } cases[] = {
      {"$prepareinsert", {chr(""), integer(0), integer(1), chr("")}, "Parameter count must be 5"},
      {"$prepareupdate", {}, "Parameter count must be 5"},
      {"$prepareinsert",
       {chr(""), integer(0), chr("x"), chr(""), chr("")},
       "Parameter 3 must be of type integer"},
      {"$prepareupdate",
       {chr(""), integer(0), chr("num"), chr(""), chr("")},
       "Parameter 3 must be of type list or row"},
      {"$prepareupdate",
       {chr(""), integer(0), chr("nosuch"), chr(""), chr("")},
       "Parameter 3 must be of type list or row"},
      {"$prepareupdate",
       {chr(""), integer(0), integer(5), chr(""), chr("")},
       "Parameter 3 must be of type list or row"},
      {"$prepareinsert",
       {chr(""), integer(0), integer(1), boolean(true), chr("")},
       "Parameter 4 must be of type character"},
      {"$prepareinsert",
       {boolean(true), integer(0), integer(1), chr(""), chr("")},
       "Parameter 1 must be of type character"},
      {"$prepareupdate",
       {chr(""), integer(0), chr("old"), chr(""), integer(4)},
       "Parameter 5 must be of type character"},
      {"$prepareinsert",
       {chr(""), chr("0"), integer(1), chr(""), chr("")},
       "Parameter 2 must be of type boolean or integer"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.detail);
    params = c.params;
    const auto r = call(c.method, params);
    expectError(r, -102, c.detail);
    EXPECT_EQ(r.errors[0].method, c.method);
  }
  // The failing second parameter comes last: the text was built and $cinst normalised.
  EXPECT_EQ(text(params[0]), "(a) VALUES (@[$cinst.a])");
  EXTfldval v;
  cellRef(cinst(), 1, 1, v);
  EXPECT_FALSE(v.isNull());
}

TEST_F(Prepare, MoreColumnsAskedThanCinstHas) {
  setCinst(textColumns({"a", "b"}));
  expectDone(insert(integer(5), "", ""), "(a,b) VALUES (@[$cinst.a],@[$cinst.b])", 1);
  expectDone(insert(integer(2147483647), "", ""), "(a,b) VALUES (@[$cinst.a],@[$cinst.b])", 1);
}

TEST_F(Prepare, InsertWithoutColumnsStaysEmpty) {
  setCinst(textColumns({"a"}));
  expectDone(insert(integer(0), "", ""), "", 0);
  expectDone(insert(integer(-3), "", ""), "", 0);
  expectDone(insert(integer(1), "", "zz"), "", 0);
  host.context().cinst.setEmpty(fftRow);
  expectDone(insert(integer(4), "", ""), "", 0);
}

TEST_F(Prepare, FlagKeepsItsTypeAndSixthParameterIsAccepted) {
  setCinst(textColumns({"a"}));
  host.context().setVar("old", oneLine({{"a", chr("x")}}, false));
  for (const char* method : {"$prepareinsert", "$prepareupdate"}) {
    params = {chr(""), boolean(false), method[8] == 'i' ? integer(1) : chr("old"),
              chr(""), chr(""),        boolean(true)};
    const auto r = call(method, params);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(params[1].getType(), fftBoolean);
    EXPECT_EQ(params[1].getBool(), qboolTrue);
  }
}

TEST_F(Prepare, OutOfMemoryWhileBuildingTheText) {
  setCinst(textColumns({"a", "b"}));
  hostrt::setAllocFailure(1, 0);
  params = {chr("keep"), integer(7), integer(2), chr(""), chr("")};
  const auto r = call("$prepareinsert", params);
  expectError(r, -103, "");
  EXPECT_EQ(params[1].getLong(), 7);
}

}  // namespace

// A host that cannot make the list of $cinst's column names gives no statement: a failure
// with a report, not return value 1 with an empty text that passes for "no columns".
TEST_F(Prepare, InsertFailsWhenTheColumnNamesCannotBeListed) {
  for (const bool rows : {true, false}) {
    setCinst(textColumns({"a", "b"}));
    hostrt::setListRefusal(rows, !rows);
    params = {chr("keep"), integer(7), integer(2), chr(""), chr("")};
    const auto r = call("$prepareinsert", params);
    hostrt::resetFailures();
    expectError(r, -2, "The column names of $cinst could not be listed");
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getLong(), 0);
    EXPECT_EQ(text(params[0]), "");  // emptied first, as every outcome does
    EXPECT_EQ(params[1].getLong(), 7);
  }
}
