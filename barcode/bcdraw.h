// Drawing of Code 39 bars and their text line on an off-screen bitmap, and the rotation of a
// finished pixel map by quarter turns.
#pragma once

#include "hostgdi.h"

// One Code 39 character: its code and its 9 elements, bar, space, bar, ..., bar, each 'n'
// (narrow) or 'w' (wide); exactly 3 are wide (ISO/IEC 16388).
struct code39_char {
  qchar mChar;
  const char* mPattern;
};
const int kCode39Chars = 44;
extern const code39_char code39_char_info[kCode39Chars];

// The table row of a character after upper-casing it with uppC; null when it has none.
const code39_char* code39Find(qchar c);

// Whether BCstartPaint can have a width x height bitmap as far as its size goes: at least
// 1 x 1 and, at 4 bytes a pixel, at most 2^31 - 1 bytes (the host's limit for a bitmap). A
// bitmap of another size cannot be made; one of this size still needs the memory.
bool BCcanPaint(qint64 width, qint64 height);

// Makes a width x height bitmap, selects it into hdc, clears it to white and leaves black as
// the text colour. On return bitmap holds the bitmap that was selected before (for the final
// swap with BCendPaint). Returns 0, or -103 when the bitmap cannot be made or selected.
qlong BCstartPaint(HDC hdc, HBITMAP& bitmap, qlong width, qlong height);

// Draws the bars of every character of text: the first bar at column x + quietZone, rows y to
// y + barHeight - 1, characters gap columns apart. Returns false at the first character that
// has no pattern (the ones before it stay drawn); true otherwise, also for an empty text.
qbool BCpaintBarAll(HDC hdc, qlong x, qlong y, const strxxx& text, qlong quietZone, qlong narrow,
                    qlong wide, qlong gap, qlong barHeight);

// Draws the 9 elements of one character from rect.left on, rows rect.top to rect.bottom, and
// leaves rect.left on the column after the last element. False (nothing drawn) when the
// character has no pattern.
qbool BCpaintBarOneChar(HDC hdc, qrect& rect, qchar c, qlong narrow, qlong wide);

// Draws text with font at (x, y) (top of the line box) and selects the previous font again.
void BCpaintText(HDC hdc, qlong x, qlong y, const strxxx& text, HFONT font);

// Selects bitmap back into hdc and stores the bitmap that was selected (the drawn one) in it.
qlong BCendPaint(HDC hdc, HBITMAP& bitmap);

// Returns pixmap turned clockwise by angle (90, 180 or 270) and releases pixmap; 90 degrees
// moves the top-left pixel to the top-right. Maps below 8 bits per pixel, other angles, and a
// destination that cannot be made give pixmap back unturned. width and height are not used.
HPIXMAP BCrotatePixmap(HPIXMAP pixmap, qlong width, qlong height, qshort angle);
