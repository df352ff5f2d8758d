// Code 39 bars, the text line and quarter-turn rotation of pixel maps.
#include "bcdraw.h"

#include <cstdint>
#include <cstring>
#include <vector>

// Code 39 patterns (ISO/IEC 16388), in the order they are searched; '*' is the start and stop
// character.
const code39_char code39_char_info[kCode39Chars] = {
    {U'*', "nwnnwnwnn"}, {U'0', "nnnwwnwnn"}, {U'1', "wnnwnnnnw"}, {U'2', "nnwwnnnnw"},
    {U'3', "wnwwnnnnn"}, {U'4', "nnnwwnnnw"}, {U'5', "wnnwwnnnn"}, {U'6', "nnwwwnnnn"},
    {U'7', "nnnwnnwnw"}, {U'8', "wnnwnnwnn"}, {U'9', "nnwwnnwnn"}, {U'A', "wnnnnwnnw"},
    {U'B', "nnwnnwnnw"}, {U'C', "wnwnnwnnn"}, {U'D', "nnnnwwnnw"}, {U'E', "wnnnwwnnn"},
    {U'F', "nnwnwwnnn"}, {U'G', "nnnnnwwnw"}, {U'H', "wnnnnwwnn"}, {U'I', "nnwnnwwnn"},
    {U'J', "nnnnwwwnn"}, {U'K', "wnnnnnnww"}, {U'L', "nnwnnnnww"}, {U'M', "wnwnnnnwn"},
    {U'N', "nnnnwnnww"}, {U'O', "wnnnwnnwn"}, {U'P', "nnwnwnnwn"}, {U'Q', "nnnnnnwww"},
    {U'R', "wnnnnnwwn"}, {U'S', "nnwnnnwwn"}, {U'T', "nnnnwnwwn"}, {U'U', "wwnnnnnnw"},
    {U'V', "nwwnnnnnw"}, {U'W', "wwwnnnnnn"}, {U'X', "nwnnwnnnw"}, {U'Y', "wwnnwnnnn"},
    {U'Z', "nwwnwnnnn"}, {U'-', "nwnnnnwnw"}, {U'.', "wwnnnnwnn"}, {U' ', "nwwnnnwnn"},
    {U'$', "nwnwnwnnn"}, {U'/', "nwnwnnnwn"}, {U'+', "nwnnnwnwn"}, {U'%', "nnnwnwnwn"},
};

namespace {

// Coordinates are summed in 64 bits and kept within the 32-bit range of a qrect, so that
// element sizes of any value never overflow (what lies outside the bitmap is clipped).
qlong clampCoord(qint64 v) {
  return static_cast<qlong>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

}  // namespace

const code39_char* code39Find(qchar c) {
  const qchar upper = uppC(c);
  for (const code39_char& row : code39_char_info)
    if (row.mChar == upper) return &row;
  return nullptr;
}

bool BCcanPaint(qint64 width, qint64 height) {
  const qint64 kMaxBytes = 0x7FFFFFFF;
  return width >= 1 && height >= 1 && width <= kMaxBytes / 4 / height;
}

qlong BCstartPaint(HDC hdc, HBITMAP& bitmap, qlong width, qlong height) {
  HBITMAP drawn = GDIcreateBitmap(width, height, 0, nullptr);
  bitmap = drawn;
  if (!drawn) return -103;
  bitmap = GDIselectBitmap(hdc, drawn);
  GDIsetTextColor(hdc, GDI_COLOR_WHITE);
  const qrect all{0, 0, height, width};
  GDIfillRect(hdc, &all, GDIgetStockBrush(0));
  GDIsetTextColor(hdc, GDI_COLOR_BLACK);
  return bitmap ? 0 : -103;
}

qbool BCpaintBarAll(HDC hdc, qlong x, qlong y, const strxxx& text, qlong quietZone, qlong narrow,
                    qlong wide, qlong gap, qlong barHeight) {
  qrect rect;
  rect.top = y;
  rect.bottom = clampCoord(static_cast<qint64>(y) + barHeight - 1);
  rect.left = rect.right = clampCoord(static_cast<qint64>(x) + quietZone);
  for (qlong i = 0; i < text.length(); ++i) {
    if (!BCpaintBarOneChar(hdc, rect, text[i], narrow, wide)) return qfalse;
    rect.left = clampCoord(static_cast<qint64>(rect.left) + gap);
  }
  return qtrue;
}

qbool BCpaintBarOneChar(HDC hdc, qrect& rect, qchar c, qlong narrow, qlong wide) {
  const code39_char* row = code39Find(c);
  if (!row) return qfalse;
  HBRUSH brush = GDIgetStockBrush(0);
  for (int i = 0; i < 9; ++i) {
    rect.right =
        clampCoord(static_cast<qint64>(rect.left) + (row->mPattern[i] == 'w' ? wide : narrow) - 1);
    if (i % 2 == 0) GDIfillRect(hdc, &rect, brush);  // elements 1, 3, 5, 7, 9 are bars
    rect.left = clampCoord(static_cast<qint64>(rect.right) + 1);
  }
  return qtrue;
}

void BCpaintText(HDC hdc, qlong x, qlong y, const strxxx& text, HFONT font) {
  HFONT previous = GDIselectObject(hdc, font);
  GDIdrawText(hdc, x, y, text.cString(), text.length(), 0);
  GDIselectObject(hdc, previous);
}

qlong BCendPaint(HDC hdc, HBITMAP& bitmap) {
  bitmap = GDIselectBitmap(hdc, bitmap);
  return 0;
}

namespace {

// Copies every pixel of a w x h source of Bytes bytes per pixel to its place in the turned
// destination. Rows are counted in full-width sizes.
template <size_t Bytes>
void turnPixels(const qbyte* src, qbyte* dst, size_t w, size_t h, qshort angle) {
  const size_t srcRow = w * Bytes, dstRow = (angle == 180 ? w : h) * Bytes;
  for (size_t y = 0; y < h; ++y) {
    const qbyte* s = src + y * srcRow;
    for (size_t x = 0; x < w; ++x, s += Bytes) {
      size_t dx, dy;
      if (angle == 90) {
        dx = h - 1 - y, dy = x;
      } else if (angle == 180) {
        dx = w - 1 - x, dy = h - 1 - y;
      } else {
        dx = y, dy = w - 1 - x;
      }
      std::memcpy(dst + dy * dstRow + dx * Bytes, s, Bytes);
    }
  }
}

}  // namespace

HPIXMAP BCrotatePixmap(HPIXMAP pixmap, qlong, qlong, qshort angle) {
  if (angle != 90 && angle != 180 && angle != 270) return pixmap;
  HPIXMAPinfo info;
  GDIgetHPIXMAPinfo(pixmap, &info);
  const qlong bits = info.mBitsPerPixel;
  if (bits < 8) return pixmap;
  const size_t w = static_cast<size_t>(info.mWidth), h = static_cast<size_t>(info.mHeight);
  const bool quarter = angle != 180;
  HPIXMAP turned =
      GDIcreateHPIXMAP(quarter ? info.mHeight : info.mWidth, quarter ? info.mWidth : info.mHeight,
                       static_cast<qshort>(bits), 0);
  if (!turned) return pixmap;
  if (bits == 8) {
    std::vector<qColorEntry> table(static_cast<size_t>(info.mColors) + 1);
    GDIgetColorEntries(pixmap, 0, info.mColors + 1, table.data());
    GDIsetColorEntries(turned, 0, info.mColors + 1, table.data());
  }
  const qbyte* src = GDIlockHPIXMAP(pixmap);
  qbyte* dst = GDIlockHPIXMAP(turned);
  if (!src || !dst) {
    if (src) GDIunlockHPIXMAP(pixmap);
    GDIdeleteHPIXMAP(turned);
    return pixmap;
  }
  switch (bits) {
    case 8:
      turnPixels<1>(src, dst, w, h, angle);
      break;
    case 16:
      turnPixels<2>(src, dst, w, h, angle);
      break;
    case 24:
      turnPixels<3>(src, dst, w, h, angle);
      break;
    case 32:
      turnPixels<4>(src, dst, w, h, angle);
      break;
    default:
      break;  // no other depth is copied
  }
  GDIunlockHPIXMAP(turned);
  GDIunlockHPIXMAP(pixmap);
  GDIdeleteHPIXMAP(pixmap);
  return turned;
}
