// JPEG output of pixel maps into host handles.
#include "jpegout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "hostruntime.h"
#include "jpegcheck.h"

using code39test::decodeJpeg;

namespace {

std::string bytesOf(const qHandleInfo* h) {
  return h ? std::string(reinterpret_cast<const char*>(h->mData), static_cast<size_t>(h->mUsed))
           : std::string();
}

// A map of 16-pixel vertical stripes: even stripes black, odd stripes of colour (r, g, b),
// written in the map's own pixel layout.
HPIXMAP stripes(qshort bits, qbyte r, qbyte g, qbyte b, qlong w = 64, qlong h = 32) {
  HPIXMAP pm = GDIcreateHPIXMAP(w, h, bits, 0);
  if (bits == 8) {
    qColorEntry table[2] = {{0, 0, 0, 0}, {b, g, r, 0}};
    GDIsetColorEntries(pm, 0, 2, table);
  }
  qbyte* p = GDIlockHPIXMAP(pm);
  const size_t px = static_cast<size_t>(bits) / 8;
  for (qlong y = 0; y < h; ++y)
    for (qlong x = 0; x < w; ++x) {
      qbyte* q = p + (static_cast<size_t>(y) * w + x) * px;
      const bool lit = (x / 16) % 2 == 1;
      if (bits == 8) q[0] = lit ? 1 : 0;
      if (bits == 24) q[0] = lit ? r : 0, q[1] = lit ? g : 0, q[2] = lit ? b : 0;
      if (bits == 32) q[0] = 0xAA, q[1] = lit ? r : 0, q[2] = lit ? g : 0, q[3] = lit ? b : 0;
    }
  GDIunlockHPIXMAP(pm);
  return pm;
}

TEST(Jpeg, DecodesToTheMapsSizeDensityAndColours) {
  for (qshort bits : {8, 24, 32}) {
    HPIXMAP pm = stripes(bits, 200, 60, 20);
    qHandleInfo* h = nullptr;
    ASSERT_TRUE(PixmapToJPEG(pm, h, 90, 300)) << bits;
    GDIdeleteHPIXMAP(pm);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->mAllocated, h->mUsed);
    const std::string jpeg = bytesOf(h);
    HANglobalFree(h);
    EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(jpeg.substr(jpeg.size() - 2), "\xFF\xD9");
    const auto d = decodeJpeg(jpeg);
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.width, 64u);
    EXPECT_EQ(d.height, 32u);
    EXPECT_EQ(d.densityUnit, 1);
    EXPECT_EQ(d.xDensity, 300u);
    EXPECT_EQ(d.yDensity, 300u);
    // Middle of a black stripe and of a coloured one.
    EXPECT_LT(d.grey(8, 16), 20) << bits;
    const unsigned char* c = &d.rgb[(16 * 64 + 24) * 3];
    EXPECT_NEAR(c[0], 200, 12) << bits;
    EXPECT_NEAR(c[1], 60, 12) << bits;
    EXPECT_NEAR(c[2], 20, 12) << bits;
  }
}

TEST(Jpeg, DpiZeroKeepsTheLibraryDensityAndOutputIsRepeatable) {
  HPIXMAP pm = stripes(32, 255, 255, 255);
  qHandleInfo *a = nullptr, *b = nullptr;
  ASSERT_TRUE(PixmapToJPEG(pm, a, 75, 0));
  ASSERT_TRUE(PixmapToJPEG(pm, b, 75, 0));
  GDIdeleteHPIXMAP(pm);
  EXPECT_EQ(bytesOf(a), bytesOf(b));
  const auto d = decodeJpeg(bytesOf(a));
  EXPECT_EQ(d.densityUnit, 0);
  EXPECT_EQ(d.xDensity, 1u);
  HANglobalFree(a);
  HANglobalFree(b);
}

TEST(Jpeg, DestinationWritesWholePortionsAndAShortLastOne) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  qHandleInfo* h = nullptr;
  jpeg_stdio_dest(&cinfo, &h);
  jpeg_destination_mgr* dest = cinfo.dest;
  dest->init_destination(&cinfo);
  EXPECT_EQ(dest->free_in_buffer, 4096u);
  std::vector<qlong> sizes;
  for (int i = 0; i < 10000; ++i) {
    if (dest->free_in_buffer == 0) {
      ASSERT_TRUE(dest->empty_output_buffer(&cinfo));
      sizes.push_back(h->mAllocated);
    }
    *dest->next_output_byte++ = static_cast<JOCTET>(i % 251);
    --dest->free_in_buffer;
  }
  dest->term_destination(&cinfo);
  sizes.push_back(h->mAllocated);
  EXPECT_EQ(sizes, (std::vector<qlong>{4096, 8192, 10000}));
  EXPECT_EQ(h->mUsed, 10000);
  bool same = true;
  for (int i = 0; i < 10000; ++i) same = same && h->mData[i] == i % 251;
  EXPECT_TRUE(same);
  jpeg_destroy_compress(&cinfo);
  HANglobalFree(h);
}

TEST(Jpeg, JhwriteGrowsExactlyAndKeepsTheHandleOnFailure) {
  qHandleInfo* h = nullptr;
  EXPECT_EQ(JHWRITE(h, reinterpret_cast<const qbyte*>("abc"), 3), 3);
  EXPECT_EQ(JHWRITE(h, reinterpret_cast<const qbyte*>("de"), 2), 2);
  EXPECT_EQ(bytesOf(h), "abcde");
  EXPECT_EQ(h->mAllocated, 5);
  hostrt::setAllocFailure(1, 0);
  EXPECT_EQ(JHWRITE(h, reinterpret_cast<const qbyte*>("f"), 1), 0);
  hostrt::resetFailures();
  EXPECT_EQ(bytesOf(h), "abcde");
  HANglobalFree(h);
  h = HANglobalAlloc(0, qfalse);  // a handle without room is replaced
  EXPECT_EQ(JHWRITE(h, reinterpret_cast<const qbyte*>("xy"), 2), 2);
  EXPECT_EQ(bytesOf(h), "xy");
  HANglobalFree(h);
}

TEST(Jpeg, AWriteFailureOnTheSecondPortionReturnsFalse) {
  // Noise compresses badly, so the stream needs more than two portions.
  HPIXMAP pm = GDIcreateHPIXMAP(200, 200, 24, 0);
  qbyte* p = GDIlockHPIXMAP(pm);
  uint32_t x = 12345;
  for (int i = 0; i < 200 * 200 * 3; ++i)
    p[i] = static_cast<qbyte>((x = x * 1103515245 + 12345) >> 24);
  GDIunlockHPIXMAP(pm);
  qHandleInfo* h = nullptr;
  hostrt::setAllocFailure(2, 0);  // the first portion is allocated, the second refused
  EXPECT_FALSE(PixmapToJPEG(pm, h, 95, 72));
  hostrt::resetFailures();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->mUsed, 4096) << "the first portion stays in the handle";
  HANglobalFree(h);
  h = nullptr;
  EXPECT_TRUE(PixmapToJPEG(pm, h, 95, 72)) << "the process and the library go on working";
  EXPECT_GT(h->mUsed, 8192);
  HANglobalFree(h);
  GDIdeleteHPIXMAP(pm);
}

TEST(Jpeg, MapsTheLibraryCannotTakeFailWithoutEndingTheProcess) {
  const struct {
    qlong w, h;
    qshort bits;
  } cases[] = {{0, 0, 32}, {8, 0, 24}, {70000, 1, 24}, {8, 8, 1}, {8, 8, 4}, {8, 8, 16}};
  for (const auto& c : cases) {
    HPIXMAP pm = GDIcreateHPIXMAP(c.w, c.h, c.bits, 0);
    ASSERT_NE(pm, nullptr);
    qHandleInfo* h = nullptr;
    EXPECT_FALSE(PixmapToJPEG(pm, h, 75, 72)) << c.w << "x" << c.h << "x" << c.bits;
    HANglobalFree(h);
    GDIdeleteHPIXMAP(pm);
  }
  qHandleInfo* h = nullptr;
  EXPECT_FALSE(PixmapToJPEG(nullptr, h, 75, 72));
}

}  // namespace
