// $barcode39: a Code 39 barcode image, optionally with its text line and turned by quarter
// turns, returned as JPEG data in a binary variable.
#include <algorithm>
#include <cstdio>
#include <new>
#include <string>

#include "bcdraw.h"
#include "jpegout.h"
#include "zqmain.h"

namespace {

const char* const kPaintFailed = "Unknown error during barcode painting";

// Host drawing objects of one call, released on every path.
struct Barcode39Objects {
  HDC dc = nullptr;
  qlong dcState = 0;
  HFONT font = nullptr;
  HBITMAP bitmap = nullptr;
  HPIXMAP pixmap = nullptr;
  qHandleInfo* jpeg = nullptr;

  void releaseFontAndContext() {
    if (font) GDIdeleteObject(font);
    if (dc) GDIdeleteScreenDC(dc, dcState);
    font = nullptr;
    dc = nullptr;
  }
  ~Barcode39Objects() {
    releaseFontAndContext();
    if (bitmap) GDIdeleteBitmap(bitmap);
    if (pixmap) GDIdeleteHPIXMAP(pixmap);
    if (jpeg) HANglobalFree(jpeg);
  }
};

std::string utf8Of(const qchar* chars, qlong len) {
  std::string s(static_cast<size_t>(len) * 4, '\0');
  s.resize(static_cast<size_t>(CHARconvToUtf8(chars, len, reinterpret_cast<qbyte*>(&s[0]))));
  return s;
}

// The detail text for a character that has no Code 39 pattern. A control character is named
// by its code alone: shown as itself it would be invisible, and a NUL would end the text.
std::string badCharacterText(qchar c, qlong position) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  const bool control = c < 0x20 || (c >= 0x7F && c < 0xA0);
  const std::string shown = control ? code : "'" + utf8Of(&c, 1) + "' (" + code + ")";
  return "Parameter 'String' contains the character " + shown + " at position " +
         std::to_string(position) + ", which Code 39 cannot encode";
}

const char* const kConversionFailed = "Unknown error during barcode jpeg conversion";

// Parameter 8, the clockwise turn: 0, 90, 180 or 270 (0 without it). Returns 0 or the
// reported error.
qlong readAngle(tThreadData* td, qshort paramCount, qlong& angle) {
  typedef tObjZQBase B;
  angle = 0;
  if (paramCount < 8) return 0;
  const qlong status = B::getParamInt(td, 8, angle);
  if (status != 0)
    return B::returnError(td, status, "Parameter 'ImageAngle' must be of type integer");
  if (angle != 0 && angle != 90 && angle != 180 && angle != 270)
    return B::returnError(td, kErrParams,
                          "Invalid value specified for image angle (must be 0,90,180 or 270)");
  return 0;
}

// Parameter 12, the JPEG quality, read only when the angle was given too (75 without it).
// Returns 0 or the reported error.
qlong readQuality(tThreadData* td, qshort paramCount, qlong& quality) {
  typedef tObjZQBase B;
  quality = 75;
  if (paramCount < 12) return 0;
  const qlong status = B::getParamInt(td, 12, quality);
  if (status != 0)
    return B::returnError(td, status, "Parameter 'ImageQuality' must be of type integer");
  return 0;
}

qlong barcode39(tThreadData* td, qshort paramCount) {
  typedef tObjZQBase B;
  if (paramCount < 2) return B::returnError(td, kErrParams, "Parameter count must be 2 or more");

  qlong resolution = 1000, narrow = 8, wide = 17, gap = 4, barHeight = 375;
  struct IntParam {
    qlong* value;
    const char* error;
  };
  const IntParam ints[] = {
      {&resolution, "Parameter 'Resolution' must be of type integer"},
      {&narrow, "Parameter 'StemWidth' must be of type integer"},
      {&wide, "Parameter 'StemWideWidth' must be of type integer"},
      {&gap, "Parameter 'InterCharGap' must be of type integer"},
      {&barHeight, "Parameter 'BarHeight' must be of type integer"},
  };
  for (qshort n = 3; n <= 7 && n <= paramCount; ++n) {
    const qlong status = B::getParamInt(td, n, *ints[n - 3].value);
    if (status != 0) return B::returnError(td, status, ints[n - 3].error);
    if (n == 3 && (resolution < 72 || resolution > 1000))
      return B::returnError(
          td, kErrParams,
          "Invalid value specified for image DPI (must be in the range 72 to 1000)");
  }

  const qint64 quiet = std::max<qint64>(10 * static_cast<qint64>(narrow), resolution / 10);
  str255 text;
  qlong status = B::getParamText(td, 2, text);
  if (status != 0)
    return B::returnError(td, status, "Parameter 'String' must be of type character");
  for (qlong i = 0; i < text.length(); ++i)
    if (!code39Find(text[i]))
      return B::returnError(td, kErrParams, badCharacterText(text[i], i + 1));
  const qint64 count = text.length();
  const qint64 barsWidth =
      (3 * static_cast<qint64>(wide) + 6 * static_cast<qint64>(narrow)) * count + 2 * quiet +
      (count - 1) * gap;

  Barcode39Objects objects;
  if (!GDIcreateScreenDC(&objects.dc, &objects.dcState))
    return B::returnError(td, kErrMemory, kPaintFailed);

  qbool printText = qtrue;
  if (paramCount >= 9) {
    status = B::getParamBool(td, 9, printText);
    if (status != 0)
      return B::returnError(td, status, "Parameter 'PrintText' must be of type boolean");
  }
  qint64 width = barsWidth, height = barHeight, textWidth = 0, descent = 0;
  if (printText) {
    str255 fontName;
    const qchar arial[] = U"Arial";
    fontName.set(arial, 5);
    if (paramCount >= 10) {
      status = B::getParamText(td, 10, fontName);
      if (status != 0)
        return B::returnError(td, status, "Parameter 'FontName' must be of type character");
    }
    qlong fontSize = 10;
    if (paramCount >= 11) {
      status = B::getParamInt(td, 11, fontSize);
      if (status != 0)
        return B::returnError(td, status, "Parameter 'FontSize' must be of type integer");
      if (fontSize < 6 || fontSize > 24)
        return B::returnError(td, kErrParams, "Font size must be in the range 6 to 24");
    }
    qfnt fnt;
    GDIsetFontName(&fnt, fontName.cString(), fontName.length());
    fnt.fntSize = static_cast<qshort>(fontSize * resolution / 72);
    fnt.fntWidth = 0;
    fnt.fntSpacing = 0;
    fnt.fntStyle &= static_cast<qbyte>(~7);
    objects.font = GDIcreateFont(&fnt, 0);
    if (!objects.font)
      return B::returnError(
          td, kErrFailed,
          "Font '" + utf8Of(fontName.cString(), fontName.length()) + "' could not be loaded");
    HFONT previous = GDIselectObject(objects.dc, objects.font);
    const qlong fontHeight = GDIfontHeight(objects.dc, 0);
    descent = GDIfontPart(objects.dc, 1);
    textWidth = GDItextWidth(objects.dc, text.cString(), text.length());
    GDIselectObject(objects.dc, previous);
    width = std::max(barsWidth, textWidth);
    height = fontHeight + static_cast<qint64>(barHeight) + descent;
  }

  // Every size limit is checked before anything is allocated or painted, and answered as the
  // work would have been: a bitmap the host cannot make fails as painting, an image larger
  // than a JPEG holds (a quarter turn keeps both sizes) fails as its conversion, once the
  // angle and quality are read as they would have been before it.
  if (!BCcanPaint(width, height)) return B::returnError(td, kErrMemory, kPaintFailed);
  qlong angle = 0, quality = 75;
  if (!JPEGcanHold(width, height)) {
    objects.releaseFontAndContext();
    status = readAngle(td, paramCount, angle);
    if (status == 0) status = readQuality(td, paramCount, quality);
    return status != 0 ? status : B::returnError(td, kErrFailed, kConversionFailed);
  }

  HBITMAP previousBitmap = nullptr;
  status = BCstartPaint(objects.dc, previousBitmap, static_cast<qlong>(width),
                        static_cast<qlong>(height));
  if (status == 0) {
    const qint64 barsX = width > barsWidth ? (width - barsWidth) / 2 : 0;
    BCpaintBarAll(objects.dc, static_cast<qlong>(barsX), 0, text, static_cast<qlong>(quiet), narrow,
                  wide, gap, barHeight);
    if (printText) {
      const qint64 textX = width > textWidth ? (width - textWidth) / 2 : 0;
      BCpaintText(objects.dc, static_cast<qlong>(textX), static_cast<qlong>(barHeight + descent),
                  text, objects.font);
    }
    objects.bitmap = GDIselectBitmap(objects.dc, previousBitmap);
  }
  objects.releaseFontAndContext();
  if (status != 0) return B::returnError(td, kErrMemory, kPaintFailed);

  objects.pixmap = GDIbitmapToPIXMAP(objects.bitmap);
  GDIdeleteBitmap(objects.bitmap);
  objects.bitmap = nullptr;
  if (!objects.pixmap) return B::returnError(td, kErrMemory, kPaintFailed);

  status = readAngle(td, paramCount, angle);
  if (status != 0) return status;
  if (angle != 0) {
    HPIXMAP turned = BCrotatePixmap(objects.pixmap, static_cast<qlong>(width),
                                    static_cast<qlong>(height), static_cast<qshort>(angle));
    // The rotation gives the source back when it cannot make the turned map.
    if (turned == objects.pixmap)
      return B::returnError(td, kErrMemory, "Not enough memory to turn the barcode image");
    objects.pixmap = turned;
  }
  status = readQuality(td, paramCount, quality);
  if (status != 0) return status;

  // The library limits the quality to 1 to 100; limiting it before the 16-bit conversion
  // keeps large values at the top of the scale.
  quality = std::min<qlong>(std::max<qlong>(quality, 0), 100);
  const qbool converted = PixmapToJPEG(objects.pixmap, objects.jpeg, static_cast<qshort>(quality),
                                       static_cast<qshort>(resolution));
  GDIdeleteHPIXMAP(objects.pixmap);
  objects.pixmap = nullptr;
  if (!converted) return B::returnError(td, kErrFailed, kConversionFailed);

  EXTfldval imageData;
  status = B::getParamVar(td, 1, imageData, fftBinary, fftNone);
  if (status != 0)
    return B::returnError(td, status, "Parameter 'ImageData' must be of type binary");
  imageData.setHandle(fftBinary, objects.jpeg);
  objects.jpeg = nullptr;
  ECOsetParameterChanged(td->eci, 1);
  return kStatusOk;
}

}  // namespace

qlong tObjZQMain::methodBarcode39(tThreadData* td, qshort paramCount) {
  try {
    return barcode39(td, paramCount);
  } catch (const std::bad_alloc&) {
    return returnError(td, kErrMemory, "Out of memory while making the barcode image");
  }
}
