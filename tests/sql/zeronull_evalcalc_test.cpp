// $setsqlzeronullvalues and $evalcalc through the entry procedure with a $cinst row.
#include "sqlsupport.h"

using namespace zqtest;
using namespace sqltest;

namespace {

class ZeroNull : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    resetCinst();
  }
  void resetCinst() { host.context().cinst = oneLine(kCols, true); }
  // Column c of $cinst: 'n' null, 'e' empty (not null), or 'v' holding a non-empty value.
  char state(qshort c) {
    EXTfldval v;
    cellRef(host.context().cinst, 1, c, v);
    return v.isNull() ? 'n' : v.isEmpty() ? 'e' : 'v';
  }
  std::string states() {
    std::string s;
    for (qshort c = 1; c <= static_cast<qshort>(kCols.size()); ++c) s += state(c);
    return s;
  }

  const Columns kCols = {
      {"i", nullOf(fftInteger)},   {"n", nullOf(fftNumber)}, {"b", nullOf(fftBoolean)},
      {"d", date(0, 0, 0)},        {"l", emptyOf(fftList)},  {"r", emptyOf(fftRow)},
      {"full", list({{"k"}}, {})}, {"five", integer(5)},     {"c", nullOf(fftCharacter)},
      {"i64", nullOf(fftInt64)},   {"day", date(2024, 5, 6)}};
  const std::string kBefore = "nnneeevvnnv";
  const std::string kAfter = "eeennnvvnnv";
};

TEST_F(ZeroNull, NormalisesEachKindOfColumn) {
  ASSERT_EQ(states(), kBefore);
  std::vector<EXTfldval> params{integer(11), chr("ignored")};
  const auto r = call("$setsqlzeronullvalues", params);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(states(), kAfter);
  for (qshort c = 1; c <= static_cast<qshort>(kCols.size()); ++c) {
    EXTfldval v;
    cellRef(host.context().cinst, 1, c, v);
    EXPECT_EQ(v.getType(), kCols[static_cast<size_t>(c - 1)].second.getType()) << c;
  }
}

TEST_F(ZeroNull, CountIsSixteenBits) {
  struct Case {
    EXTfldval count;
    std::string after;
  } cases[] = {
      {integer(0), kBefore},
      {integer(-1), kBefore},
      {integer(32768), kBefore},  // negative as a 16-bit count
      {integer(65537), "e" + kBefore.substr(1)},
      {chr("3"), "eee" + kBefore.substr(3)},
      {integer(500), kAfter},  // columns beyond $cinst's are no-ops
  };
  for (auto& c : cases) {
    resetCinst();
    std::vector<EXTfldval> params{c.count};
    const auto r = call("$setsqlzeronullvalues", params);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(states(), c.after) << text(c.count);
  }
}

TEST_F(ZeroNull, ParameterErrors) {
  std::vector<EXTfldval> none;
  auto r = call("$setsqlzeronullvalues", none);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -102);
  EXPECT_EQ(r.errors[0].detail, "Parameter count must be at least 1");
  EXPECT_EQ(r.ret.getLong(), 0);
  for (EXTfldval bad : {chr("4x"), binary("a")}) {
    std::vector<EXTfldval> params{bad};
    r = call("$setsqlzeronullvalues", params);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].detail, "Parameter 1 must specify the column count");
    EXPECT_EQ(r.errors[0].method, "$setsqlzeronullvalues");
  }
  EXPECT_EQ(states(), kBefore);
}

class EvalCalc : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    host.context().setVar("x", integer(20));
    host.context().cinst = oneLine({{"name", chr("Ann")}, {"qty", integer(3)}}, true);
  }
  hostrt::CallOutcome eval(std::vector<EXTfldval> params) {
    mParams = std::move(params);
    return call("$evalcalc", mParams);
  }
  void expectCalcError(const hostrt::CallOutcome& r, const std::string& detail) {
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -105);
    EXPECT_EQ(r.errors[0].message, "Calculation is invalid");
    EXPECT_EQ(r.errors[0].detail, detail);
    EXPECT_EQ(r.errors[0].method, "$evalcalc");
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getType(), fftCharacter);
    EXPECT_EQ(text(r.ret), "");
  }
  std::vector<EXTfldval> mParams;
};

TEST_F(EvalCalc, ReturnsTheValueOfItsType) {
  struct Case {
    EXTfldval calc;
    ffttype type;
    const char* result;
  } cases[] = {
      {chr("1+2"), fftNumber, "3"},
      {chr("x*2-$cinst.qty"), fftNumber, "37"},
      {chr("con($cinst.C1,' has ',$cinst.qty)"), fftCharacter, "Ann has 3"},
      {chr("x"), fftInteger, "20"},
      {chr("len($cinst.name)>2"), fftBoolean, "1"},
      {integer(42), fftNumber, "42"},  // converted to the text 42
  };
  for (auto& c : cases) {
    const auto r = eval({c.calc, boolean(true), chr("extra")});
    EXPECT_TRUE(r.errors.empty()) << text(c.calc);
    ASSERT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getType(), c.type) << text(c.calc);
    EXPECT_EQ(text(r.ret), c.result) << text(c.calc);
  }
  const auto r = eval({chr("$cinst")});
  EXPECT_EQ(r.ret.getType(), fftRow);
  EXPECT_EQ(cell(r.ret, 1, 1), "Ann");
}

TEST_F(EvalCalc, SyntaxErrorQuotesTheCalculationWithPositions) {
  expectCalcError(eval({chr("1+")}), "Calculation error 1 at position 2 to 2 when evaluating '1+'");
  expectCalcError(eval({chr("x + nosuch")}),
                  "Calculation error 5 at position 5 to 10 when evaluating 'x + nosuch'");
}

TEST_F(EvalCalc, EvaluationErrorQuotesTheCalculation) {
  expectCalcError(eval({chr("x/(x-20)")}), "Unknown calculation error when evaluating 'x/(x-20)'");
  expectCalcError(eval({chr("$cinst.name+1")}),
                  "Unknown calculation error when evaluating '$cinst.name+1'");
}

TEST_F(EvalCalc, DetailIsCutTo255Characters) {
  // 255 characters: positions are asked for; the detail loses its end.
  std::string calc(253, ' ');
  calc = "1+" + calc;
  std::string detail = "Calculation error 1 at position 2 to 2 when evaluating '" + calc + "'";
  expectCalcError(eval({chr(calc)}), detail.substr(0, 255));
  // Longer: taken from the handle; the positions were not asked for and show as 0 to 0.
  std::string chain = "1";
  while (chain.size() < 300) chain += "+1";
  auto r = eval({chr(chain)});
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(text(r.ret), std::to_string(chain.size() / 2 + 1));
  detail = "Calculation error 1 at position 0 to 0 when evaluating '" + chain + "+'";
  expectCalcError(eval({chr(chain + "+")}), detail.substr(0, 255));
  detail = "Unknown calculation error when evaluating '" + chain + "/0'";
  expectCalcError(eval({chr(chain + "/0")}), detail.substr(0, 255));
}

TEST_F(EvalCalc, ParameterErrors) {
  auto r = eval({});
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -102);
  EXPECT_EQ(r.errors[0].detail, "Parameter count must be 1");
  EXPECT_EQ(r.ret.getLong(), 0);
  r = eval({boolean(true)});
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].detail, "Parameter 1 must be of type character");
  EXPECT_EQ(r.ret.getLong(), 0);
}

}  // namespace
