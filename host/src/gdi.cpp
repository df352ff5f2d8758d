// Off-screen drawing: memory rasters, fonts through fontconfig, glyphs through FreeType.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>

#include "hostgdi.h"
#include FT_FREETYPE_H

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <string>
#include <utility>

struct rawBitmapContainer {
  qlong width = 0;
  qlong height = 0;
  qlong bits = 32;
  size_t rowBytes = 0;
  qHandleInfo* pixels = nullptr;
  qlong colors = 0;
  qColorEntry table[256];
  qlong locks = 0;
  // Set while the pixels are shared with other rasters (a pixel map made from a bitmap): how
  // many hold them. Whoever changes shared pixels first takes a copy of its own.
  qlong* sharers = nullptr;
};

struct HFONTstruct {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  qlong ascent = 0, descent = 0, gap = 0;
  qlong spacing = 0;
  bool underline = false;
  qlong underlinePos = 0, underlineThickness = 1;  // below the baseline, in pixels
};

struct HDCscreenStruct {
  HBITMAP own = nullptr;
  HBITMAP selected = nullptr;
  HFONT font = nullptr;
  qcol textColour = GDI_COLOR_BLACK;
};

struct GDIbrushStruct {
  int kind;
};

namespace {

const GDIbrushStruct kSolidBrush{0};
const qlong kMaxBytes = 0x7FFFFFFF;

struct Rgb {
  qbyte r, g, b;
};

Rgb rgbOf(qcol c) {
  if (c & 0x80000000u) {
    if (c == GDI_COLOR_WHITE) return {255, 255, 255};
    return {0, 0, 0};
  }
  return {static_cast<qbyte>(c >> 16), static_cast<qbyte>(c >> 8), static_cast<qbyte>(c)};
}

// Bytes of one row, rounded up to whole bytes.
qint64 rowBytesOf(qlong width, qlong bits) { return (static_cast<qint64>(width) * bits + 7) / 8; }

HPIXMAP newRaster(qlong width, qlong height, qlong bits, bool zero = true) {
  if (width < 0 || height < 0) return nullptr;
  const qint64 row = rowBytesOf(width, bits);
  const qint64 total = row * height;
  if (total > kMaxBytes) return nullptr;
  rawBitmapContainer* r = new (std::nothrow) rawBitmapContainer;
  if (!r) return nullptr;
  r->pixels = HANglobalAlloc(static_cast<qlong>(total), zero);
  if (!r->pixels) {
    delete r;
    return nullptr;
  }
  r->width = width;
  r->height = height;
  r->bits = bits;
  r->rowBytes = static_cast<size_t>(row);
  r->colors = bits <= 8 ? (1 << bits) : 0;
  std::memset(r->table, 0, sizeof r->table);
  for (qlong i = 0; i < r->colors; ++i) {
    const qbyte v = static_cast<qbyte>(i * 255 / (r->colors - 1));
    r->table[i] = qColorEntry{v, v, v, 0};
  }
  return r;
}

void freeRaster(rawBitmapContainer* r) {
  if (!r) return;
  if (r->sharers && --*r->sharers > 0) {
    delete r;  // the others still hold the pixels
    return;
  }
  delete r->sharers;
  HANglobalFree(r->pixels);
  delete r;
}

// Makes r the only holder of its pixels before they change: shared pixels are copied (false
// when memory for the copy cannot be had).
bool ownPixels(rawBitmapContainer* r) {
  if (!r->sharers) return true;
  if (*r->sharers > 1) {
    const qlong used = r->pixels->mUsed;
    qHandleInfo* copy = HANglobalAlloc(used, qfalse);
    if (!copy) return false;
    if (used > 0) std::memcpy(copy->mData, r->pixels->mData, static_cast<size_t>(used));
    --*r->sharers;
    r->pixels = copy;
  } else {
    delete r->sharers;
  }
  r->sharers = nullptr;
  return true;
}

// Blends colour c into the 32-bit pixel p with coverage a (0 to 255).
inline void blend(qbyte* p, Rgb c, unsigned a) {
  if (a == 0) return;
  if (a == 255) {
    p[1] = c.r, p[2] = c.g, p[3] = c.b;
    return;
  }
  const unsigned na = 255 - a;
  p[1] = static_cast<qbyte>((p[1] * na + c.r * a + 127) / 255);
  p[2] = static_cast<qbyte>((p[2] * na + c.g * a + 127) / 255);
  p[3] = static_cast<qbyte>((p[3] * na + c.b * a + 127) / 255);
}

void fillClipped(HBITMAP bm, qint64 top, qint64 left, qint64 bottom, qint64 right, Rgb c) {
  if (!bm) return;
  top = std::max<qint64>(top, 0);
  left = std::max<qint64>(left, 0);
  bottom = std::min<qint64>(bottom, bm->height - 1);
  right = std::min<qint64>(right, bm->width - 1);
  if (bottom < top || right < left || !ownPixels(bm)) return;
  const qbyte px[4] = {0, c.r, c.g, c.b};
  qbyte* base = bm->pixels->mData;
  // The first row pixel by pixel, the others copied from it.
  const size_t bytes = static_cast<size_t>(right - left + 1) * 4;
  qbyte* first = base + static_cast<size_t>(top) * bm->rowBytes + static_cast<size_t>(left) * 4;
  for (size_t x = 0; x < bytes; x += 4) std::memcpy(first + x, px, 4);
  for (qint64 y = top + 1; y <= bottom; ++y)
    std::memcpy(base + static_cast<size_t>(y) * bm->rowBytes + static_cast<size_t>(left) * 4, first,
                bytes);
}

// ---------------------------------------------------------------------------------------------
// Face lookup through fontconfig, remembered per (name, style).

struct FaceFile {
  std::string path;
  int index = 0;
};

// Family names compared as fontconfig compares them: ignoring case and blanks.
bool sameFamily(const std::string& a, const char* b) {
  size_t i = 0;
  for (const char* p = b;; ++p) {
    while (i < a.size() && a[i] == ' ') ++i;
    while (*p == ' ') ++p;
    if (i == a.size() || !*p) return i == a.size() && !*p;
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    const char y = *p >= 'A' && *p <= 'Z' ? static_cast<char>(*p - 'A' + 'a') : *p;
    if (x != y) return false;
    ++i;
  }
}

bool existingFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// A directory that holds anything (fonts the system's packages did not install).
bool holdsFiles(const std::string& dir) {
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  bool any = false;
  while (const dirent* e = readdir(d)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0) {
      any = true;
      break;
    }
  }
  closedir(d);
  return any;
}

// Loading fontconfig's configuration costs more than drawing a whole barcode, so the families
// the component names (Arial above all) and their metric-compatible Liberation faces are found
// without it, as fontconfig's own aliases of metric-compatible families resolve them: Arial to
// Liberation Sans, Times New Roman to Liberation Serif, Courier New to Liberation Mono. That
// holds while nothing else can offer those families: fontconfig is not pointed elsewhere by
// its environment, there is no local configuration, no Microsoft core fonts, and no fonts
// outside the system's packages (local or per user). Otherwise, and for every other family,
// fontconfig decides.
bool wellKnownFace(const std::string& name, qbyte style, FaceFile& out) {
  static const struct {
    const char* family;
    const char* alias;
    const char* file;
  } kFaces[] = {
      {"Arial", "Liberation Sans", "LiberationSans"},
      {"Times New Roman", "Liberation Serif", "LiberationSerif"},
      {"Courier New", "Liberation Mono", "LiberationMono"},
  };
  const char* file = nullptr;
  for (const auto& f : kFaces)
    if (sameFamily(name, f.family) || sameFamily(name, f.alias)) file = f.file;
  if (!file) return false;
  static const bool plainSystem = [] {
    for (const char* v : {"FONTCONFIG_FILE", "FONTCONFIG_PATH", "FONTCONFIG_SYSROOT"})
      if (std::getenv(v)) return false;
    if (existingFile("/etc/fonts/local.conf") ||
        holdsFiles("/usr/share/fonts/truetype/msttcorefonts") ||
        holdsFiles("/usr/local/share/fonts"))
      return false;
    const char* home = std::getenv("HOME");
    const char* data = std::getenv("XDG_DATA_HOME");
    if (home && (holdsFiles(std::string(home) + "/.fonts") ||
                 (!data && holdsFiles(std::string(home) + "/.local/share/fonts"))))
      return false;
    if (data && holdsFiles(std::string(data) + "/fonts")) return false;
    return true;
  }();
  if (!plainSystem) return false;
  const bool bold = (style & fntBold) != 0, italic = (style & fntItalic) != 0;
  const char* suffix = bold && italic ? "-BoldItalic"
                       : bold         ? "-Bold"
                       : italic       ? "-Italic"
                                      : "-Regular";
  const std::string path =
      std::string("/usr/share/fonts/truetype/liberation2/") + file + suffix + ".ttf";
  if (!existingFile(path)) return false;
  out.path = path;
  out.index = 0;
  return true;
}

bool findFace(const std::string& name, qbyte style, FaceFile& out) {
  static std::mutex mutex;
  static std::map<std::pair<std::string, int>, FaceFile> cache;
  const std::pair<std::string, int> key(name, style & (fntBold | fntItalic));
  std::lock_guard<std::mutex> lock(mutex);
  auto it = cache.find(key);
  if (it != cache.end()) {
    out = it->second;
    return true;
  }
  if (wellKnownFace(name, style, out)) {
    cache.emplace(key, out);
    return true;
  }
  // The configuration is loaded once and released when the host layer is unloaded.
  struct Config {
    FcConfig* config = FcInitLoadConfigAndFonts();
    ~Config() {
      if (config) FcConfigDestroy(config);
    }
  };
  static Config loaded;
  FcConfig* config = loaded.config;
  if (!config) return false;
  FcPattern* pattern = FcPatternCreate();
  if (!pattern) return false;
  if (!name.empty())
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(name.c_str()));
  FcPatternAddInteger(pattern, FC_WEIGHT, (style & fntBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  FcPatternAddInteger(pattern, FC_SLANT, (style & fntItalic) ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result = FcResultNoMatch;
  FcPattern* match = FcFontMatch(config, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) return false;
  // Destroyed however this ends: copying the path or caching it may throw std::bad_alloc.
  struct MatchOwner {
    FcPattern* p;
    ~MatchOwner() { FcPatternDestroy(p); }
  } owner{match};
  FcChar8* file = nullptr;
  int index = 0;
  bool found = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
  if (found) {
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    out.path = reinterpret_cast<const char*>(file);
    out.index = index;
    cache.emplace(key, out);
  }
  return found;
}

std::string utf8Name(const qfnt* fnt) {
  const qlong len = std::min<qlong>(std::max<qlong>(fnt->fntNameLen, 0), kFontNameMax);
  std::string s(static_cast<size_t>(len) * 4, '\0');
  s.resize(static_cast<size_t>(CHARconvToUtf8(fnt->fntName, len, reinterpret_cast<qbyte*>(&s[0]))));
  return s;
}

qlong ceil26(FT_Pos v) { return static_cast<qlong>((v + 63) >> 6); }

// Advance of one character in whole pixels (hinted), or 0 when it cannot be loaded.
qlong advanceOf(HFONT f, qchar c) {
  if (FT_Load_Char(f->face, c, FT_LOAD_DEFAULT) != 0) return 0;
  return static_cast<qlong>((f->face->glyph->advance.x + 32) >> 6);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Contexts and bitmaps

qbool GDIcreateScreenDC(HDC* hdc, qlong* state) {
  if (state) *state = 0;
  if (!hdc) return qfalse;
  *hdc = nullptr;
  HDC dc = new (std::nothrow) HDCscreenStruct;
  if (!dc) return qfalse;
  dc->own = GDIcreateBitmap(1, 1, 0, nullptr);
  if (!dc->own) {
    delete dc;
    return qfalse;
  }
  dc->selected = dc->own;
  *hdc = dc;
  return qtrue;
}

void GDIdeleteScreenDC(HDC hdc, qlong) {
  if (!hdc) return;
  freeRaster(hdc->own);
  delete hdc;
}

HBITMAP GDIcreateBitmap(qlong width, qlong height, qshort bitsPerPixel, HDC) {
  if (width < 1 || height < 1 || (bitsPerPixel != 0 && bitsPerPixel != 32)) return nullptr;
  return newRaster(width, height, 32);
}

void GDIdeleteBitmap(HBITMAP bitmap) { freeRaster(bitmap); }

HBITMAP GDIselectBitmap(HDC hdc, HBITMAP bitmap) {
  if (!hdc || !bitmap) return nullptr;
  HBITMAP previous = hdc->selected;
  hdc->selected = bitmap;
  return previous;
}

void GDIsetTextColor(HDC hdc, qcol colour) {
  if (hdc) hdc->textColour = colour;
}

HBRUSH GDIgetStockBrush(qlong which) { return which == 0 ? &kSolidBrush : nullptr; }

void GDIfillRect(HDC hdc, const qrect* rect, HBRUSH brush) {
  if (!hdc || !rect || !brush) return;
  fillClipped(hdc->selected, rect->top, rect->left, rect->bottom, rect->right,
              rgbOf(hdc->textColour));
}

// ---------------------------------------------------------------------------------------------
// Fonts and text

void GDIsetFontName(qfnt* fnt, const qchar* name, qlong len) {
  if (!fnt) return;
  len = std::min<qlong>(std::max<qlong>(len, 0), kFontNameMax);
  if (len > 0) std::memcpy(fnt->fntName, name, static_cast<size_t>(len) * sizeof(qchar));
  fnt->fntNameLen = static_cast<qshort>(len);
}

HFONT GDIcreateFont(const qfnt* fnt, qlong) {
  if (!fnt) return nullptr;
  FaceFile file;
  if (!findFace(utf8Name(fnt), fnt->fntStyle, file)) return nullptr;
  HFONT f = new (std::nothrow) HFONTstruct;
  if (!f) return nullptr;
  if (FT_Init_FreeType(&f->library) != 0) {
    delete f;
    return nullptr;
  }
  const FT_UInt size = static_cast<FT_UInt>(std::max<qshort>(fnt->fntSize, 1));
  const FT_UInt width = static_cast<FT_UInt>(std::max<qshort>(fnt->fntWidth, 0));
  if (FT_New_Face(f->library, file.path.c_str(), file.index, &f->face) != 0 ||
      FT_Set_Pixel_Sizes(f->face, width, size) != 0) {
    GDIdeleteObject(f);
    return nullptr;
  }
  FT_Select_Charmap(f->face, FT_ENCODING_UNICODE);
  const FT_Size_Metrics& m = f->face->size->metrics;
  f->ascent = ceil26(m.ascender);
  f->descent = ceil26(-m.descender);
  f->gap = std::max<qlong>(ceil26(m.height) - f->ascent - f->descent, 0);
  f->spacing = fnt->fntSpacing;
  f->underline = (fnt->fntStyle & fntUnderline) != 0;
  if (f->underline && f->face->units_per_EM > 0) {
    const qint64 em = f->face->units_per_EM;
    f->underlinePos =
        static_cast<qlong>(-static_cast<qint64>(f->face->underline_position) * size / em);
    f->underlineThickness =
        std::max<qlong>(static_cast<qlong>(f->face->underline_thickness * size / em), 1);
  }
  return f;
}

HFONT GDIselectObject(HDC hdc, HFONT font) {
  if (!hdc) return nullptr;
  HFONT previous = hdc->font;
  hdc->font = font;
  return previous;
}

void GDIdeleteObject(HFONT font) {
  if (!font) return;
  if (font->face) FT_Done_Face(font->face);
  if (font->library) FT_Done_FreeType(font->library);
  delete font;
}

qlong GDIfontHeight(HDC hdc, qlong withGap) {
  if (!hdc || !hdc->font) return 0;
  return hdc->font->ascent + hdc->font->descent + (withGap ? hdc->font->gap : 0);
}

qlong GDIfontPart(HDC hdc, qlong part) {
  if (!hdc || !hdc->font) return 0;
  switch (part) {
    case 0:
      return hdc->font->ascent;
    case 1:
      return hdc->font->descent;
    case 2:
      return hdc->font->gap;
    default:
      return 0;
  }
}

qlong GDItextWidth(HDC hdc, const qchar* text, qlong len) {
  if (!hdc || !hdc->font || !text) return 0;
  qint64 width = 0;
  for (qlong i = 0; i < len; ++i) width += advanceOf(hdc->font, text[i]) + hdc->font->spacing;
  return static_cast<qlong>(std::min<qint64>(std::max<qint64>(width, 0), 0x7FFFFFFF));
}

void GDIdrawText(HDC hdc, qlong x, qlong y, const qchar* text, qlong len, qlong just) {
  if (!hdc || !hdc->font || !hdc->selected || !text || len <= 0) return;
  HFONT f = hdc->font;
  HBITMAP bm = hdc->selected;
  if (!ownPixels(bm)) return;
  const Rgb colour = rgbOf(hdc->textColour);
  qint64 pen = x;
  if (just == 1) pen -= GDItextWidth(hdc, text, len);
  if (just == 2) pen -= GDItextWidth(hdc, text, len) / 2;
  const qint64 start = pen;
  const qint64 baseline = static_cast<qint64>(y) + f->ascent;
  for (qlong i = 0; i < len; ++i) {
    if (FT_Load_Char(f->face, text[i], FT_LOAD_RENDER) != 0) continue;
    const FT_GlyphSlot g = f->face->glyph;
    const FT_Bitmap& b = g->bitmap;
    if (b.pixel_mode == FT_PIXEL_MODE_GRAY || b.pixel_mode == FT_PIXEL_MODE_MONO) {
      const qint64 left = pen + g->bitmap_left, top = baseline - g->bitmap_top;
      for (unsigned row = 0; row < b.rows; ++row) {
        const qint64 py = top + row;
        if (py < 0 || py >= bm->height) continue;
        const unsigned char* src = b.buffer + static_cast<ptrdiff_t>(row) * b.pitch;
        qbyte* dst = bm->pixels->mData + static_cast<size_t>(py) * bm->rowBytes;
        for (unsigned col = 0; col < b.width; ++col) {
          const qint64 px = left + col;
          if (px < 0 || px >= bm->width) continue;
          const unsigned a = b.pixel_mode == FT_PIXEL_MODE_GRAY
                                 ? src[col]
                                 : ((src[col >> 3] >> (7 - (col & 7))) & 1) * 255u;
          blend(dst + static_cast<size_t>(px) * 4, colour, a);
        }
      }
    }
    pen += ((g->advance.x + 32) >> 6) + f->spacing;
  }
  if (f->underline) {
    const qint64 top = baseline + f->underlinePos;
    fillClipped(bm, top, start, top + f->underlineThickness - 1, pen - 1, colour);
  }
}

// ---------------------------------------------------------------------------------------------
// Pixel maps

HPIXMAP GDIcreateHPIXMAP(qlong width, qlong height, qshort bitsPerPixel, qlong) {
  switch (bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      return newRaster(width, height, bitsPerPixel);
    default:
      return nullptr;
  }
}

HPIXMAP GDIbitmapToPIXMAP(HBITMAP bitmap) {
  if (!bitmap) return nullptr;
  // The map shares the bitmap's pixels until either changes them: a bitmap deleted right
  // after (the usual way) is never copied.
  rawBitmapContainer* p = new (std::nothrow) rawBitmapContainer;
  if (!p) return nullptr;
  if (!bitmap->sharers) {
    bitmap->sharers = new (std::nothrow) qlong(1);
    if (!bitmap->sharers) {
      delete p;
      return nullptr;
    }
  }
  *p = *bitmap;  // 32 bits, no colour table, no locks
  p->locks = 0;
  ++*bitmap->sharers;
  return p;
}

void GDIdeleteHPIXMAP(HPIXMAP pixmap) { freeRaster(pixmap); }

void GDIgetHPIXMAPinfo(HPIXMAP pixmap, HPIXMAPinfo* info) {
  if (!info) return;
  *info = HPIXMAPinfo{0, 0, 0, 0};
  if (!pixmap) return;
  *info = HPIXMAPinfo{pixmap->width, pixmap->height, pixmap->colors, pixmap->bits};
}

qbyte* GDIlockHPIXMAP(HPIXMAP pixmap) {
  if (!pixmap || !ownPixels(pixmap)) return nullptr;
  ++pixmap->locks;
  return pixmap->pixels->mData;
}

void GDIunlockHPIXMAP(HPIXMAP pixmap) {
  if (pixmap && pixmap->locks > 0) --pixmap->locks;
}

void GDIgetColorEntries(HPIXMAP pixmap, qlong first, qlong count, qColorEntry* entries) {
  if (!entries) return;
  for (qlong i = 0; i < count; ++i) {
    const qint64 k = static_cast<qint64>(first) + i;
    entries[i] =
        pixmap && k >= 0 && k < pixmap->colors ? pixmap->table[k] : qColorEntry{0, 0, 0, 0};
  }
}

void GDIsetColorEntries(HPIXMAP pixmap, qlong first, qlong count, const qColorEntry* entries) {
  if (!pixmap || !entries) return;
  for (qlong i = 0; i < count; ++i) {
    const qint64 k = static_cast<qint64>(first) + i;
    if (k >= 0 && k < pixmap->colors) pixmap->table[k] = entries[i];
  }
}
