// Parameter readers, error reports and character buffer growth of the object base.
#include <cstring>

#include "omnistools.h"
#include "testhost.h"
#include "zqmain.h"

using namespace zqtest;

namespace {

// A call record with parameters, for calling the readers directly.
struct Params {
  explicit Params(std::vector<EXTfldval> v, HostContext* ctx = nullptr) : values(std::move(v)) {
    for (EXTfldval& p : values) call.params.push_back(p.data());
    eci.mCall = &call;
    eci.mContext = ctx;
  }
  std::vector<EXTfldval> values;
  HostCall call;
  EXTCompInfo eci;
  tThreadData td{&eci};
};

TEST(ParamInt, TextToIntegerRule) {
  const struct {
    const char* text;
    qlong status;
    qlong value;
  } cases[] = {
      {"42", 0, 42},
      {"4x", -102, 0},
      {"", 0, 0},
      {"1 000", 0, 1000},
      {"1,000", 0, 1000},
      {"2147483647", 0, 2147483647},
      {"2147483648", -102, 0},
      {"-2147483647", 0, -2147483647},
      {"-2147483648", -102, 0},
      {"-5", 0, -5},
      {"5-", 0, -5},
      {"1-2", 0, -12},
      {"--5", -102, 0},
      {"+7", 0, 7},
      {"\t 3\n", 0, 3},
      {"0000000001", 0, 1},
      {"00000000001", -102, 0},
      {"1.5", -102, 0},
      {"12345678901", -102, 0},
      {"\xC3\xA9", -102, 0},
  };
  for (const auto& c : cases) {
    Params p({chr(c.text)});
    qlong out = 77;
    EXPECT_EQ(tObjZQBase::getParamInt(&p.td, 1, out), c.status) << c.text;
    if (c.status == 0) EXPECT_EQ(out, c.value) << c.text;
  }
}

TEST(ParamInt, CommaCharacterIsTheHosts) {
  hostrt::setCommaChar(U'.');
  Params p({chr("1.000"), chr("1,000")});
  qlong out = 0;
  EXPECT_EQ(tObjZQBase::getParamInt(&p.td, 1, out), 0);
  EXPECT_EQ(out, 1000);
  EXPECT_EQ(tObjZQBase::getParamInt(&p.td, 2, out), -102);
  hostrt::setCommaChar(U',');
}

TEST(ParamInt, Kinds) {
  EXTfldval big;
  big.setLong64(12);
  Params p({integer(-3), number(2.6), boolean(true), big, binary("x")});
  const std::pair<qshort, qlong> ok[] = {{1, -3}, {2, 3}, {3, 1}, {4, 12}};
  for (const auto& [n, v] : ok) {
    qlong out = 0;
    EXPECT_EQ(tObjZQBase::getParamInt(&p.td, n, out), 0) << n;
    EXPECT_EQ(out, v) << n;
  }
  qlong out = 0;
  EXPECT_EQ(tObjZQBase::getParamInt(&p.td, 5, out), -102);
  EXPECT_EQ(tObjZQBase::getParamInt(&p.td, 6, out), -102);  // missing
}

TEST(ParamBool, AcceptsZeroOrOneOfTheIntegerKinds) {
  EXTfldval zero64;
  zero64.setLong64(0);
  Params p({integer(2), integer(1), number(1), boolean(true), chr("1"), zero64, boolean(false)});
  const struct {
    qshort n;
    qlong status;
    bool value;
  } cases[] = {{1, -102, false}, {2, 0, true},  {3, -102, false}, {4, 0, true},
               {5, -102, false}, {6, 0, false}, {7, 0, false},    {8, -102, false}};
  for (const auto& c : cases) {
    qbool out = !c.value;
    const qbool before = out;
    EXPECT_EQ(tObjZQBase::getParamBool(&p.td, c.n, out), c.status) << c.n;
    EXPECT_EQ(out, c.status == 0 ? c.value : before) << c.n;
  }
}

TEST(ParamBool, DontCare) {
  Params p({chr("abc"), integer(5), chr("0"), boolean(true)});
  EXPECT_FALSE(tObjZQBase::getParamBoolDontCare(&p.td, 1, true));
  EXPECT_TRUE(tObjZQBase::getParamBoolDontCare(&p.td, 2, false));
  EXPECT_FALSE(tObjZQBase::getParamBoolDontCare(&p.td, 3, true));
  EXPECT_TRUE(tObjZQBase::getParamBoolDontCare(&p.td, 4, false));
  EXPECT_TRUE(tObjZQBase::getParamBoolDontCare(&p.td, 5, true));
  EXPECT_FALSE(tObjZQBase::getParamBoolDontCare(&p.td, 5, false));
}

TEST(ParamVar, RefersToTheParameterAndConvertsNumbersToText) {
  Params p({integer(7), boolean(true), binary("ab"), number(1.5)});
  EXTfldval v;
  ASSERT_EQ(tObjZQBase::getParamVar(&p.td, 1, v, fftCharacter, fftNone), 0);
  EXPECT_EQ(text(p.values[0]), "7");  // converted in place
  EXPECT_EQ(p.values[0].getType(), fftCharacter);
  v.setChar(U"new", 3);  // writing the reference writes the parameter
  EXPECT_EQ(text(p.values[0]), "new");
  EXPECT_EQ(tObjZQBase::getParamVar(&p.td, 2, v, fftCharacter, fftNone), -102);
  EXPECT_EQ(p.values[1].getType(), fftBoolean);
  EXPECT_EQ(tObjZQBase::getParamVar(&p.td, 3, v, fftCharacter, fftBinary), 0);
  EXPECT_EQ(tObjZQBase::getParamVar(&p.td, 3, v, fftCharacter, fftList), -102);
  EXPECT_EQ(tObjZQBase::getParamVar(&p.td, 4, v, fftCharacter, fftBinary), 0);
  EXPECT_EQ(text(p.values[3]), "1.5");
  EXPECT_EQ(tObjZQBase::getParamVar(&p.td, 2, v, fftNone, fftNone), 0);
  EXPECT_EQ(tObjZQBase::getParamVar(&p.td, 5, v, fftNone, fftNone), -102);
}

TEST(ParamText, CharacterOnlyAtMost255) {
  Params p({chr(std::string(300, 'x')), integer(4)});
  str255 s;
  EXPECT_EQ(tObjZQBase::getParamText(&p.td, 1, s), 0);
  EXPECT_EQ(s.length(), 255);
  EXPECT_EQ(tObjZQBase::getParamText(&p.td, 2, s), -102);
  EXPECT_EQ(tObjZQBase::getParamText(&p.td, 3, s), -102);
}

TEST(ParamList, ListsAndRows) {
  Params p({list({{"a"}}, {{"1"}}), list({{"a"}}, {{"1"}}, true), chr("x")});
  EXTqlist l;
  EXPECT_EQ(tObjZQBase::getParamList(&p.td, 1, l, false), 0);
  EXPECT_EQ(l.rowCnt(), 1);
  l.insertRow();  // the reader refers to the parameter's list
  EXTqlist again;
  p.values[0].getList(&again, false);
  EXPECT_EQ(again.rowCnt(), 2);
  EXPECT_EQ(tObjZQBase::getParamList(&p.td, 2, l, false), -102);
  EXPECT_EQ(tObjZQBase::getParamList(&p.td, 2, l, true), 0);
  EXPECT_EQ(tObjZQBase::getParamList(&p.td, 3, l, true), -102);
}

TEST(ParamVarByName, VariablesAndListCells) {
  HostContext ctx;
  EXTfldval people = list({{"Name"}, {"Age", fftInteger}}, {{"ann", "31"}, {"bob", "42"}});
  EXTqlist l;
  people.getList(&l, true);
  l.setCurRow(2);
  ctx.setVar("people", people);
  ctx.setVar("count", integer(3));
  ctx.setVar("one", list({{"Name"}}, {{"x"}}, true));
  const struct {
    const char* name;
    ffttype wanted, alternative;
    qlong status;
    const char* value;
  } cases[] = {
      {"people.name", fftNone, fftNone, 0, "bob"},     {"PEOPLE.AGE", fftInteger, fftNone, 0, "42"},
      {"people.age", fftCharacter, fftNone, -102, ""}, {"people.nam", fftNone, fftNone, -102, ""},
      {"people.names", fftNone, fftNone, -102, ""},    {"nobody.name", fftNone, fftNone, -102, ""},
      {"one.name", fftNone, fftNone, -102, ""},  // a row is not a list
      {"count", fftInteger, fftNone, 0, "3"},          {"Count", fftCharacter, fftInteger, 0, "3"},
      {"count", fftCharacter, fftNone, -102, ""},      {"missing", fftNone, fftNone, -102, ""},
  };
  for (const auto& c : cases) {
    Params p({chr(c.name)}, &ctx);
    EXTfldval out;
    EXPECT_EQ(tObjZQBase::getParamVarByName(&p.td, 1, out, c.wanted, c.alternative), c.status)
        << c.name;
    if (c.status == 0) EXPECT_EQ(text(out), c.value) << c.name;
  }
  // The reference writes the variable's cell in the current line.
  Params p({chr("people.name")}, &ctx);
  EXTfldval out;
  ASSERT_EQ(tObjZQBase::getParamVarByName(&p.td, 1, out, fftNone, fftNone), 0);
  out = chr("carl");
  EXPECT_EQ(cell(*ctx.findVar("people"), 2, 1), "carl");
  Params notText({integer(1)}, &ctx);
  EXPECT_EQ(tObjZQBase::getParamVarByName(&notText.td, 1, out, fftNone, fftNone), -102);
}

TEST(FindListColumn, ExactLengthIgnoringCase) {
  EXTfldval v = list({{"abc"}, {"AB"}, {"ab"}}, {});
  EXTqlist l;
  v.getList(&l, false);
  EXPECT_EQ(tObjZQBase::findListColumn(l, U"ab", 2), 2);
  EXPECT_EQ(tObjZQBase::findListColumn(l, U"ABC", 3), 1);
  EXPECT_EQ(tObjZQBase::findListColumn(l, U"a", 1), 0);
}

TEST(ErrorReport, FourValuesToTheOwningInstance) {
  const objinst owner = hostrt::newInstance("owner");
  tObjZQMain object(owner, nullptr, nullptr);
  const struct {
    qlong status;
    const char* message;
  } cases[] = {{-101, "Invalid method called. Internal method index error."},
               {-102, "Invalid parameters"},
               {-103, "Out of memory."},
               {-104, "The feature is not supported"},
               {-105, "Calculation is invalid"},
               {-106, "Old row does not match new row"},
               {-107, "String to be decrypted does not contain valid hex"},
               {-108, "String to be decrypted does not contain valid DES encryption"},
               {-999, "Feature not implemented."},
               {-2, "Method failed."},
               {-3, "Unknown error."},
               {7, "Unknown error."}};
  for (const auto& c : cases) {
    EXTCompInfo eci;
    tThreadData td(&eci);
    td.methodName = "$replace";
    tObjZQBase::returnError(&td, c.status, "Parameter count must be 1");
    const size_t before = hostrt::recordedCalls().size();
    object.callErrorMethod(&td, c.status);
    ASSERT_EQ(hostrt::recordedCalls().size(), before + 1);
    const auto& rec = hostrt::recordedCalls().back();
    EXPECT_EQ(rec.inst, owner);
    EXPECT_EQ(rec.method, "$error");
    ASSERT_EQ(rec.params.size(), 4u);
    EXPECT_EQ(rec.params[0].getLong(), c.status);
    EXPECT_EQ(text(rec.params[1]), c.message);
    EXPECT_EQ(text(rec.params[2]), "Parameter count must be 1");
    EXPECT_EQ(text(rec.params[3]), "$replace");
  }
  for (qlong silent : {0, -1, 2}) {
    EXTCompInfo eci;
    tThreadData td(&eci);
    const size_t before = hostrt::recordedCalls().size();
    object.callErrorMethod(&td, silent);
    EXPECT_EQ(hostrt::recordedCalls().size(), before) << silent;
  }
}

TEST(ErrorReport, HostStringDetailWinsAndEmptyWithoutName) {
  const objinst owner = hostrt::newInstance("owner");
  tObjZQMain object(owner, nullptr, nullptr);
  EXTCompInfo eci;
  tThreadData td(&eci);
  td.errorText = "text";
  str80 detail = OmnisTools::initStr80("host string");
  object.showError(&td, -105, &detail);
  const auto& rec = hostrt::recordedCalls().back();
  EXPECT_EQ(text(rec.params[2]), "host string");
  EXPECT_EQ(text(rec.params[3]), "");
  tThreadData plain(&eci);
  object.showError(&plain, -2, static_cast<const char*>(nullptr));
  EXPECT_EQ(text(hostrt::recordedCalls().back().params[2]), "");
}

TEST(HandleConcatChars, GrowsInStepsOf1024Characters) {
  qHandleInfo* h = nullptr;
  const qchar one = U'a';
  ASSERT_EQ(tObjZQBase::handleConcatChars(h, &one, 1), 0);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->mAllocated, 4096);
  EXPECT_EQ(h->mUsed, 4);
  std::vector<qchar> more(1023, U'b');
  ASSERT_EQ(tObjZQBase::handleConcatChars(h, more.data(), 1023), 0);
  EXPECT_EQ(h->mAllocated, 4096);  // exactly one block
  ASSERT_EQ(tObjZQBase::handleConcatChars(h, &one, 1), 0);
  EXPECT_EQ(h->mAllocated, 8192);
  EXPECT_EQ(h->mUsed, 1025 * 4);
  const qchar* chars = reinterpret_cast<const qchar*>(h->mData);
  EXPECT_EQ(chars[0], U'a');
  EXPECT_EQ(chars[1023], U'b');
  EXPECT_EQ(chars[1024], U'a');
  EXPECT_EQ(tObjZQBase::handleConcatChars(h, &one, 0), 0);
  EXPECT_EQ(h->mUsed, 1025 * 4);
  HANglobalFree(h);
}

TEST(HandleConcatChars, FailureLeavesTheHandleAsItWas) {
  qHandleInfo* h = nullptr;
  hostrt::setAllocFailure(1, 0);
  const qchar c = U'x';
  EXPECT_EQ(tObjZQBase::handleConcatChars(h, &c, 1), 22);
  EXPECT_EQ(h, nullptr);
  hostrt::resetFailures();
  std::vector<qchar> block(1024, U'y');
  ASSERT_EQ(tObjZQBase::handleConcatChars(h, block.data(), 1024), 0);
  hostrt::setAllocFailure(0, 4096);
  EXPECT_EQ(tObjZQBase::handleConcatChars(h, &c, 1), 22);
  EXPECT_EQ(h->mAllocated, 4096);
  EXPECT_EQ(h->mUsed, 4096);
  EXPECT_EQ(reinterpret_cast<const qchar*>(h->mData)[1023], U'y');
  hostrt::resetFailures();
  HANglobalFree(h);
}

TEST(OmnisTools, HostStringsAndConversions) {
  EXPECT_EQ(OmnisTools::initStr31(std::string(32, 'a').c_str()).length(), 0);
  EXPECT_EQ(OmnisTools::initStr31(std::string(31, 'a').c_str()).length(), 31);
  EXPECT_EQ(OmnisTools::initStr15("").length(), 0);
  EXPECT_EQ(OmnisTools::initStr15("\xC3\xA9t\xC3\xA9").length(), 3);  // 5 bytes, 3 characters
  EXTfldval v;
  OmnisTools::getEXTFldValFromString(v, "\xF0\x9F\x98\x80 ok");
  EXPECT_EQ(v.getCharLen(), 4);
  EXPECT_EQ(OmnisTools::getStringFromEXTFldVal(v), "\xF0\x9F\x98\x80 ok");
  EXPECT_EQ(OmnisTools::getWStringFromEXTFldVal(v).size(), 4u);
  OmnisTools::getEXTFldValFromChar(v, nullptr);
  EXPECT_EQ(v.getCharLen(), 0);
  OmnisTools::getEXTFldValFromBool(v, true);
  EXPECT_EQ(v.getBool(), 2);
  EXPECT_TRUE(OmnisTools::getBoolFromEXTFldVal(v));
  OmnisTools::getEXTFldValFromBool(v, false);
  EXPECT_EQ(v.getBool(), 1);
  EXPECT_FALSE(OmnisTools::getBoolFromEXTFldVal(v));
  OmnisTools::getEXTFldValFromInt(v, 12);
  EXPECT_EQ(OmnisTools::getStringFromEXTFldVal(v), "12");
}

}  // namespace
