// The host's calculations: parsing with error codes and positions, precedence, operators,
// functions, names resolved in the calling context, and evaluation failures.
#include <string>

#include "testhost.h"

using namespace zqtest;

namespace {

class Calc : public ::testing::Test {
 protected:
  void SetUp() override {
    eci.mContext = &ctx;
    ctx.setVar("x", integer(7));
    ctx.setVar("who", chr("Ann"));
    ctx.setVar("lst", list({{"col"}, {"n", fftInteger}}, {{"first", "1"}, {"second", "2"}}));
    EXTfldval empty;
    empty.setNull(fftNumber);
    ctx.setVar("nothing", empty);
    ctx.cinst = list({{"name"}, {"amount", fftNumber}}, {{"Bob", "2.5"}}, true);
    EXTqlist l;
    ctx.findVar("lst")->getList(&l, qtrue);
    l.setCurRow(2);
  }

  struct Fault {
    qlong code, first, last;
  };
  Fault parse(EXTfldval& calc, const std::string& text) {
    const std::u32string t = hostrt::toU32(text);
    Fault f{0, -1, -1};
    f.code =
        calc.setCalculation(&eci, 1, t.data(), static_cast<qlong>(t.size()), &f.first, &f.last);
    return f;
  }
  // Parses and evaluates; false when either step fails.
  bool eval(const std::string& text, EXTfldval& result) {
    EXTfldval calc;
    return parse(calc, text).code == 0 && calc.evalCalculation(result, &eci, nullptr, qfalse);
  }

  HostContext ctx;
  EXTCompInfo eci;
};

TEST_F(Calc, ValuesPrecedenceAndFunctions) {
  struct Case {
    const char* calc;
    ffttype type;
    const char* text;
  } cases[] = {
      {"1+2", fftNumber, "3"},
      {"1+2*3", fftNumber, "7"},
      {"(1+2)*3", fftNumber, "9"},
      {"10-4-3", fftNumber, "3"},
      {"2*3-4/2", fftNumber, "4"},
      {"12/4/3", fftNumber, "1"},
      {"-2*3", fftNumber, "-6"},
      {"- -2", fftNumber, "2"},
      {"-(1+2)", fftNumber, "-3"},
      {"1.5+.25", fftNumber, "1.75"},
      {" \t1 +\n2 ", fftNumber, "3"},
      {"1+2=3", fftBoolean, "1"},
      {"1+2<>3", fftBoolean, "0"},
      {"1<2&2<1", fftBoolean, "0"},
      {"1<2|2<1", fftBoolean, "1"},
      {"1=1|1=1&1=2", fftBoolean, "1"},  // & binds tighter than |
      {"(1=1|1=1)&1=2", fftBoolean, "0"},
      {"2>=2&2<=2&3>2", fftBoolean, "1"},
      {"'abc'<'abd'", fftBoolean, "1"},
      {"'a'<>'A'", fftBoolean, "1"},
      {"'10'=10", fftBoolean, "1"},
      {"'9'<'10'", fftBoolean, "0"},  // two texts compare as texts
      {"'9'<10", fftBoolean, "1"},    // a number makes it numeric
      {"con('a',\"b\",1,'\"')", fftCharacter, "ab1\""},
      {"len('h\xC3\xA9llo')", fftInteger, "5"},
      {"UPP('abc')", fftCharacter, "ABC"},
      {"low(\"\xC3\x80"
       "B\")",
       fftCharacter,
       "\xC3\xA0"
       "b"},
      {"mid('abcdef',2,3)", fftCharacter, "bcd"},
      {"mid('abc',2)", fftCharacter, "bc"},
      {"mid('abc',0,2)", fftCharacter, "ab"},
      {"mid('abc',5,1)", fftCharacter, ""},
      {"mid('abc',2,-1)", fftCharacter, ""},
      {"pos('c','abcabc')", fftInteger, "3"},
      {"pos('z','abc')", fftInteger, "0"},
      {"pos('','abc')", fftInteger, "0"},
      {"abs(-2.5)", fftNumber, "2.5"},
      {"int(7.9)", fftInteger, "7"},
      {"int(-7.9)", fftInteger, "-7"},
      {"min(3,1,2)", fftNumber, "1"},
      {"max('a','c','b')", fftCharacter, "c"},
      {"not(1=2)", fftBoolean, "1"},
      {"not('yes')", fftBoolean, "0"},
      {"x", fftInteger, "7"},
      {"X*2", fftNumber, "14"},
      {"con(who,'!')", fftCharacter, "Ann!"},
      {"lst.col", fftCharacter, "second"},
      {"lst.n+x", fftNumber, "9"},
      {"$cinst.name", fftCharacter, "Bob"},
      {"$cinst.C2*2", fftNumber, "5"},
      {"$CINST.c1", fftCharacter, "Bob"},
  };
  for (const Case& c : cases) {
    EXTfldval r;
    ASSERT_TRUE(eval(c.calc, r)) << c.calc;
    EXPECT_EQ(r.getType(), c.type) << c.calc;
    EXPECT_EQ(text(r), c.text) << c.calc;
  }
}

TEST_F(Calc, NullOperandsGiveNull) {
  for (const char* c : {"nothing+1", "-nothing", "abs(nothing)", "2*nothing"}) {
    EXTfldval r;
    ASSERT_TRUE(eval(c, r)) << c;
    EXPECT_TRUE(r.isNull()) << c;
    EXPECT_EQ(r.getType(), fftNumber) << c;
  }
}

TEST_F(Calc, ListsAndRowsAreValues) {
  EXTfldval r;
  ASSERT_TRUE(eval("lst", r));
  EXPECT_EQ(r.getType(), fftList);
  EXPECT_EQ(cell(r, 1, 1), "first");
  ASSERT_TRUE(eval("$cinst", r));
  EXPECT_EQ(r.getType(), fftRow);
  EXPECT_EQ(cell(r, 1, 1), "Bob");
}

TEST_F(Calc, ColumnNameListOfCinst) {
  for (const char* c :
       {"$cinst.$cols.$makelist($ref.$name)", " $CInst.$Cols.$MakeList( $REF.$NAME ) "}) {
    EXTfldval r;
    ASSERT_TRUE(eval(c, r)) << c;
    EXTqlist l;
    ASSERT_TRUE(r.getList(&l, qfalse));
    ASSERT_EQ(l.colCnt(), 1);
    ASSERT_EQ(l.rowCnt(), 2);
    EXPECT_EQ(cell(r, 1, 1), "name");
    EXPECT_EQ(cell(r, 2, 1), "amount");
  }
  ctx.cinst.setEmpty(fftRow);
  EXTfldval r;
  ASSERT_TRUE(eval("$cinst.$cols.$makelist($ref.$name)", r));
  EXTqlist l;
  ASSERT_TRUE(r.getList(&l, qfalse));
  EXPECT_EQ(l.rowCnt(), 0);
}

TEST_F(Calc, SyntaxErrorsWithPositions) {
  const std::string deep = std::string(201, '(') + "1" + std::string(201, ')');
  const std::string nested = std::string(200, '(') + "1" + std::string(200, ')');
  std::string chain = "1";
  for (int i = 0; i < 1001; ++i) chain += "+1";
  struct Case {
    std::string calc;
    qlong code, first, last;
  } cases[] = {
      {"", 9, 0, 0},
      {"   ", 9, 1, 3},
      {"1+", 1, 2, 2},
      {"1 2", 1, 3, 3},
      {"1*/2", 1, 3, 3},
      {"(1+2", 4, 1, 4},
      {"len('a'", 4, 1, 7},
      {"1+2)", 1, 4, 4},
      {"()", 1, 2, 2},
      {"'abc", 3, 1, 4},
      {"1+\"ab", 3, 3, 5},
      {"1 # 2", 2, 3, 3},
      {"1+nosuch*2", 5, 3, 8},
      {"x+$cinst.nosuch", 5, 3, 15},
      {"lst.nosuch", 5, 1, 10},
      {"foo(1)", 6, 1, 3},
      {"len(1,2)", 7, 1, 8},
      {"mid('a')", 7, 1, 8},
      {"con()", 7, 1, 5},
      {"$cinst.$foo", 8, 1, 11},
      {"$ctask.x", 8, 1, 8},
      {"1+$cinst.$cols.$makelist($ref.$other)", 8, 3, 36},
      {deep, 10, 201, 201},
      {nested, 0, -1, -1},
      {chain, 10, 2002, 2002},
  };
  for (const Case& c : cases) {
    const std::string label = c.calc.substr(0, 40);
    EXTfldval calc;
    const Fault f = parse(calc, c.calc);
    EXPECT_EQ(f.code, c.code) << label;
    if (c.code) {
      EXPECT_EQ(f.first, c.first) << label;
      EXPECT_EQ(f.last, c.last) << label;
      EXTfldval r;
      EXPECT_FALSE(calc.evalCalculation(r, &eci, nullptr, qfalse)) << label;
    }
  }
  // 1000 operators in a chain still evaluate.
  chain.resize(chain.size() - 2);
  EXTfldval r;
  ASSERT_TRUE(eval(chain, r));
  EXPECT_EQ(text(r), "1001");
}

TEST_F(Calc, EvaluationErrors) {
  for (const char* c :
       {"1/0", "x/(x-7)", "'abc'+1", "lst*2", "con(lst)", "len($cinst)", "not('maybe')", "'x'&1=1",
        "99999999999999999999999999999999999999999999999999999999999999999999"
        "99999999999999999999999999999999999999999999999999999999999999999999"
        "99999999999999999999999999999999999999999999999999999999999999999999"
        "99999999999999999999999999999999999999999999999999999999999999999999"
        "99999999999999999999999999999999999999999999999999999999999999999999*10"}) {
    EXTfldval calc;
    ASSERT_EQ(parse(calc, c).code, 0) << c;
    EXTfldval r = chr("untouched");
    EXPECT_FALSE(calc.evalCalculation(r, &eci, nullptr, qfalse)) << c;
    EXPECT_EQ(text(r), "untouched") << c;
  }
}

TEST_F(Calc, TheParsedFormLivesWithTheValue) {
  EXTfldval calc;
  ASSERT_EQ(parse(calc, "x+1").code, 0);
  EXTfldval copy(calc);  // a copy carries the calculation
  EXTfldval r;
  ASSERT_TRUE(copy.evalCalculation(r, &eci, nullptr, qfalse));
  EXPECT_EQ(text(r), "8");
  // Names are looked up again when evaluating: in another context without x it fails.
  HostContext other;
  EXTCompInfo otherEci;
  otherEci.mContext = &other;
  EXPECT_FALSE(calc.evalCalculation(r, &otherEci, nullptr, qfalse));
  ctx.setVar("x", integer(1));
  ASSERT_TRUE(calc.evalCalculation(calc, &eci, nullptr, qfalse));  // result into itself
  EXPECT_EQ(text(calc), "2");
  EXPECT_FALSE(calc.evalCalculation(r, &eci, nullptr, qfalse));  // new content drops it
  // A failed parse leaves nothing to evaluate.
  ASSERT_EQ(parse(copy, "1+").code, 1);
  EXPECT_FALSE(copy.evalCalculation(r, &eci, nullptr, qfalse));
}

}  // namespace
