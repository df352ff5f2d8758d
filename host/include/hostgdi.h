// Off-screen drawing: drawing contexts, bitmaps, pixel maps, fonts and text.
//
// Everything is drawn into memory; nothing reaches a screen. Coordinates are pixels, x growing
// to the right and y downwards, (0, 0) the top-left pixel.
//
// Bitmaps and pixel maps (rawBitmapContainer) are memory rasters whose rows are stored one
// after another, first row at the top, each row exactly width x bits-per-pixel / 8 bytes long
// (rounded up to whole bytes for 1 and 4 bits per pixel). Their pixel memory comes from
// HANglobalAlloc, so the host's allocation-failure switch for tests applies to them.
// Pixel layouts:
//   32 bits: 4 bytes x, R, G, B (x is unused and written as 0). Bitmaps always use this.
//   24 bits: 3 bytes R, G, B.
//   16 bits: 2 bytes, not interpreted by the drawing operations.
//   8, 4, 1 bits: an index into the map's colour table (most significant bits first).
//
// Fonts are found by face name through fontconfig, which also resolves metric-compatible
// substitutes (for example "Arial" to Liberation Sans), and rendered with FreeType,
// anti-aliased.
#pragma once

#include "hosttypes.h"

struct HDCscreenStruct;     // a drawing context
struct rawBitmapContainer;  // a bitmap or a pixel map
struct HFONTstruct;         // a font made by GDIcreateFont
struct GDIbrushStruct;      // a stock brush

typedef HDCscreenStruct* HDC;
typedef rawBitmapContainer* HBITMAP;
typedef rawBitmapContainer* HPIXMAP;
typedef HFONTstruct* HFONT;
typedef const GDIbrushStruct* HBRUSH;

// A rectangle; both edges are included, so it covers the columns left to right and the rows
// top to bottom. An empty rectangle has right < left or bottom < top.
struct qrect {
  qlong top;
  qlong left;
  qlong bottom;
  qlong right;
};

// Colours. A value with the high bit set is a host colour constant; any other value is an
// RGB colour 0x00RRGGBB. Constants other than the ones below read as black.
typedef qulong qcol;
const qcol GDI_COLOR_BLACK = 0x8000001E;
const qcol GDI_COLOR_WHITE = 0x8000002D;

// One colour-table entry: 4 bytes, blue, green, red and an unused byte, in memory order.
struct qColorEntry {
  qbyte mBlue;
  qbyte mGreen;
  qbyte mRed;
  qbyte mUnused;
};

// What GDIgetHPIXMAPinfo tells about a pixel map.
struct HPIXMAPinfo {
  qlong mWidth;
  qlong mHeight;
  qlong mColors;        // entries in the colour table: 2, 16, 256 for 1, 4, 8 bits; else 0
  qlong mBitsPerPixel;  // 1, 4, 8, 16, 24 or 32
};

// A font description for GDIcreateFont.
const qshort kFontNameMax = 63;
const qbyte fntBold = 1;
const qbyte fntItalic = 2;
const qbyte fntUnderline = 4;
struct qfnt {
  qchar fntName[kFontNameMax];  // face name (set with GDIsetFontName)
  qshort fntNameLen = 0;
  qshort fntSize = 12;    // the em size in pixels
  qshort fntWidth = 0;    // character width in pixels; 0 for the face's natural width
  qshort fntSpacing = 0;  // extra pixels after every character; 0 for none
  qbyte fntStyle = 0;     // fntBold | fntItalic | fntUnderline
};

// Contexts. A new context has a 1 x 1 bitmap of its own selected, black as its text colour
// and no font. state receives a value to hand back to GDIdeleteScreenDC (always 0 here).
// Deleting a context releases its own bitmap but not one selected into it by the caller.
HOST_API qbool GDIcreateScreenDC(HDC* hdc, qlong* state);
HOST_API void GDIdeleteScreenDC(HDC hdc, qlong state);

// Bitmaps: bitsPerPixel 0 (or 32) gives a 32-bit bitmap, cleared to black; hdc is not used
// and may be null. Null when the size is not at least 1 x 1, the bytes exceed 2^31 - 1 or
// memory cannot be had.
HOST_API HBITMAP GDIcreateBitmap(qlong width, qlong height, qshort bitsPerPixel, HDC hdc);
HOST_API void GDIdeleteBitmap(HBITMAP bitmap);
// Selects bitmap into the context for drawing and returns the bitmap selected before.
// Selecting null returns null and changes nothing.
HOST_API HBITMAP GDIselectBitmap(HDC hdc, HBITMAP bitmap);

// Colour and filling. Stock brush 0 fills in the context's current text colour; there is no
// other stock brush (null). GDIfillRect fills the rectangle, both edges included, clipped to
// the selected bitmap.
HOST_API void GDIsetTextColor(HDC hdc, qcol colour);
HOST_API HBRUSH GDIgetStockBrush(qlong which);
HOST_API void GDIfillRect(HDC hdc, const qrect* rect, HBRUSH brush);

// Fonts. GDIsetFontName keeps at most kFontNameMax characters of the name. GDIcreateFont
// (flags not used) finds the face best matching the name and the bold and italic bits
// (fontconfig's default face for an unknown name) and sizes it to fntSize pixels (at least
// 1). Null when no face can be loaded. GDIselectObject selects a font into the context and
// returns the font selected before (null for none); GDIdeleteObject releases a font, which
// must not be selected any more.
HOST_API void GDIsetFontName(qfnt* fnt, const qchar* name, qlong len);
HOST_API HFONT GDIcreateFont(const qfnt* fnt, qlong flags);
HOST_API HFONT GDIselectObject(HDC hdc, HFONT font);
HOST_API void GDIdeleteObject(HFONT font);

// Font measures of the selected font, in whole pixels (0 when no font is selected).
// GDIfontPart(hdc, 0) is the ascent (from the top of the line box to the baseline),
// GDIfontPart(hdc, 1) the descent (from the baseline to the bottom of the line box), and
// GDIfontPart(hdc, 2) the line gap the face recommends between lines.
// GDIfontHeight(hdc, 0) is the height of the line box, ascent + descent; a non-zero second
// argument adds the line gap.
HOST_API qlong GDIfontHeight(HDC hdc, qlong withGap);
HOST_API qlong GDIfontPart(HDC hdc, qlong part);
// Advance width of the text in the selected font: the sum of the characters' advances (no
// kerning) plus fntSpacing per character.
HOST_API qlong GDItextWidth(HDC hdc, const qchar* text, qlong len);
// Draws the text in the selected font and the current text colour. Text placement: the top
// of the text's line box is at y, so a line drawn at y occupies rows y to
// y + GDIfontHeight(hdc, 0) - 1 and its baseline is at y + GDIfontPart(hdc, 0).
// Justification 0 starts the text at x, 1 ends it at x, 2 centres it on x.
HOST_API void GDIdrawText(HDC hdc, qlong x, qlong y, const qchar* text, qlong len, qlong just);

// Pixel maps. GDIcreateHPIXMAP (flags not used) makes a map of width x height (0 allowed)
// at 1, 4, 8, 16, 24 or 32 bits per pixel, pixels zero; maps of 1, 4 and 8 bits get a
// grey-scale colour table from black to white. Null for other depths, sizes whose bytes
// exceed 2^31 - 1, or when memory cannot be had. GDIbitmapToPIXMAP makes a 32-bit map with a
// copy of the bitmap's pixels (null when memory cannot be had).
HOST_API HPIXMAP GDIcreateHPIXMAP(qlong width, qlong height, qshort bitsPerPixel, qlong flags);
HOST_API HPIXMAP GDIbitmapToPIXMAP(HBITMAP bitmap);
HOST_API void GDIdeleteHPIXMAP(HPIXMAP pixmap);
HOST_API void GDIgetHPIXMAPinfo(HPIXMAP pixmap, HPIXMAPinfo* info);
// The first pixel byte, valid until GDIunlockHPIXMAP (locks nest). A map made by
// GDIbitmapToPIXMAP shares the bitmap's pixels until one of them changes: locking it while the
// bitmap lives takes the map's own copy then, and gives null when memory for it cannot be had.
HOST_API qbyte* GDIlockHPIXMAP(HPIXMAP pixmap);
HOST_API void GDIunlockHPIXMAP(HPIXMAP pixmap);
// Colour-table entries first to first + count - 1. Reading entries beyond the table gives
// zero entries; writing them is ignored.
HOST_API void GDIgetColorEntries(HPIXMAP pixmap, qlong first, qlong count, qColorEntry* entries);
HOST_API void GDIsetColorEntries(HPIXMAP pixmap, qlong first, qlong count,
                                 const qColorEntry* entries);
