// $barcode39 with its defaults for a 12-character string, and the parts of its work: drawing
// the bars (bitmap included), the text line (font included), the pixel-map copy and the JPEG
// compression.
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>

#include "bcdraw.h"
#include "benchhost.h"
#include "jpegout.h"

namespace {

const char32_t kText[] = U"*CODE39-TEST";  // 12 characters
const qlong kCount = 12;
const qlong kBars = kCount * 99 + 2 * 100 + (kCount - 1) * 4;

str255 text() {
  str255 s;
  s.set(kText, kCount);
  return s;
}

HFONT arial(qshort pixels) {
  qfnt fnt;
  GDIsetFontName(&fnt, U"Arial", 5);
  fnt.fntSize = pixels;
  return GDIcreateFont(&fnt, 0);
}

struct Layout {
  qlong width, height, textWidth, descent;
};

Layout layout() {
  HDC dc;
  qlong state;
  GDIcreateScreenDC(&dc, &state);
  HFONT font = arial(138);
  GDIselectObject(dc, font);
  const str255 s = text();
  Layout l;
  l.textWidth = GDItextWidth(dc, s.cString(), s.length());
  l.descent = GDIfontPart(dc, 1);
  l.width = std::max(kBars, l.textWidth);
  l.height = GDIfontHeight(dc, 0) + 375 + l.descent;
  GDIselectObject(dc, nullptr);
  GDIdeleteObject(font);
  GDIdeleteScreenDC(dc, state);
  return l;
}

// A drawn image as the method makes it, as a 32-bit pixel map.
HPIXMAP drawnImage(const Layout& l) {
  HDC dc;
  qlong state;
  GDIcreateScreenDC(&dc, &state);
  HBITMAP bm = nullptr;
  BCstartPaint(dc, bm, l.width, l.height);
  BCpaintBarAll(dc, (l.width - kBars) / 2, 0, text(), 100, 8, 17, 4, 375);
  HFONT font = arial(138);
  BCpaintText(dc, (l.width - l.textWidth) / 2, 375 + l.descent, text(), font);
  BCendPaint(dc, bm);
  GDIdeleteObject(font);
  GDIdeleteScreenDC(dc, state);
  HPIXMAP pm = GDIbitmapToPIXMAP(bm);
  GDIdeleteBitmap(bm);
  return pm;
}

void BM_Barcode39Defaults(benchmark::State& state) {
  zqbench::BenchHost host;
  const Layout l = layout();
  for (auto _ : state) {
    std::vector<EXTfldval> params(2);
    params[0].setBinary(fftBinary, nullptr, 0);
    params[1].setChar(kText, kCount);
    auto r = host.call(2122, params);
    if (r.ret.getLong() != 1) state.SkipWithError("$barcode39 failed");
    benchmark::DoNotOptimize(params[0].getBinLen());
  }
  state.counters["width"] = l.width;
  state.counters["height"] = l.height;
}
BENCHMARK(BM_Barcode39Defaults)->Unit(benchmark::kMillisecond);

void BM_DrawBars(benchmark::State& state) {
  const Layout l = layout();
  for (auto _ : state) {
    HDC dc;
    qlong st;
    GDIcreateScreenDC(&dc, &st);
    HBITMAP bm = nullptr;
    BCstartPaint(dc, bm, l.width, l.height);
    BCpaintBarAll(dc, (l.width - kBars) / 2, 0, text(), 100, 8, 17, 4, 375);
    BCendPaint(dc, bm);
    GDIdeleteScreenDC(dc, st);
    GDIdeleteBitmap(bm);
  }
}
BENCHMARK(BM_DrawBars)->Unit(benchmark::kMillisecond);

void BM_DrawText(benchmark::State& state) {
  const Layout l = layout();
  HDC dc;
  qlong st;
  GDIcreateScreenDC(&dc, &st);
  HBITMAP bm = nullptr;
  BCstartPaint(dc, bm, l.width, l.height);
  for (auto _ : state) {
    HFONT font = arial(138);
    HFONT previous = GDIselectObject(dc, font);
    benchmark::DoNotOptimize(GDIfontHeight(dc, 0) + GDIfontPart(dc, 1));
    benchmark::DoNotOptimize(GDItextWidth(dc, kText, kCount));
    GDIselectObject(dc, previous);
    BCpaintText(dc, (l.width - l.textWidth) / 2, 375 + l.descent, text(), font);
    GDIdeleteObject(font);
  }
  BCendPaint(dc, bm);
  GDIdeleteScreenDC(dc, st);
  GDIdeleteBitmap(bm);
}
BENCHMARK(BM_DrawText)->Unit(benchmark::kMillisecond);

void BM_BitmapToPixmap(benchmark::State& state) {
  const Layout l = layout();
  HBITMAP bm = GDIcreateBitmap(l.width, l.height, 0, nullptr);
  for (auto _ : state) GDIdeleteHPIXMAP(GDIbitmapToPIXMAP(bm));
  GDIdeleteBitmap(bm);
}
BENCHMARK(BM_BitmapToPixmap)->Unit(benchmark::kMillisecond);

void BM_Jpeg(benchmark::State& state) {
  HPIXMAP pm = drawnImage(layout());
  qlong bytes = 0;
  for (auto _ : state) {
    qHandleInfo* h = nullptr;
    if (!PixmapToJPEG(pm, h, 75, 1000)) state.SkipWithError("JPEG failed");
    bytes = HANgetUsed(h);
    HANglobalFree(h);
  }
  state.counters["jpeg_bytes"] = bytes;
  GDIdeleteHPIXMAP(pm);
}
BENCHMARK(BM_Jpeg)->Unit(benchmark::kMillisecond);

void BM_Rotate90(benchmark::State& state) {
  HPIXMAP pm = drawnImage(layout());
  for (auto _ : state) pm = BCrotatePixmap(pm, 0, 0, 90);
  GDIdeleteHPIXMAP(pm);
}
BENCHMARK(BM_Rotate90)->Unit(benchmark::kMillisecond);

// The method's work stage by stage, in its order and with its memory pattern, timing each
// stage in thread CPU time. Counters: the share of each stage in percent.
double cpuNow() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

void BM_Barcode39Stages(benchmark::State& state) {
  const Layout l = layout();
  double bars = 0, text = 0, copy = 0, jpeg = 0, release = 0;
  const str255 s = ::text();
  for (auto _ : state) {
    double t0 = cpuNow();
    HDC dc;
    qlong st;
    GDIcreateScreenDC(&dc, &st);
    HBITMAP bm = nullptr;
    BCstartPaint(dc, bm, l.width, l.height);
    BCpaintBarAll(dc, (l.width - kBars) / 2, 0, s, 100, 8, 17, 4, 375);
    double t1 = cpuNow();
    bars += t1 - t0;
    HFONT font = arial(138);
    HFONT previous = GDIselectObject(dc, font);
    benchmark::DoNotOptimize(GDIfontHeight(dc, 0) + GDIfontPart(dc, 1));
    benchmark::DoNotOptimize(GDItextWidth(dc, s.cString(), s.length()));
    GDIselectObject(dc, previous);
    BCpaintText(dc, (l.width - l.textWidth) / 2, 375 + l.descent, s, font);
    BCendPaint(dc, bm);
    GDIdeleteObject(font);
    GDIdeleteScreenDC(dc, st);
    double t2 = cpuNow();
    text += t2 - t1;
    HPIXMAP pm = GDIbitmapToPIXMAP(bm);
    GDIdeleteBitmap(bm);
    double t3 = cpuNow();
    copy += t3 - t2;
    qHandleInfo* h = nullptr;
    PixmapToJPEG(pm, h, 75, 1000);
    double t4 = cpuNow();
    jpeg += t4 - t3;
    GDIdeleteHPIXMAP(pm);
    HANglobalFree(h);
    release += cpuNow() - t4;
  }
  const double all = bars + text + copy + jpeg + release;
  state.counters["bars%"] = 100 * bars / all;
  state.counters["text%"] = 100 * text / all;
  state.counters["copy%"] = 100 * copy / all;
  state.counters["jpeg%"] = 100 * jpeg / all;
  state.counters["free%"] = 100 * release / all;
}
BENCHMARK(BM_Barcode39Stages)->Unit(benchmark::kMillisecond);

}  // namespace
