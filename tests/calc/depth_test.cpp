// How deep a calculation may go: nesting of parentheses, function calls and unary minus signs,
// and chains of binary operators, each at its limit, one past it and far past it. The deepest
// calculations allowed must parse and evaluate on a small thread stack (the host may run
// methods on worker threads), also in the sanitizer build with its larger frames.
#include <string>

#include "smallstack.h"
#include "testhost.h"

using namespace zqtest;

namespace {

const int kNesting = 200;  // deepest nesting accepted
const int kChain = 1000;   // longest operator chain accepted
const int kFar = 100000;

std::string repeat(const std::string& s, int n) {
  std::string out;
  out.reserve(s.size() * static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A calculation made of n repeats of open, then inner, then n repeats of close; each repeat
// nests `units` levels deep.
struct Shape {
  const char* name;
  std::string open, inner, close;
  int units;
  std::string result;  // the value at the limit
  std::string make(int n) const { return repeat(open, n) + inner + repeat(close, n); }
};

const Shape kShapes[] = {
    {"parentheses", "(", "7", ")", 1, "7"},
    {"calls", "abs(", "-7", ")", 1, ""},  // the sign inside is the one level too many
    {"calls", "abs(", "7", ")", 1, "7"},
    {"calls with several arguments", "max(1,", "7", ")", 1, "7"},
    {"unary minus", "-", "7", "", 1, "7"},
    {"signs, calls and parentheses", "-abs(-(", "7", "))", 4, "-7"},
    // Five operators a level: the tree is exactly as high as allowed too.
    {"all operators on every level", "1|0&1=1+1*(", "1", ")", 1, "1"},
};
struct Fault {
  qlong code = -1, first = -1, last = -1;
};

Fault parse(EXTfldval& calc, EXTCompInfo* eci, const std::string& text) {
  const std::u32string t = hostrt::toU32(text);
  Fault f;
  f.code = calc.setCalculation(eci, 1, t.data(), static_cast<qlong>(t.size()), &f.first, &f.last);
  return f;
}

class CalcDepth : public ::testing::Test {
 protected:
  void SetUp() override { eci.mContext = &ctx; }
  HostContext ctx;
  EXTCompInfo eci;
};

TEST_F(CalcDepth, NestingAtTheLimitWorksAndPastItIsRefused) {
  for (const Shape& s : kShapes) {
    // At the limit: parses and evaluates, on a 256 KiB stack. The case with one sign too many
    // shows that the nesting inside a call's argument counts.
    const int atLimit = kNesting / s.units;
    const std::string calc = s.make(atLimit);
    Fault f;
    std::string value;
    bool evaluated = false;
    ASSERT_TRUE(onSmallStack(256 * 1024, [&] {
      EXTfldval c, r;
      f = parse(c, &eci, calc);
      evaluated = c.evalCalculation(r, &eci, nullptr, qfalse);
      value = text(r);
    }));
    EXPECT_EQ(f.code, s.result.empty() ? 10 : 0) << s.name;
    EXPECT_EQ(evaluated, !s.result.empty()) << s.name;
    EXPECT_EQ(value, s.result) << s.name;

    // One repeat past and far past: error 10 at the opener that goes one level too deep,
    // which lies in the first repeat past the limit.
    const qlong at = static_cast<qlong>(s.open.size()) * atLimit;
    for (int n : {atLimit + 1, kFar}) {
      EXTfldval c;
      ASSERT_TRUE(onSmallStack(256 * 1024, [&] { f = parse(c, &eci, s.make(n)); }));
      EXPECT_EQ(f.code, 10) << s.name << " " << n;
      EXPECT_GT(f.first, at) << s.name << " " << n;
      EXPECT_LE(f.last, at + static_cast<qlong>(s.open.size())) << s.name << " " << n;
      EXTfldval r;
      EXPECT_FALSE(c.evalCalculation(r, &eci, nullptr, qfalse)) << s.name;
    }
  }
}

TEST_F(CalcDepth, ChainsAtTheLimitEvaluateAndPastItAreRefused) {
  // Left-leaning chains grow the tree without nesting; right-leaning ones through parentheses
  // and signs in one calculation: 199 levels of "-(" and "1+" chains inside.
  struct Case {
    const char* name;
    std::string calc;
    qlong code;
    std::string value;
  } cases[] = {
      {"sum at the limit", "1" + repeat("+1", kChain), 0, std::to_string(kChain + 1)},
      {"and/or at the limit", "1" + repeat("&1|0", kChain / 2), 0, "1"},
      {"sum one past", "1" + repeat("+1", kChain + 1), 10, ""},
      {"sum far past", "1" + repeat("+1", kFar), 10, ""},
      {"signs and chains", repeat("-(", 100) + "1" + repeat("+1", kChain - 300) + repeat(")", 100),
       0, std::to_string(kChain - 300 + 1)},
      {"signs and chains past", repeat("-(", 100) + "1" + repeat("+1", kChain) + repeat(")", 100),
       10, ""},
  };
  for (const Case& c : cases) {
    Fault f;
    bool evaluated = false;
    std::string value;
    ASSERT_TRUE(onSmallStack(256 * 1024, [&] {
      EXTfldval calc, r;
      f = parse(calc, &eci, c.calc);
      evaluated = calc.evalCalculation(r, &eci, nullptr, qfalse);
      value = text(r);
    }));
    EXPECT_EQ(f.code, c.code) << c.name;
    EXPECT_EQ(evaluated, c.code == 0) << c.name;
    if (c.code == 0) EXPECT_EQ(value, c.value) << c.name;
  }
}

TEST_F(CalcDepth, ShortCircuitStillIgnoresAFailingRightOperand) {
  // The evaluator works out every operand, but & and | keep their meaning: a right operand
  // that fails does not matter when the left one decides.
  struct Case {
    const char* calc;
    bool ok;
    const char* value;
  } cases[] = {
      {"1=2 & 1/0=1", true, "0"}, {"1=1 | 1/0=1", true, "1"},
      {"1=1 & 1/0=1", false, ""}, {"1=2 | 1/0=1", false, ""},
      {"1/0=1 | 1=1", false, ""}, {"not(1=2 & 'x'+1) & abs(-3)=3", true, "1"},
  };
  for (const Case& c : cases) {
    EXTfldval calc, r;
    ASSERT_EQ(parse(calc, &eci, c.calc).code, 0) << c.calc;
    EXPECT_EQ(calc.evalCalculation(r, &eci, nullptr, qfalse) != 0, c.ok) << c.calc;
    if (c.ok) EXPECT_EQ(text(r), c.value) << c.calc;
  }
}

class EvalCalcDepth : public ComponentTest {};

TEST_F(EvalCalcDepth, TheMethodReportsACalculationError) {
  struct Case {
    std::string calc;
    bool ok;
  } cases[] = {
      {repeat("abs(", kNesting) + "1" + repeat(")", kNesting), true},
      {repeat("abs(", kNesting) + "-1" + repeat(")", kNesting), false},
      {repeat("abs(", kFar) + "-1" + repeat(")", kFar), false},
      {repeat("(", kFar) + "1" + repeat(")", kFar), false},
      {repeat("-", kFar) + "1", false},
      {"1" + repeat("+1", kFar), false},
  };
  for (const Case& c : cases) {
    std::vector<EXTfldval> params{chr(c.calc)};
    hostrt::CallOutcome r;
    ASSERT_TRUE(onSmallStack(512 * 1024, [&] { r = call("$evalcalc", params); }));
    ASSERT_TRUE(r.hasReturn) << c.calc.substr(0, 20);
    if (c.ok) {
      EXPECT_TRUE(r.errors.empty());
      EXPECT_EQ(text(r.ret), "1");
      continue;
    }
    ASSERT_EQ(r.errors.size(), 1u) << c.calc.substr(0, 20);
    EXPECT_EQ(r.errors[0].code, -105);
    EXPECT_EQ(r.errors[0].message, "Calculation is invalid");
    // A calculation this long is set up without positions; the detail quotes its start.
    const std::string detail = "Calculation error 10 at position 0 to 0 when evaluating '" + c.calc;
    EXPECT_EQ(r.errors[0].detail, detail.substr(0, 255));
    EXPECT_EQ(r.ret.getType(), fftCharacter);
    EXPECT_EQ(text(r.ret), "");
  }
}

}  // namespace
