// $getsignature and $setsecurity driven through the entry procedure.
#include <string>
#include <vector>

#include "ciphers.h"
#include "testhost.h"

using namespace zqtest;

namespace {

const qlong kGetSignature = 2115;
const qlong kSetSecurity = 2108;

class Signature : public ComponentTest {
 protected:
  std::string digest(qlong code, const EXTfldval& source, EXTfldval result) {
    std::vector<EXTfldval> p{integer(code), source, result};
    auto r = call(kGetSignature, p);
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(r.changed, std::vector<qlong>{3});
    EXPECT_TRUE(r.errors.empty());
    return p[2].getType() == fftBinary ? bytes(p[2]) : text(p[2]);
  }
};

TEST_F(Signature, PublishedDigestsAsHexOrBytes) {
  const struct {
    qlong code;
    std::string in;
    const char* hex;
  } cases[] = {
      {0, "abc", "900150983cd24fb0d6963f7d28e17f72"},  // RFC 1321
      {0, "", "d41d8cd98f00b204e9800998ecf8427e"},
      {0, "é", "66ddcd97cfdeabb2f6fb8a999b4bc76f"},            // the bytes C3 A9
      {1, "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},  // FIPS 180
      {1, "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
      {1, "é", "bf15be717ac1b080b4f1c456692825891ff5073d"},
      {2, "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {2, "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {2, "é", "4a99557e4033c3539de2eb65472017cad5f9557f7a0625a09f1c3f6e2ba69c4c"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(digest(c.code, chr(c.in), chr("old")), c.hex) << c.code << " " << c.in;
    // The same digest as bytes, and from a binary source holding the UTF-8 bytes.
    const std::string raw = digest(c.code, binary(c.in), binary("old"));
    EXPECT_EQ(raw.size(), std::string(c.hex).size() / 2);
    std::string hex(raw.size() * 2, '?');
    convToHex(reinterpret_cast<const qbyte*>(raw.data()), raw.size(), &hex[0]);
    EXPECT_EQ(hex, c.hex);
  }
}

TEST_F(Signature, LongTextIsDigestedInItsUtf8Form) {
  std::string utf8;
  for (int i = 0; i < 3000; ++i) utf8 += i % 3 ? "a€" : "é𝄞";  // crosses conversion pieces
  qbyte expected[32];
  ASSERT_TRUE(signatureSHA256(reinterpret_cast<const qbyte*>(utf8.data()), utf8.size(), expected));
  const std::string raw = digest(2, chr(utf8), binary(""));
  EXPECT_EQ(raw, std::string(reinterpret_cast<char*>(expected), 32));
}

TEST_F(Signature, FailuresReportCodeAndDetail) {
  const struct {
    const char* name;
    std::vector<EXTfldval> params;
    qlong code;
    const char* detail;
  } cases[] = {
      {"two parameters", {integer(0), chr("x")}, -102, "Parameter count must be at least 3"},
      {"source list",
       {integer(0), list({{"c"}}, {}), chr("unchanged")},
       -102,
       "The source parameter must be of type character"},
      {"code text",
       {chr("md5"), chr("x"), chr("unchanged")},
       -102,
       "The signature algorythm must be of type integer"},
      {"code 3", {integer(3), chr("x"), chr("unchanged")}, -102, "Parameter 1 is out of range"},
      {"code -1", {integer(-1), chr("x"), chr("unchanged")}, -102, "Parameter 1 is out of range"},
      {"result list",
       {integer(0), chr("x"), list({{"c"}}, {})},
       -102,
       "The result parameter must be of type character or binary"},
  };
  for (auto c : cases) {
    auto r = call(kGetSignature, c.params);
    EXPECT_EQ(r.ret.getLong(), 0) << c.name;
    EXPECT_TRUE(r.changed.empty()) << c.name;
    ASSERT_EQ(r.errors.size(), 1u) << c.name;
    EXPECT_EQ(r.errors[0].code, c.code) << c.name;
    EXPECT_EQ(r.errors[0].detail, c.detail) << c.name;
    EXPECT_EQ(r.errors[0].method, "$getsignature");
    if (c.params.size() == 3 && c.params[2].getType() == fftCharacter) {
      EXPECT_EQ(text(c.params[2]), "unchanged") << c.name;
    }
  }
  // The digest's buffer cannot be had.
  for (qlong above : {15, 100}) {
    hostrt::setAllocFailure(0, above);
    std::vector<EXTfldval> p{integer(0), chr("abc"), chr("unchanged")};
    auto r = call(kGetSignature, p);
    hostrt::resetFailures();
    ASSERT_EQ(r.errors.size(), 1u);  // 16 bytes of digest, then 128 bytes of hex text
    EXPECT_EQ(r.errors[0].code, -103);
    EXPECT_EQ(text(p[2]), "unchanged");
  }
}

// ---------------------------------------------------------------------------------------------

class Security : public ComponentTest {};

TEST_F(Security, FlagsAreGrantedWhereBothStringsHoldTheSameY) {
  const std::string y255(255, 'Y'), y300(300, 'Y');
  const struct {
    std::string a, b, head;  // the result: head, then N up to 255 characters
  } cases[] = {
      {"YNY", "YYN", "YNN"}, {"yy", "YY", "NN"},     {"", "", ""},
      {"yY", "yY", "YY"},    {"YYYY", "YY", "YYNN"}, {"YY", "YYYY", "YYNN"},
      {y255, y255, y255},    {y300, y300, y255},     {"xYx", "xYx", "NYN"},
  };
  for (const auto& c : cases) {
    std::vector<EXTfldval> p{chr(c.a), chr(c.b), chr("old")};
    auto r = call(kSetSecurity, p);
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(r.changed, std::vector<qlong>{3});
    const std::string expected = c.head + std::string(255 - c.head.size(), 'N');
    EXPECT_EQ(text(p[2]), expected) << c.a << " / " << c.b;
  }
}

TEST_F(Security, FailuresReportCodeAndDetail) {
  const struct {
    std::vector<EXTfldval> params;
    const char* detail;
  } cases[] = {
      {{chr("Y"), chr("Y")}, "Parameter count must be 3"},
      {{chr("Y"), chr("Y"), chr("old"), chr("x")}, "Parameter count must be 3"},
      {{integer(1), chr("Y"), chr("old")}, "Parameter 1 must be of type character"},
      {{chr("Y"), binary("Y"), chr("old")}, "Parameter 2 must be of type character"},
      {{chr("Y"), chr("Y"), binary("old")}, "Parameter 3 must be of type character"},
  };
  for (auto c : cases) {
    auto r = call(kSetSecurity, c.params);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].detail, c.detail);
    EXPECT_EQ(r.errors[0].method, "$setsecurity");
    EXPECT_TRUE(r.changed.empty());
  }
}

}  // namespace
