// $barcodeUSPS through the entry procedure: fields, their checks and order, encoder failures
// with the optional sixth parameter, and the free validators.
#include <sstream>

#include "testhost.h"
#include "usps4cb.h"
#include "zqbarcodeusps.h"

using namespace zqtest;

namespace {

const qlong kBarcodeUSPS = 2124;
const char kBars[] = "AADTFFDFTDADTAADAATFDTDDAAADDTDTTDAFADADDDTFFFDDTTTADFAAADFTDAADA";

const char* const kMissing[] = {
    "Parameter 1 must specify the Barcode Identifier.",
    "Parameter 2 must specify the Service Type Identifier.",
    "Parameter 3 must specify the Mailer Identifier.",
    "Parameter 4 must specify the Serial Number.",
    "Parameter 5 must specify the Zip Code (all digits, no hyphens).",
};
const char* const kInvalid[] = {
    "Parameter 1 contains invalid Barcode Identifier.  Allowed digits: 00-04, 10-14, 20-24, "
    "30-34, 40-44, 50-54, 60-64, 70-74, 80-84, and 90-94.",
    "Parameter 2 contains invalid Service Type Identifier.  Must be 3 digits between 000 and "
    "999.",
    "Parameter 3 contains invalid Mailer Identifier. Must be 6 or 9 digits.  6 Digit Range: "
    "000000 and 899999  9 Digit Range: 900000000-999999999",
    "Parameter 4 contains invalid Serial Number.  Must be 6 or 9 digits.  Must be between "
    "000000000-999999999 (9 digits) for 6-digit mailing ID and 000000-999999 (6 digits) with "
    "9-digit mailing ID",
    "Parameter 5 contains invalid Zip Code.",
};

class BarcodeUSPS : public ComponentTest {
 protected:
  std::vector<EXTfldval> fields(const char* id, const char* service, const char* mailer,
                                const char* serial, const char* zip) {
    return {chr(id), chr(service), chr(mailer), chr(serial), chr(zip)};
  }

  // Expects exactly one report with code and detail, and an empty return value.
  void expectReport(const hostrt::CallOutcome& r, qlong code, const std::string& detail,
                    const std::string& what) {
    ASSERT_EQ(r.errors.size(), 1u) << what;
    EXPECT_EQ(r.errors[0].code, code) << what;
    EXPECT_EQ(r.errors[0].detail, detail) << what;
    EXPECT_EQ(r.errors[0].method, "$barcodeUSPS") << what;
    ASSERT_TRUE(r.hasReturn) << what;
    EXPECT_EQ(r.ret.getType(), fftCharacter) << what;
    EXPECT_EQ(text(r.ret), "") << what;
  }

  // The letters USPS4CB gives for the same strings.
  static std::string direct(const std::string& track, const std::string& zip) {
    char bars[66] = {0};
    EXPECT_EQ(USPS4CB(track.c_str(), zip.c_str(), bars), 0);
    return std::string(bars, 65);
  }
};

TEST_F(BarcodeUSPS, EncodesTheMailPiece) {
  auto params = fields("01", "234", "567094", "987654321", "01234567891");
  auto r = call(kBarcodeUSPS, params);
  EXPECT_EQ(r.answer, 0);
  EXPECT_TRUE(r.errors.empty());
  ASSERT_TRUE(r.hasReturn);
  EXPECT_EQ(r.ret.getType(), fftCharacter);
  EXPECT_EQ(text(r.ret), kBars);
  EXPECT_TRUE(r.changed.empty());

  // On success a sixth parameter stays as it was.
  params = fields("01", "234", "567094", "987654321", "01234567891");
  params.push_back(chr("untouched"));
  r = call("$barcodeUSPS", params);
  EXPECT_EQ(text(r.ret), kBars);
  EXPECT_EQ(text(params[5]), "untouched");
  EXPECT_TRUE(r.changed.empty());
}

TEST_F(BarcodeUSPS, FewerThanFiveParametersReadsNone) {
  std::vector<EXTfldval> params{integer(1), integer(234), chr("567094"), chr("987654321")};
  auto r = call(kBarcodeUSPS, params);
  expectReport(r, -102, "Parameter count must be 5 or more", "4 parameters");
  EXPECT_EQ(r.errors[0].message, "Invalid parameters");
  EXPECT_EQ(params[0].getType(), fftInteger);  // not converted: never read
}

TEST_F(BarcodeUSPS, ParameterOfWrongTypeNamesItsField) {
  for (int n = 0; n < 5; ++n) {
    for (const EXTfldval& bad : {boolean(true), binary("01"), list({{"a"}}, {{"x"}})}) {
      auto params = fields("01", "234", "567094", "987654321", "01234567891");
      params[n] = bad;
      auto r = call(kBarcodeUSPS, params);
      expectReport(r, -102, kMissing[n], "parameter " + std::to_string(n + 1));
    }
  }
}

// Valid and invalid values at each field's limits; field = 0 means the piece is encoded.
TEST_F(BarcodeUSPS, FieldLimits) {
  const struct {
    const char *id, *service, *mailer, *serial, *zip;
    int field;  // the field whose "contains invalid" message is reported; 0: encoded
  } cases[] = {
      {"00", "234", "567094", "987654321", "", 0},
      {"94", "234", "567094", "987654321", "", 0},
      {"05", "234", "567094", "987654321", "", 1},
      {"99", "234", "567094", "987654321", "", 1},
      {"1", "234", "567094", "987654321", "", 1},
      {"010", "234", "567094", "987654321", "", 1},
      {"a1", "234", "567094", "987654321", "", 1},
      {"", "234", "567094", "987654321", "", 1},
      {"01", "000", "567094", "987654321", "", 0},
      {"01", "999", "567094", "987654321", "", 0},
      {"01", "-12", "567094", "987654321", "", 2},  // reads as a negative number
      {"01", "-00", "567094", "987654321", "", 0},  // reads 0; the encoder refuses the '-'
      {"01", "23", "567094", "987654321", "", 2},
      {"01", "2345", "567094", "987654321", "", 2},
      {"01", "234", "000000", "987654321", "", 0},
      {"01", "234", "899999", "987654321", "", 0},
      {"01", "234", "900000", "987654321", "", 3},
      {"01", "234", "900000000", "987654", "", 0},
      {"01", "234", "999999999", "987654", "", 0},
      {"01", "234", "899999999", "987654", "", 3},  // 9 characters must begin with 9
      {"01", "234", "9-1234567", "987654", "", 3},  // begins with 9, reads below the range
      {"01", "234", "56709", "987654321", "", 3},
      {"01", "234", "5670945", "987654321", "", 3},
      {"01", "234", "9000000000", "987654", "", 3},
      {"01", "234", "567094", "987654", "", 4},  // 6-digit mailer, 6-digit serial
      {"01", "234", "900000000", "987654321", "", 4},
      {"01", "234", "567094", "-98765432", "", 4},
      {"01", "234", "900000000", "-98765", "", 4},
      {"01", "234", "567094", "000000000", "", 0},
      {"01", "234", "900000000", "000000", "", 0},
      {"01", "234", "567094", "987654321", "01234", 0},
      {"01", "234", "567094", "987654321", "012345678", 0},
      {"01", "234", "567094", "987654321", "99999999999", 0},
      {"01", "234", "567094", "987654321", "1234", 5},
      {"01", "234", "567094", "987654321", "123456", 5},
      {"01", "234", "567094", "987654321", "1234567890", 5},
      {"01", "234", "567094", "987654321", "123456789012", 5},
      {"01", "234", "567094", "987654321", "01234-5678", 5},
      {"01", "234", "567094", "987654321", "0123456789a", 5},
      {"01", "234", "567094", "987654321", "-1234", 5},
      {"01", "234", "567094", "987654321", " 1234", 5},      // would encode as no ZIP code
      {"01", "234", "567094", "987654321", "01234 678", 5},  // would lose its last digits
      {"01", "234", "567094", "987654321", "1234 ", 5},
      // The first failing field decides, in the order of the parameters.
      {"05", "23", "5", "1", "1", 1},
      {"01", "23", "5", "1", "1", 2},
      {"01", "234", "5", "1", "1", 3},
      {"01", "234", "567094", "1", "1", 4},
  };
  for (const auto& c : cases) {
    const std::string what =
        std::string(c.id) + "|" + c.service + "|" + c.mailer + "|" + c.serial + "|" + c.zip;
    auto params = fields(c.id, c.service, c.mailer, c.serial, c.zip);
    auto r = call(kBarcodeUSPS, params);
    if (c.field == 0) {
      const std::string track = std::string(c.id) + c.service + c.mailer + c.serial;
      if (track.find('-') != std::string::npos) {
        expectReport(r, -2, "Error occured creating barcode: Track string has invalid data.", what);
        continue;
      }
      EXPECT_TRUE(r.errors.empty()) << what;
      EXPECT_EQ(text(r.ret), direct(track, c.zip)) << what;
    } else {
      expectReport(r, -102, kInvalid[c.field - 1], what);
    }
  }
}

// Fields that pass their rule but not the encoder end in the -2 report, and a sixth
// parameter receives the encoder's message.
TEST_F(BarcodeUSPS, EncoderFailureReportsAndFillsTheSixthParameter) {
  const struct {
    const char *service, *zip, *message;
  } cases[] = {
      {"2a4", "", "Track string has invalid data."},
      {"+34", "", "Track string has invalid data."},
      {" 34", "", "Track string has invalid data."},
      {"234", "1234a", "Route string has invalid data."},
      {"234", "1234\t", "Route string has invalid data."},
  };
  for (const auto& c : cases) {
    auto params = fields("01", c.service, "567094", "987654321", c.zip);
    auto r = call(kBarcodeUSPS, params);
    const std::string detail = std::string("Error occured creating barcode: ") + c.message;
    expectReport(r, -2, detail, c.service);
    EXPECT_EQ(r.errors[0].message, "Method failed.");
    EXPECT_TRUE(r.changed.empty());

    params = fields("01", c.service, "567094", "987654321", c.zip);
    params.push_back(chr("before"));
    r = call(kBarcodeUSPS, params);
    expectReport(r, -2, detail, c.service);
    EXPECT_EQ(text(params[5]), c.message);
    EXPECT_EQ(r.changed, std::vector<qlong>{6});
  }

  // A sixth parameter that cannot hold text is skipped without a further error.
  auto params = fields("01", "2a4", "567094", "987654321", "");
  params.push_back(list({{"a"}}, {{"x"}}));
  auto r = call(kBarcodeUSPS, params);
  expectReport(r, -2, "Error occured creating barcode: Track string has invalid data.", "list");
  EXPECT_TRUE(r.changed.empty());
  EXPECT_EQ(params[5].getType(), fftList);
}

// Integer and number values are read through their character text.
TEST_F(BarcodeUSPS, NumbersAreReadAsText) {
  std::vector<EXTfldval> params{chr("01"), integer(234), integer(567094), number(987654321),
                                integer(12345)};
  auto r = call(kBarcodeUSPS, params);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(text(r.ret), direct("01234567094987654321", "12345"));

  // The integer 5 is the one-character text "5": not a Barcode Identifier.
  params = {integer(5), chr("234"), chr("567094"), chr("987654321"), chr("")};
  r = call(kBarcodeUSPS, params);
  expectReport(r, -102, kInvalid[0], "integer 5");

  // The integer 34 as Service Type Identifier has two characters.
  params = {chr("01"), integer(34), chr("567094"), chr("987654321"), chr("")};
  r = call(kBarcodeUSPS, params);
  expectReport(r, -102, kInvalid[1], "integer 34");
}

TEST_F(BarcodeUSPS, ResultMemoryRefusedIsReported) {
  hostrt::setAllocFailure(1, 0);
  auto params = fields("01", "234", "567094", "987654321", "01234567891");
  auto r = call(kBarcodeUSPS, params);
  expectReport(r, -103, "Not enough memory for the barcode text.", "memory");
  EXPECT_EQ(r.errors[0].message, "Out of memory.");

  // The next call succeeds again.
  hostrt::resetFailures();
  r = call(kBarcodeUSPS, params);
  EXPECT_EQ(text(r.ret), kBars);
}

// The value of a field is what a formatted stream reads from its text.
TEST(USPSValidators, ValueReadingMatchesStreamExtraction) {
  const char* texts[] = {"123", " 12", "\t12", "+12", "-12", "-0",  "1a2", "a12", "",   "+",
                         "-",   "--1", "+-1",  " -",  "007", "12 ", "1-2", "\n9", "+00"};
  for (const char* t : texts) {
    std::istringstream in(t);
    int value = 0;
    in >> value;
    const bool expected = std::string(t).size() == 3 && static_cast<unsigned>(value) < 1000;
    EXPECT_EQ(validateServiceType(t), expected) << "'" << t << "' reads " << value;
  }
  const char* mailers[] = {"899999",    "900000",    " 89999",    "+89999",    "-00001",
                           "8999x9",    "x89999",    "900000000", "9+0000000", "999999999",
                           "9 0000000", "9-9999999", "900000000"};
  for (const char* t : mailers) {
    std::istringstream in(t);
    long long value = 0;
    in >> value;
    const std::string s(t);
    const auto u = static_cast<unsigned long long>(value);
    const bool expected = (s.size() == 6 && u < 900000) ||
                          (s.size() == 9 && s[0] == '9' && u >= 900000000 && u <= 999999999);
    EXPECT_EQ(validateMailer(t), expected) << "'" << t << "' reads " << value;
  }
}

// A ZIP code the encoder would cut short (at a space or a NUL) is not valid.
TEST(USPSValidators, ZipCodeWithACutIsInvalid) {
  EXPECT_TRUE(validateZipCode("12345"));
  EXPECT_FALSE(validateZipCode(std::string("1234\0", 5)));
  EXPECT_FALSE(validateZipCode(std::string("\0\0\0\0\0", 5)));
  EXPECT_FALSE(validateZipCode(std::string("12345\0", 6)));
  EXPECT_FALSE(validateZipCode(std::string("12345678\0", 9)));
  EXPECT_FALSE(validateZipCode("    1"));
  EXPECT_FALSE(validateZipCode("123456 89"));
}

TEST(USPSValidators, MessageTableHoldsEveryCode) {
  buildUSPSErrorList();
  buildUSPSErrorList();  // a second call changes nothing
  ASSERT_EQ(errors.size(), 14u);
  EXPECT_EQ(errors.at(0), "Success.");
  EXPECT_EQ(errors.at(4), "Retrive table failed.");
  EXPECT_EQ(errors.at(11), "Track string has invalid digit 2.");
  EXPECT_EQ(errors.at(13), "Route string has invalid data.");
}

}  // namespace
