// Code 39 bar drawing and pixel-map rotation, on raw pixel maps.
#include "bcdraw.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "jpegcheck.h"
#include "jpegout.h"

using code39test::rgbAt;

namespace {

str255 host(const std::u32string& s) {
  str255 out;
  out.set(s.data(), static_cast<qlong>(s.size()));
  return out;
}

// Draws text's bars on a white width x 20 bitmap and returns the bitmap's row 10 as a string of
// '#' (black) and '.' (white); result receives BCpaintBarAll's answer.
std::string drawRow(const std::u32string& text, qlong width, qlong x, qlong quiet, qlong narrow,
                    qlong wide, qlong gap, qbool* result = nullptr) {
  HDC dc;
  qlong state;
  EXPECT_TRUE(GDIcreateScreenDC(&dc, &state));
  HBITMAP bm = nullptr;
  EXPECT_EQ(BCstartPaint(dc, bm, width, 20), 0);
  const qbool ok = BCpaintBarAll(dc, x, 2, host(text), quiet, narrow, wide, gap, 15);
  if (result) *result = ok;
  EXPECT_EQ(BCendPaint(dc, bm), 0);
  GDIdeleteScreenDC(dc, state);
  HPIXMAP pm = GDIbitmapToPIXMAP(bm);
  GDIdeleteBitmap(bm);
  std::string row;
  for (qlong c = 0; c < width; ++c) row += rgbAt(pm, c, 10) == 0 ? '#' : '.';
  // Rows 0-1 and 17-19 stay white: the bars span rows 2 to 16.
  for (qlong c = 0; c < width; ++c) {
    EXPECT_EQ(rgbAt(pm, c, 1), 0xFFFFFFu);
    EXPECT_EQ(rgbAt(pm, c, 17), 0xFFFFFFu);
    EXPECT_EQ(rgbAt(pm, c, 16), rgbAt(pm, c, 2));
  }
  GDIdeleteHPIXMAP(pm);
  return row;
}

TEST(Code39Table, HoldsTheStandardSetWithThreeWideElements) {
  std::set<qchar> seen;
  for (const code39_char& row : code39_char_info) {
    seen.insert(row.mChar);
    ASSERT_EQ(std::strlen(row.mPattern), 9u);
    int wides = 0;
    for (int i = 0; i < 9; ++i) wides += row.mPattern[i] == 'w';
    EXPECT_EQ(wides, 3) << char(row.mChar);
  }
  EXPECT_EQ(seen, (std::set<qchar>(std::begin(U"*0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%"),
                                   std::end(U"*0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%") - 1)));
  EXPECT_EQ(code39Find(U'a'), code39Find(U'A'));
  EXPECT_EQ(code39Find(U'#'), nullptr);
  EXPECT_EQ(code39Find(U'\u00e9'), nullptr);
}

TEST(Code39Draw, ExactColumnsOfAKnownCharacter) {
  // '*' is n w n n w n w n n: with narrow 2 and wide 5 it takes 27 columns from x 3 + quiet
  // zone 4, bars at 0-1, 7-8, 11-15, 18-22 and 25-26 of them.
  const std::string row = drawRow(U"*", 50, 3, 4, 2, 5, 1);
  EXPECT_EQ(row, std::string(7, '.') + "##" + "....." + "##" + ".." + "#####" + ".." + "#####" +
                     ".." + "##" + std::string(50 - 7 - 27, '.'));
}

TEST(Code39Draw, CharactersAreGapApartAndLowerCaseDrawsUpperCase) {
  const std::string upper = drawRow(U"*A1*", 160, 0, 3, 1, 3, 2);
  EXPECT_EQ(drawRow(U"*a1*", 160, 0, 3, 1, 3, 2), upper);
  // 4 characters of 3 x 3 + 6 x 1 = 15 columns with 3 gaps of 2: 66 columns after the zone.
  EXPECT_EQ(upper.find('#'), 3u);
  EXPECT_EQ(upper.rfind('#'), 3u + 66 - 1);
  // The gap after the first character's last bar (column 3 + 14) is white.
  EXPECT_EQ(upper.substr(3 + 14, 4), "#..#");
}

TEST(Code39Draw, DefaultElementsCoverNTimes99PlusGaps) {
  for (size_t n : {1u, 2u, 5u}) {
    const std::u32string text(n, U'*');
    const std::string row = drawRow(text, 700, 0, 10, 8, 17, 4);
    EXPECT_EQ(row.find('#'), 10u);
    EXPECT_EQ(row.rfind('#') + 1 - 10, n * 99 + (n - 1) * 4) << n;
  }
}

TEST(Code39Draw, StopsAtACharacterOutsideTheTable) {
  qbool ok = qtrue;
  const std::string row = drawRow(U"**#*", 400, 0, 0, 2, 5, 1, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(row.rfind('#') + 1, 2u * 27 + 1) << "the two characters before '#' stay drawn";
  EXPECT_TRUE(BCpaintBarAll(nullptr, 0, 0, host(U""), 0, 1, 2, 1, 1));
}

// A pixel map of the given depth with distinct bytes in every pixel.
HPIXMAP patterned(qlong w, qlong h, qshort bits) {
  HPIXMAP pm = GDIcreateHPIXMAP(w, h, bits, 0);
  qbyte* p = GDIlockHPIXMAP(pm);
  const size_t bytes = (static_cast<size_t>(w) * bits + 7) / 8 * h;
  for (size_t i = 0; i < bytes; ++i) p[i] = static_cast<qbyte>(i * 7 + 3);
  GDIunlockHPIXMAP(pm);
  return pm;
}

std::vector<qbyte> pixels(HPIXMAP pm) {
  HPIXMAPinfo info;
  GDIgetHPIXMAPinfo(pm, &info);
  const size_t bytes =
      (static_cast<size_t>(info.mWidth) * info.mBitsPerPixel + 7) / 8 * info.mHeight;
  const qbyte* p = GDIlockHPIXMAP(pm);
  std::vector<qbyte> out(p, p + bytes);
  GDIunlockHPIXMAP(pm);
  return out;
}

TEST(Rotation, QuarterTurnsComeBackToTheSamePixels) {
  const struct { qshort first, second; } pairs[] = {{90, 270}, {270, 90}, {180, 180}};
  for (qshort bits : {8, 16, 24, 32})
    for (const auto& pair : pairs) {
      HPIXMAP pm = patterned(5, 3, bits);
      const std::vector<qbyte> before = pixels(pm);
      HPIXMAP once = BCrotatePixmap(pm, 0, 0, pair.first);
      ASSERT_NE(once, pm);
      HPIXMAPinfo info;
      GDIgetHPIXMAPinfo(once, &info);
      EXPECT_EQ(info.mWidth, pair.first == 180 ? 5 : 3);
      EXPECT_EQ(info.mHeight, pair.first == 180 ? 3 : 5);
      EXPECT_EQ(info.mBitsPerPixel, bits);
      EXPECT_NE(pixels(once), before);
      HPIXMAP twice = BCrotatePixmap(once, 0, 0, pair.second);
      EXPECT_EQ(pixels(twice), before) << bits << " bits, " << pair.first << "+" << pair.second;
      GDIdeleteHPIXMAP(twice);
    }
}

TEST(Rotation, NinetyDegreesTurnsClockwise) {
  // 32-bit 3 x 2 map: pixel value = 10 * row + column in the blue byte.
  HPIXMAP pm = GDIcreateHPIXMAP(3, 2, 32, 0);
  qbyte* p = GDIlockHPIXMAP(pm);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) p[(y * 3 + x) * 4 + 3] = static_cast<qbyte>(10 * y + x);
  GDIunlockHPIXMAP(pm);
  const struct {
    qshort angle;
    std::vector<int> expected;  // rows of the turned map
  } cases[] = {
      {90, {10, 0, 11, 1, 12, 2}}, {180, {12, 11, 10, 2, 1, 0}}, {270, {2, 12, 1, 11, 0, 10}}};
  for (const auto& c : cases) {
    HPIXMAP copy = GDIcreateHPIXMAP(3, 2, 32, 0);
    std::memcpy(GDIlockHPIXMAP(copy), GDIlockHPIXMAP(pm), 24);
    GDIunlockHPIXMAP(copy);
    GDIunlockHPIXMAP(pm);
    HPIXMAP turned = BCrotatePixmap(copy, 3, 2, c.angle);
    const std::vector<qbyte> px = pixels(turned);
    std::vector<int> blue;
    for (size_t i = 3; i < px.size(); i += 4) blue.push_back(px[i]);
    EXPECT_EQ(blue, c.expected) << c.angle;
    GDIdeleteHPIXMAP(turned);
  }
  GDIdeleteHPIXMAP(pm);
}

TEST(Rotation, EightBitMapsKeepTheirColourTable) {
  HPIXMAP pm = patterned(4, 2, 8);
  std::vector<qColorEntry> table(256);
  for (int i = 0; i < 256; ++i) table[i] = qColorEntry{qbyte(i), qbyte(255 - i), qbyte(i / 2), 0};
  GDIsetColorEntries(pm, 0, 256, table.data());
  HPIXMAP turned = BCrotatePixmap(pm, 4, 2, 90);
  std::vector<qColorEntry> got(256);
  GDIgetColorEntries(turned, 0, 256, got.data());
  EXPECT_EQ(std::memcmp(got.data(), table.data(), 256 * sizeof(qColorEntry)), 0);
  GDIdeleteHPIXMAP(turned);
}

TEST(Rotation, WhatCannotBeTurnedComesBackUnturned) {
  for (qshort bits : {1, 4}) {
    HPIXMAP pm = patterned(9, 3, bits);
    const std::vector<qbyte> before = pixels(pm);
    EXPECT_EQ(BCrotatePixmap(pm, 9, 3, 90), pm) << bits;
    EXPECT_EQ(pixels(pm), before);
    GDIdeleteHPIXMAP(pm);
  }
  HPIXMAP pm = patterned(4, 4, 32);
  EXPECT_EQ(BCrotatePixmap(pm, 4, 4, 45), pm);
  hostrt::setAllocFailure(1, 0);  // the destination cannot be made
  EXPECT_EQ(BCrotatePixmap(pm, 4, 4, 90), pm);
  hostrt::resetFailures();
  GDIdeleteHPIXMAP(pm);
  HPIXMAP empty = GDIcreateHPIXMAP(4, 0, 32, 0);
  HPIXMAP turned = BCrotatePixmap(empty, 4, 0, 90);
  HPIXMAPinfo info;
  GDIgetHPIXMAPinfo(turned, &info);
  EXPECT_EQ(info.mWidth, 0);
  EXPECT_EQ(info.mHeight, 4);
  GDIdeleteHPIXMAP(turned);
}

}  // namespace

namespace {

// The size checks that $barcode39 makes before painting, at each limit and one past it.
TEST(Code39Sizes, BitmapAndJpegLimits) {
  const struct {
    qint64 width, height;
    bool paint, jpeg;
  } cases[] = {
      {1, 1, true, true},
      {0, 1, false, false},
      {1, 0, false, false},
      {-5, -5, false, false},
      {65500, 65500, false, true},  // 17 GB of bitmap
      {65501, 1, true, false},
      {1, 65501, true, false},
      {536870911, 1, true, false},  // 2^31 - 4 bytes
      {536870912, 1, false, false},
      {23170, 23170, true, true},  // 2147395600 bytes
      {23171, 23171, false, true},
      {qint64(1) << 40, qint64(1) << 40, false, false},  // no overflow in the product
  };
  for (const auto& c : cases) {
    EXPECT_EQ(BCcanPaint(c.width, c.height), c.paint) << c.width << " x " << c.height;
    EXPECT_EQ(JPEGcanHold(c.width, c.height), c.jpeg) << c.width << " x " << c.height;
  }
}

}  // namespace
