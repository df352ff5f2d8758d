// "$caps" through the entry procedure: the rules in order, both modes, the exception list.
#include "caps.h"

#include <string>
#include <vector>

#include "testhost.h"

using namespace zqtest;

namespace {

class Caps : public ComponentTest {
 protected:
  std::string caps(const std::string& in, const std::string& exceptions = "", bool address = false,
                   bool collapse = false) {
    std::vector<EXTfldval> p{chr(in), chr(exceptions), boolean(address), boolean(collapse)};
    auto r = call("$caps", p);
    EXPECT_TRUE(r.errors.empty()) << in;
    EXPECT_EQ(r.ret.getLong(), 1) << in;
    EXPECT_EQ(r.changed, std::vector<qlong>{1}) << in;
    return text(p[0]);
  }
};

struct Row {
  const char* in;
  const char* want;
};

TEST_F(Caps, PersonalNames) {
  const Row rows[] = {
      {"mary o'brien-smith", "Mary O'Brien-Smith"},
      {"DON'T", "Don't"},
      {"o'neil's", "O'Neil's"},
      {"a", "A"},
      {"x", "X"},  // a single Roman numeral is no suffix
      {"", ""},
      {"mcbrae", "McBrae"},
      {"mcbra", "McBra"},
      {"mcbr", "Mcbr"},  // two more characters must follow the letter after Mc
      {"macbrae", "MacBrae"},
      {"macbra", "Macbra"},
      {"machett", "Machett"},
      {"mackay bell", "Mackay Bell"},
      {"jan van dorp", "Jan van Dorp"},
      {"otto von bismarck", "Otto von Bismarck"},
      {"jan van", "Jan Van"},
      {"de la cruz", "de La Cruz"},
      {"du bois", "du Bois"},
      {"dex bois", "Dex Bois"},
      {"john smith iii", "John Smith III"},
      {"tom viii", "Tom VIII"},
      {"paul xiv", "Paul XIV"},
      {" vi", " VI"},
      {"tom mix", "Tom Mix"},
      {"louis xiv.", "Louis Xiv."},
      {"\u00e9mile \u00c9COLE zo\u00eb", "\u00c9mile \u00c9cole Zo\u00eb"},
      {"caf\u00e9bar", "Caf\u00e9bar"},  // after a non-ASCII letter: lower case
  };
  for (const Row& r : rows) EXPECT_EQ(caps(r.in), r.want) << r.in;
}

TEST_F(Caps, NumbersWithLetters) {
  const Row rows[] = {
      {"1st street", "1st Street"},
      {"a1b", "A1B"},
      {"10am", "10AM"},
      {"meet at 10am sharp", "Meet At 10AM Sharp"},
      {"the 21st and 3rd", "The 21st And 3rd"},
      {"22nd 4th", "22nd 4th"},
      {"unit 12c", "Unit 12C"},
      {"unit 12ab", "Unit 12AB"},
  };
  for (const Row& r : rows) EXPECT_EQ(caps(r.in), r.want) << r.in;
}

TEST_F(Caps, AddressMode) {
  const Row rows[] = {
      {"po box 12", "PO Box 12"},
      {"apt 4b", "APT 4B"},
      {"123 main st ne", "123 Main St NE"},
      {"12 ne main", "12 NE Main"},
      {"12 sw", "12 SW"},
      {"rr 2 box 5", "RR 2 Box 5"},
      {"hc 1", "HC 1"},
      {"box#12", "BOX#12"},
      {"stn a", "STN A"},
      {"apt 3b west", "APT 3B West"},
      {"john smith iii", "John Smith Iii"},
      {"de la cruz", "De La Cruz"},
  };
  for (const Row& r : rows) EXPECT_EQ(caps(r.in, "", true), r.want) << r.in;
}

TEST_F(Caps, CollapseSpaces) {
  EXPECT_EQ(caps("a    b", "", false, true), "A B");
  EXPECT_EQ(caps("a  \t  b", "", false, true), "A \t B");
  EXPECT_EQ(caps("   ", "", false, true), " ");
  EXPECT_EQ(caps("a    b"), "A    B");
}

TEST_F(Caps, ExceptionWords) {
  EXPECT_EQ(caps("the house of the sun", "of;the;"), "The House of the Sun");
  EXPECT_EQ(caps("a of of b", "of;"), "A of of B");  // consecutive words are all found
  EXPECT_EQ(caps("war and peace and", ";;and;"), "War and Peace And");  // none at the end
  EXPECT_EQ(caps("war and peace", "AND;"), "War And Peace");
  EXPECT_EQ(caps("xof the", "of;"), "Xof The");
  EXPECT_EQ(caps("-of x", "of;"), "-of X");  // compared from the second character at the start
}

TEST_F(Caps, ExceptionListWithoutFinalSemicolonIsReportedAndRepaired) {
  std::vector<EXTfldval> p{chr("the house of the sun"), chr("of;the")};
  auto r = call("$caps", p);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -102);
  EXPECT_EQ(r.errors[0].message, "Invalid parameters");
  EXPECT_EQ(r.errors[0].detail,
            "Programmer Error - exception words must be separated by a ';' and end in a ';'");
  EXPECT_EQ(r.errors[0].method, "$caps");
  EXPECT_EQ(r.ret.getLong(), 1);
  EXPECT_EQ(text(p[0]), "The House of The Sun");  // the list was used as "of;th;"
  EXPECT_EQ(text(p[1]), "of;the");
}

TEST_F(Caps, EmailAndWebAddresses) {
  const Row rows[] = {
      {"contact FRED@EXAMPLE.COM now", "Contact fred@example.com Now"},
      {"visit WWW.EXAMPLE.COM", "Visit www.example.com"},
      {"http://FOO.ORG", "http://foo.org"},
      {"mail JO@X.UK", "Mail jo@x.Uk"},  // the last two characters are not examined
      {"a@b", "A@B"},
  };
  for (const Row& r : rows) EXPECT_EQ(caps(r.in), r.want) << r.in;
}

TEST_F(Caps, OptionalParametersAndNumbers) {
  std::vector<EXTfldval> p{chr("po box 1")};
  call("$caps", p);
  EXPECT_EQ(text(p[0]), "Po Box 1");
  p = {number(12), chr(""), integer(1), integer(0)};
  auto r = call("$caps", p);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(p[0].getType(), fftCharacter);
  EXPECT_EQ(text(p[0]), "12");
}

TEST_F(Caps, ParameterErrorsLeaveTheTextAlone) {
  struct ErrRow {
    std::vector<EXTfldval> params;
    const char* detail;
  };
  std::vector<ErrRow> rows;
  rows.push_back({{}, "Parameter count must be at least 1"});
  rows.push_back({{boolean(true)}, "Parameter 1 must be of type character"});
  rows.push_back({{integer(7), boolean(true)}, "Parameter 2 must be of type character"});
  rows.push_back(
      {{chr("ab"), chr(""), integer(2)}, "Parameter 3 must be of kTrue or kFalse or 1 or 0"});
  rows.push_back({{integer(7), chr(""), boolean(true), chr("1")},
                  "Parameter 4 must be of kTrue or kFalse or 1 or 0"});
  for (ErrRow& row : rows) {
    std::vector<EXTfldval> before = row.params;
    auto r = call("$caps", row.params);
    ASSERT_EQ(r.errors.size(), 1u) << row.detail;
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].detail, row.detail);
    EXPECT_EQ(r.ret.getLong(), 0);
    EXPECT_TRUE(r.changed.empty());
    if (!row.params.empty()) {
      EXPECT_EQ(row.params[0].getType(), before[0].getType()) << row.detail;
      EXPECT_EQ(row.params[0].compare(before[0]), 0) << row.detail;
    }
  }
}

}  // namespace

namespace {

// Every rule only changes the case of letters, and reads only characters that exist: short
// texts built from the characters the rules look for, each in a buffer of exactly its size
// (the sanitizer build catches any read past it).
TEST(CapsText, OnlyCaseChangesOnShortTexts) {
  const std::u32string alphabet = U"McaVnDeuNSwrhoPxiv1d'@.:/W #t\u00e9";
  const std::u32string exceptions = U"of;mac;de;";
  uint32_t seed = 12345;
  auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 16; };
  auto folded = [](std::u32string s) {
    for (qchar& c : s) c = lowC(c);
    return s;
  };
  for (int round = 0; round < 20000; ++round) {
    const size_t len = next() % 12;
    std::vector<qchar> buf(len);
    for (qchar& c : buf) c = alphabet[next() % alphabet.size()];
    const std::u32string before(buf.begin(), buf.end());
    qlong n = static_cast<qlong>(len);
    zqtext::CapsOptions options;
    options.address = round % 2 == 1;
    zqtext::capsText(buf.data(), n, exceptions.data(), static_cast<qlong>(exceptions.size()),
                     options);
    ASSERT_EQ(n, static_cast<qlong>(len));
    ASSERT_EQ(folded(std::u32string(buf.begin(), buf.end())), folded(before))
        << hostrt::fromU32(before);
  }
}

}  // namespace
