// Character classes, the token scanner and the fast character scans.
#include "charclass.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "charscan.h"

namespace {

TEST(CharClass, FixedRangesWithoutLocale) {
  struct Row {
    qchar c;
    bool digit, alpha, space, punct, cntrl;
  };
  const Row rows[] = {
      {U'0', true, false, false, false, false},    {U'9', true, false, false, false, false},
      {U'/', false, false, false, true, false},    {U':', false, false, false, true, false},
      {U'@', false, false, false, true, false},    {U'A', false, true, false, false, false},
      {U'Z', false, true, false, false, false},    {U'[', false, false, false, true, false},
      {U'`', false, false, false, true, false},    {U'a', false, true, false, false, false},
      {U'z', false, true, false, false, false},    {U'{', false, false, false, true, false},
      {U'~', false, false, false, true, false},    {U' ', false, false, true, false, false},
      {9, false, false, true, false, true},        {13, false, false, true, false, true},
      {14, false, false, false, false, true},      {8, false, false, false, false, true},
      {0, false, false, false, false, true},       {127, false, false, false, false, true},
      {160, false, false, false, false, true},     {233, false, false, false, false, true},
      {0x0660, false, false, false, false, true},  // Arabic-Indic digit zero
      {0x1F600, false, false, false, false, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(static_cast<uint32_t>(r.c));
    EXPECT_EQ(isDigit(r.c), r.digit);
    EXPECT_EQ(isAlpha(r.c), r.alpha);
    EXPECT_EQ(isSpace(r.c), r.space);
    EXPECT_EQ(isPunct(r.c), r.punct);
    EXPECT_EQ(isCntrl(r.c), r.cntrl);
    EXPECT_EQ(isPrint(r.c), r.c >= 32 && r.c <= 126);
  }
  EXPECT_TRUE(isUpper(U'A') && !isUpper(U'a') && !isUpper(0xC9));
  EXPECT_TRUE(isLower(U'z') && !isLower(U'Z') && !isLower(0xE9));
}

TEST(CharClass, RomanNumeralsAreIVXOnly) {
  for (qchar c : std::u32string(U"iIvVxX")) EXPECT_TRUE(isRomanNumeral(c)) << char(c);
  for (qchar c : std::u32string(U"lLcCdDmMa1 ")) EXPECT_FALSE(isRomanNumeral(c)) << char(c);
  EXPECT_FALSE(isRomanNumeral(0x2160));  // ROMAN NUMERAL ONE is not one of ours
}

struct Token {
  std::u32string text;
  qlong pos;  // cursor after the call
};

std::vector<Token> scan(std::u32string buffer, qchar delimiter, int calls) {
  qHandleInfo h{reinterpret_cast<qbyte*>(&buffer[0]), static_cast<qlong>(buffer.size() * 4),
                static_cast<qlong>(buffer.size() * 4)};
  qHandleCharPtr cursor(buffer.empty() ? nullptr : &h);
  std::vector<Token> out;
  for (int i = 0; i < calls; ++i) {
    qlong len = -1;
    const qchar* start = hpSTRTOK(cursor, delimiter, len);
    out.push_back({std::u32string(start, start + len), cursor.mPos});
  }
  return out;
}

TEST(TokenScanner, SkipsRunsOfDelimitersAndConsumesTheEndingOne) {
  const auto t = scan(U"a;;b;", U';', 3);
  EXPECT_EQ(t[0].text, U"a");
  EXPECT_EQ(t[0].pos, 2);
  EXPECT_EQ(t[1].text, U"b");
  EXPECT_EQ(t[1].pos, 5);
  EXPECT_EQ(t[2].text, U"");
  EXPECT_EQ(t[2].pos, 5);
}

TEST(TokenScanner, LeadingDelimitersLastTokenAndEmptyBuffers) {
  auto t = scan(U";;;", U';', 1);
  EXPECT_EQ(t[0].text, U"");
  EXPECT_EQ(t[0].pos, 3);
  t = scan(U";x;yz", U';', 3);
  EXPECT_EQ(t[0].text, U"x");
  EXPECT_EQ(t[1].text, U"yz");
  EXPECT_EQ(t[1].pos, 5);  // no delimiter after the last token: the cursor stays at the end
  EXPECT_EQ(t[2].text, U"");
  t = scan(U"", U';', 2);
  EXPECT_EQ(t[1].text, U"");
  EXPECT_EQ(t[1].pos, 0);
}

TEST(FindChar, EveryOffsetAndLengthAroundTheVectorWidth) {
  // Hits at every position of buffers up to 70 characters, searched from every start, and
  // misses, so that the block loop, the 4-character loop and the tail are all crossed.
  for (qlong len = 0; len <= 70; ++len) {
    std::u32string buf(static_cast<size_t>(len), U'a');
    for (qlong from = 0; from <= len; ++from) {
      const qchar* b = buf.data();
      EXPECT_EQ(findChar(b + from, b + len, U'x'), b + len);
    }
    for (qlong hit = 0; hit < len; ++hit) {
      buf[hit] = U'x';
      if (hit + 3 < len) buf[hit + 3] = U'x';  // a later hit must not win
      const qchar* b = buf.data();
      for (qlong from = 0; from <= hit; ++from)
        ASSERT_EQ(findChar(b + from, b + len, U'x') - b, hit) << len << " " << from;
      buf.assign(static_cast<size_t>(len), U'a');
    }
  }
}

TEST(FindChar, ComparesAllThirtyTwoBits) {
  const std::u32string buf = {0x1F600 + 1, 0x10041, 0x41 + 0x100, 0x1F600, U'A'};
  EXPECT_EQ(findChar(buf.data(), buf.data() + buf.size(), 0x1F600) - buf.data(), 3);
  EXPECT_EQ(findChar(buf.data(), buf.data() + buf.size(), U'A') - buf.data(), 4);
}

TEST(CharSetTest, MembershipAcrossThePlanes) {
  const std::u32string chars = U"a\u00e9\uffff\U0001F600\U0010FFFF";
  const CharSet set(chars.data(), static_cast<qlong>(chars.size()));
  for (qchar c : chars) EXPECT_TRUE(set.contains(c)) << static_cast<uint32_t>(c);
  for (qchar c :
       {qchar(U'b'), qchar(0), qchar(0xE8), qchar(0x1F601), qchar(0x10000), qchar(0xFFFFFFFF)})
    EXPECT_FALSE(set.contains(c)) << static_cast<uint32_t>(c);
  EXPECT_FALSE(set.empty());
  EXPECT_TRUE(CharSet(nullptr, 0).empty());
}

// A set of low characters answers for characters above its highest too.
TEST(CharSetTest, SmallSetsAnswerForEveryCharacter) {
  const struct {
    std::u32string set, in, out;
  } cases[] = {
      {U" ", U" ", U"!\u00a0\uffff\U0001F600\x3f\x40\x7f"},
      {U"\x3f", U"\x3f", U"\x3e\x40\x7f\x80 "},
      {U"\x40", U"\x40", U"\x3f\x41\x80\xff\U00010040"},
      {U"\U0001F600", U"\U0001F600", U" \uf600\x01"},
      {U"", U"", U" \x01\uffff"},
  };
  for (const auto& c : cases) {
    const CharSet set(c.set.data(), static_cast<qlong>(c.set.size()));
    for (qchar ch : c.in) EXPECT_TRUE(set.contains(ch)) << static_cast<uint32_t>(ch);
    for (qchar ch : c.out) EXPECT_FALSE(set.contains(ch)) << static_cast<uint32_t>(ch);
  }
}

}  // namespace
