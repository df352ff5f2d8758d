// The host's off-screen drawing: rasters, filling, fonts and text placement.
#include <gtest/gtest.h>

#include <string>

#include "hostgdi.h"
#include "hostruntime.h"
#include "jpegcheck.h"

using code39test::rgbAt;

namespace {

struct Context {
  Context() { EXPECT_TRUE(GDIcreateScreenDC(&dc, &state)); }
  ~Context() { GDIdeleteScreenDC(dc, state); }
  HDC dc = nullptr;
  qlong state = 0;
};

HFONT makeFont(const std::u32string& name, qshort size, qbyte style = 0) {
  qfnt fnt;
  GDIsetFontName(&fnt, name.data(), static_cast<qlong>(name.size()));
  fnt.fntSize = size;
  fnt.fntStyle = style;
  return GDIcreateFont(&fnt, 0);
}

TEST(Gdi, FillCoversBothEdgesAndClipsToTheBitmap) {
  Context c;
  HBITMAP bm = GDIcreateBitmap(10, 6, 0, nullptr);
  ASSERT_NE(bm, nullptr);
  HBITMAP own = GDIselectBitmap(c.dc, bm);
  ASSERT_NE(own, nullptr) << "a new context has a bitmap of its own selected";
  GDIsetTextColor(c.dc, GDI_COLOR_WHITE);
  const qrect all{-5, -5, 100, 100};
  GDIfillRect(c.dc, &all, GDIgetStockBrush(0));
  GDIsetTextColor(c.dc, 0x00123456);
  const qrect r{1, 2, 3, 4};
  GDIfillRect(c.dc, &r, GDIgetStockBrush(0));
  EXPECT_EQ(GDIselectBitmap(c.dc, own), bm);
  HPIXMAP pm = GDIbitmapToPIXMAP(bm);
  GDIdeleteBitmap(bm);
  ASSERT_NE(pm, nullptr);
  HPIXMAPinfo info;
  GDIgetHPIXMAPinfo(pm, &info);
  EXPECT_EQ(info.mWidth, 10);
  EXPECT_EQ(info.mHeight, 6);
  EXPECT_EQ(info.mBitsPerPixel, 32);
  for (qlong y = 0; y < 6; ++y)
    for (qlong x = 0; x < 10; ++x) {
      const bool inside = y >= 1 && y <= 3 && x >= 2 && x <= 4;
      EXPECT_EQ(rgbAt(pm, x, y), inside ? 0x123456u : 0xFFFFFFu) << x << "," << y;
    }
  // Memory order x, R, G, B.
  const qbyte* p = GDIlockHPIXMAP(pm) + (1 * 10 + 2) * 4;
  EXPECT_EQ(p[0], 0);
  EXPECT_EQ(p[1], 0x12);
  EXPECT_EQ(p[2], 0x34);
  EXPECT_EQ(p[3], 0x56);
  GDIunlockHPIXMAP(pm);
  GDIdeleteHPIXMAP(pm);
}

// A pixel map made from a bitmap is a copy: drawing on the bitmap afterwards, or writing
// into the map, leaves the other as it was, whichever is deleted first.
TEST(Gdi, PixelMapsOfABitmapAreCopies) {
  Context c;
  HBITMAP bm = GDIcreateBitmap(4, 3, 0, nullptr);
  ASSERT_NE(bm, nullptr);
  HBITMAP own = GDIselectBitmap(c.dc, bm);
  auto fill = [&](qcol colour) {
    GDIsetTextColor(c.dc, colour);
    const qrect all{0, 0, 2, 3};
    GDIfillRect(c.dc, &all, GDIgetStockBrush(0));
  };
  fill(0x00111111);
  HPIXMAP first = GDIbitmapToPIXMAP(bm);
  HPIXMAP second = GDIbitmapToPIXMAP(bm);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  fill(0x00222222);  // the bitmap changes after both maps were made
  qbyte* p = GDIlockHPIXMAP(second);
  ASSERT_NE(p, nullptr);
  p[1] = p[2] = p[3] = 0x33;  // the second map changes its first pixel
  GDIunlockHPIXMAP(second);
  HPIXMAP third = GDIbitmapToPIXMAP(bm);
  EXPECT_EQ(GDIselectBitmap(c.dc, own), bm);
  GDIdeleteBitmap(bm);  // the maps outlive it
  EXPECT_EQ(rgbAt(first, 0, 0), 0x111111u);
  EXPECT_EQ(rgbAt(first, 3, 2), 0x111111u);
  EXPECT_EQ(rgbAt(second, 0, 0), 0x333333u);
  EXPECT_EQ(rgbAt(second, 1, 0), 0x111111u);
  EXPECT_EQ(rgbAt(third, 0, 0), 0x222222u);
  EXPECT_EQ(rgbAt(third, 3, 2), 0x222222u);
  GDIdeleteHPIXMAP(third);
  GDIdeleteHPIXMAP(first);
  qbyte* q = GDIlockHPIXMAP(second);  // the last holder writes in place
  ASSERT_NE(q, nullptr);
  q[5] = 0x44;
  GDIunlockHPIXMAP(second);
  EXPECT_EQ(rgbAt(second, 1, 0), 0x441111u);
  GDIdeleteHPIXMAP(second);
}

TEST(Gdi, RastersRefuseImpossibleSizes) {
  EXPECT_EQ(GDIcreateBitmap(0, 5, 0, nullptr), nullptr);
  EXPECT_EQ(GDIcreateBitmap(5, -1, 0, nullptr), nullptr);
  EXPECT_EQ(GDIcreateBitmap(65536, 32768, 0, nullptr), nullptr);  // 2^33 bytes
  EXPECT_EQ(GDIcreateHPIXMAP(4, 4, 12, 0), nullptr);
  hostrt::setAllocFailure(0, 1000);
  EXPECT_EQ(GDIcreateBitmap(100, 100, 0, nullptr), nullptr);
  hostrt::resetFailures();
  for (qshort bits : {1, 4, 8, 16, 24, 32}) {
    HPIXMAP pm = GDIcreateHPIXMAP(3, 2, bits, 0);
    ASSERT_NE(pm, nullptr) << bits;
    HPIXMAPinfo info;
    GDIgetHPIXMAPinfo(pm, &info);
    EXPECT_EQ(info.mColors, bits <= 8 ? 1 << bits : 0);
    GDIdeleteHPIXMAP(pm);
  }
}

TEST(Gdi, ColourEntriesOutsideTheTableReadAsZero) {
  HPIXMAP pm = GDIcreateHPIXMAP(2, 2, 8, 0);
  qColorEntry set[2] = {{1, 2, 3, 0}, {9, 9, 9, 9}};
  GDIsetColorEntries(pm, 255, 2, set);  // the second is beyond the table
  qColorEntry got[3];
  GDIgetColorEntries(pm, 254, 3, got);
  EXPECT_EQ(got[0].mRed, 254);  // grey ramp
  EXPECT_EQ(got[1].mRed, 3);
  EXPECT_EQ(got[1].mBlue, 1);
  EXPECT_EQ(got[2].mRed, 0);
  EXPECT_EQ(got[2].mUnused, 0);
  GDIdeleteHPIXMAP(pm);
}

// Arial's published metrics (units per em 2048): advances A 1366, i 455, W 1933; ascender
// 1854, descender 434. At 2048 pixels a metric-compatible face gives them exactly.
TEST(Gdi, ArialResolvesToAMetricCompatibleFace) {
  Context c;
  HFONT f = makeFont(U"Arial", 2048);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(GDIselectObject(c.dc, f), nullptr);
  EXPECT_EQ(GDIfontPart(c.dc, 0), 1854);
  EXPECT_EQ(GDIfontPart(c.dc, 1), 434);
  EXPECT_EQ(GDIfontHeight(c.dc, 0), 1854 + 434);
  EXPECT_EQ(GDItextWidth(c.dc, U"AiW", 3), 1366 + 455 + 1933);
  EXPECT_EQ(GDIselectObject(c.dc, nullptr), f);
  GDIdeleteObject(f);
  EXPECT_EQ(GDIfontHeight(c.dc, 0), 0);  // no font selected
}

TEST(Gdi, TextLiesInsideItsLineBox) {
  Context c;
  HFONT f = makeFont(U"Arial", 40);
  ASSERT_NE(f, nullptr);
  GDIselectObject(c.dc, f);
  const qlong height = GDIfontHeight(c.dc, 0), width = GDItextWidth(c.dc, U"Hg", 2);
  HBITMAP bm = GDIcreateBitmap(width + 40, height + 40, 0, nullptr);
  HBITMAP own = GDIselectBitmap(c.dc, bm);
  GDIsetTextColor(c.dc, GDI_COLOR_WHITE);
  const qrect all{0, 0, 1000, 1000};
  GDIfillRect(c.dc, &all, GDIgetStockBrush(0));
  GDIsetTextColor(c.dc, GDI_COLOR_BLACK);
  GDIdrawText(c.dc, 20, 20, U"Hg", 2, 0);
  GDIselectBitmap(c.dc, own);
  GDIselectObject(c.dc, nullptr);
  GDIdeleteObject(f);
  HPIXMAP pm = GDIbitmapToPIXMAP(bm);
  GDIdeleteBitmap(bm);
  qlong top = 1 << 30, bottom = -1, left = 1 << 30, right = -1;
  for (qlong y = 0; y < height + 40; ++y)
    for (qlong x = 0; x < width + 40; ++x)
      if (rgbAt(pm, x, y) != 0xFFFFFFu) {
        top = std::min(top, y), bottom = std::max(bottom, y);
        left = std::min(left, x), right = std::max(right, x);
      }
  GDIdeleteHPIXMAP(pm);
  ASSERT_GE(bottom, 0) << "nothing drawn";
  EXPECT_GE(top, 20);
  EXPECT_LE(bottom, 20 + height - 1);
  EXPECT_GT(bottom, 20 + 30) << "the g descends below the baseline";
  EXPECT_GE(left, 20);
  EXPECT_LE(right, 20 + width - 1);
}

}  // namespace
