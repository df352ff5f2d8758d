// $barcode39 through the entry procedure: image geometry, JPEG data, read-back with zbarimg,
// and every refusal.
#include <string>
#include <vector>

#include "hostgdi.h"
#include "jpegcheck.h"
#include "testhost.h"

using namespace zqtest;
using code39test::decodeJpeg;
using code39test::zbarRead;

namespace {

class Barcode39 : public ComponentTest {
 protected:
  hostrt::CallOutcome run(std::vector<EXTfldval>& params) { return call("$barcode39", params); }

  // Runs with params and expects success; returns the JPEG bytes of parameter 1.
  std::string image(std::vector<EXTfldval> params) {
    auto r = run(params);
    EXPECT_TRUE(r.errors.empty()) << (r.errors.empty() ? "" : r.errors[0].detail);
    EXPECT_EQ(r.ret.getLong(), 1);
    EXPECT_EQ(r.changed, std::vector<qlong>{1});
    EXPECT_EQ(params[0].getType(), fftBinary);
    return bytes(params[0]);
  }
};

struct TextMetrics {
  qlong height, descent, width;
};

// What the drawing layer measures for text in Arial at the given pixel size.
TextMetrics measure(const std::u32string& text, qshort pixels) {
  HDC dc;
  qlong state;
  GDIcreateScreenDC(&dc, &state);
  qfnt fnt;
  GDIsetFontName(&fnt, U"Arial", 5);
  fnt.fntSize = pixels;
  HFONT font = GDIcreateFont(&fnt, 0);
  GDIselectObject(dc, font);
  TextMetrics m{GDIfontHeight(dc, 0), GDIfontPart(dc, 1),
                GDItextWidth(dc, text.data(), static_cast<qlong>(text.size()))};
  GDIselectObject(dc, nullptr);
  GDIdeleteObject(font);
  GDIdeleteScreenDC(dc, state);
  return m;
}

// First and last column darker than mid-grey in row y.
std::pair<int, int> darkSpan(const code39test::Decoded& d, unsigned y) {
  int first = -1, last = -1;
  for (unsigned x = 0; x < d.width; ++x)
    if (d.grey(x, y) < 128) {
      if (first < 0) first = static_cast<int>(x);
      last = static_cast<int>(x);
    }
  return {first, last};
}

TEST_F(Barcode39, DefaultsGiveTheBarsAndATextLineInTenPointArial) {
  // 5 characters: B = 5 x 99 + 2 x 100 + 4 x 4 = 711; the text at 10 x 1000 / 72 = 138 pixels.
  const TextMetrics m = measure(U"*ABC*", 138);
  const qlong width = std::max<qlong>(711, m.width);
  const auto d = decodeJpeg(image({binary(""), chr("*ABC*")}));
  ASSERT_TRUE(d.ok);
  EXPECT_EQ(d.width, static_cast<unsigned>(width));
  EXPECT_EQ(d.height, static_cast<unsigned>(m.height + 375 + m.descent));
  EXPECT_EQ(d.densityUnit, 1);
  EXPECT_EQ(d.xDensity, 1000u);
  // Bars centred, after the 100-pixel quiet zone, over rows 0 to 374.
  const auto bars = darkSpan(d, 200);
  EXPECT_NEAR(bars.first, (width - 711) / 2 + 100, 1);
  EXPECT_NEAR(bars.second, (width - 711) / 2 + 100 + 511 - 1, 1);
  EXPECT_EQ(darkSpan(d, 370).first, bars.first);
  // Between the bars and the text line (rows 375 to 375 + descent - 1) all is light.
  for (qlong y = 377; y < 375 + m.descent - 2; ++y) EXPECT_EQ(darkSpan(d, y).first, -1) << y;
  // The text line is there, centred on the image.
  int textFirst = 1 << 30, textLast = -1;
  for (unsigned y = 375 + m.descent; y < d.height; ++y) {
    const auto s = darkSpan(d, y);
    if (s.first >= 0)
      textFirst = std::min(textFirst, s.first), textLast = std::max(textLast, s.second);
  }
  ASSERT_GE(textLast, 0);
  EXPECT_GE(textFirst, (width - m.width) / 2 - 1);
  EXPECT_LE(textLast, (width - m.width) / 2 + m.width);
}

TEST_F(Barcode39, WithoutTextTheImageIsJustTheBars) {
  // Resolution 300: quiet zone = max(10 x 8, 30) = 80; B = 3 x 99 + 160 + 8 = 465. A wrong
  // FontName and FontSize are not read when PrintText is false.
  const auto d = decodeJpeg(image({binary(""), chr("*A*"), integer(300), integer(8), integer(17),
                                   integer(4), integer(100), integer(0), zqtest::boolean(false),
                                   integer(5), integer(99), integer(100)}));
  EXPECT_EQ(d.width, 465u);
  EXPECT_EQ(d.height, 100u);
  EXPECT_EQ(d.xDensity, 300u);
  const auto bars = darkSpan(d, 50);
  EXPECT_EQ(bars.first, 80);
  EXPECT_EQ(bars.second, 465 - 80 - 1);
}

TEST_F(Barcode39, ATextWiderThanTheBarsCentresTheBars) {
  // Narrow 1, wide 2: B = 5 x 12 + 2 x 100 + 4 x 4 = 276, far below the text width.
  const TextMetrics m = measure(U"*WWW*", 138);
  ASSERT_GT(m.width, 276);
  const auto d = decodeJpeg(image({binary(""), chr("*WWW*"), integer(1000), integer(1), integer(2),
                                   integer(4), integer(375), integer(0), zqtest::boolean(true),
                                   chr("Arial"), integer(10), integer(100)}));
  EXPECT_EQ(d.width, static_cast<unsigned>(m.width));
  EXPECT_NEAR(darkSpan(d, 100).first, (m.width - 276) / 2 + 100, 1);
}

TEST_F(Barcode39, AnglesTurnTheImage) {
  const std::vector<EXTfldval> base{binary(""), chr("*X1*"), integer(300), integer(4),
                                    integer(9), integer(4),  integer(120)};
  const auto upright = decodeJpeg(image(base));
  for (qlong angle : {0, 90, 180, 270}) {
    std::vector<EXTfldval> params = base;
    params.push_back(integer(angle));
    const auto d = decodeJpeg(image(params));
    const bool quarter = angle % 180 != 0;
    EXPECT_EQ(d.width, quarter ? upright.height : upright.width) << angle;
    EXPECT_EQ(d.height, quarter ? upright.width : upright.height) << angle;
  }
}

TEST_F(Barcode39, ZbarReadsTheTextBackUprightAndTurned) {
  const struct {
    const char* text;
    qlong angle;
    const char* expected;
  } cases[] = {
      {"*CODE39 TEST-1.5*", 0, "CODE39 TEST-1.5"},
      {"*CODE39 TEST-1.5*", 90, "CODE39 TEST-1.5"},
      {"*code39*", 0, "CODE39"},
      {"*0123456789*", 270, "0123456789"},
      {"*ABCDEFGHIJKLMNOPQRSTUVWXYZ*", 0, "ABCDEFGHIJKLMNOPQRSTUVWXYZ"},
      {"*-. $/+%*", 180, "-. $/+%"},
  };
  for (const auto& c : cases) {
    const std::string jpeg = image({binary(""), chr(c.text), integer(1000), integer(8), integer(17),
                                    integer(4), integer(375), integer(c.angle)});
    EXPECT_EQ(zbarRead(jpeg), c.expected) << c.text << " at " << c.angle;
  }
}

TEST_F(Barcode39, EveryRefusalHasItsCodeAndDetail) {
  const struct {
    std::vector<EXTfldval> params;
    qlong code;
    std::string detail;
  } cases[] = {
      {{binary("")}, -102, "Parameter count must be 2 or more"},
      {{binary(""), chr("*A*"), chr("abc")},
       -102,
       "Parameter 'Resolution' must be of type integer"},
      {{binary(""), chr("*A*"), integer(71)},
       -102,
       "Invalid value specified for image DPI (must be in the range 72 to 1000)"},
      {{binary(""), chr("*A*"), integer(1001)},
       -102,
       "Invalid value specified for image DPI (must be in the range 72 to 1000)"},
      {{binary(""), chr("*A*"), integer(300), chr("x")},
       -102,
       "Parameter 'StemWidth' must be of type integer"},
      {{binary(""), chr("*A*"), integer(300), integer(8), binary("1")},
       -102,
       "Parameter 'StemWideWidth' must be of type integer"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), chr("4x")},
       -102,
       "Parameter 'InterCharGap' must be of type integer"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), chr("z")},
       -102,
       "Parameter 'BarHeight' must be of type integer"},
      {{binary(""), integer(5)}, -102, "Parameter 'String' must be of type character"},
      {{binary(""), chr("*AB#*")},
       -102,
       "Parameter 'String' contains the character '#' (U+0023) at position 4, which Code 39 "
       "cannot encode"},
      {{binary(""), chr("*\xC3\xA9*")},
       -102,
       "Parameter 'String' contains the character '\xC3\xA9' (U+00E9) at position 2, which Code "
       "39 cannot encode"},
      // A control character is named by its code alone: a NUL would cut the detail short.
      {{binary(""), chr(std::string("*A\0*", 4))},
       -102,
       "Parameter 'String' contains the character U+0000 at position 3, which Code 39 cannot "
       "encode"},
      {{binary(""), chr("*\t*")},
       -102,
       "Parameter 'String' contains the character U+0009 at position 2, which Code 39 cannot "
       "encode"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50),
        integer(0), integer(2)},
       -102,
       "Parameter 'PrintText' must be of type boolean"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50),
        integer(0), zqtest::boolean(true), integer(3)},
       -102,
       "Parameter 'FontName' must be of type character"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50),
        integer(0), zqtest::boolean(true), chr("Arial"), chr("big")},
       -102,
       "Parameter 'FontSize' must be of type integer"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50),
        integer(0), zqtest::boolean(true), chr("Arial"), integer(5)},
       -102,
       "Font size must be in the range 6 to 24"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50),
        integer(0), zqtest::boolean(true), chr("Arial"), integer(25)},
       -102,
       "Font size must be in the range 6 to 24"},
      // Elements so wide that the image cannot be made: 255 characters of 9 x 10^6 pixels.
      {{binary(""), chr(std::string(255, 'A')), integer(300), integer(1000000), integer(1000000)},
       -103,
       "Unknown error during barcode painting"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(0),
        integer(0), zqtest::boolean(false)},
       -103,
       "Unknown error during barcode painting"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50),
        chr("ninety")},
       -102,
       "Parameter 'ImageAngle' must be of type integer"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50),
        integer(45)},
       -102,
       "Invalid value specified for image angle (must be 0,90,180 or 270)"},
      {{binary(""), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50),
        integer(90), zqtest::boolean(false), chr("Arial"), integer(10), chr("best")},
       -102,
       "Parameter 'ImageQuality' must be of type integer"},
      // 70 000 pixels wide: more than a JPEG image can hold.
      {{binary(""), chr("*A*"), integer(300), integer(1), integer(23000), integer(4), integer(1),
        integer(0), zqtest::boolean(false)},
       -2,
       "Unknown error during barcode jpeg conversion"},
      {{chr("keep"), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50)},
       -102,
       "Parameter 'ImageData' must be of type binary"},
      // Several faults: the first in the order of reading is reported.
      {{binary(""), integer(5), integer(50)},
       -102,
       "Invalid value specified for image DPI (must be in the range 72 to 1000)"},
      {{binary(""), integer(5), integer(300), integer(8), integer(17), integer(4), integer(50),
        integer(45), integer(7)},
       -102,
       "Parameter 'String' must be of type character"},
      {{chr("keep"), chr("*A*"), integer(300), integer(8), integer(17), integer(4), integer(50),
        integer(45)},
       -102,
       "Invalid value specified for image angle (must be 0,90,180 or 270)"},
  };
  for (const auto& c : cases) {
    std::vector<EXTfldval> params = c.params;
    auto r = run(params);
    ASSERT_EQ(r.errors.size(), 1u) << c.detail;
    EXPECT_EQ(r.errors[0].code, c.code) << c.detail;
    EXPECT_EQ(r.errors[0].detail, c.detail);
    EXPECT_EQ(r.errors[0].method, "$barcode39");
    EXPECT_EQ(r.ret.getLong(), 0);
    EXPECT_TRUE(r.changed.empty()) << c.detail;
    EXPECT_EQ(params[0].getType(), c.params[0].getType());
    EXPECT_EQ(params[0].compare(c.params[0]), 0) << "parameter 1 unchanged: " << c.detail;
  }
}

TEST_F(Barcode39, LimitsOfTheRangesAreAccepted) {
  const std::vector<EXTfldval> cases[] = {
      {binary(""), chr("*A*"), integer(72)},
      {binary(""), chr("*A*"), integer(1000)},
      {binary(""), chr("*A*"), integer(72), integer(8), integer(17), integer(4), integer(50),
       integer(0), zqtest::boolean(true), chr("Arial"), integer(6)},
      {binary(""), chr("*A*"), integer(72), integer(8), integer(17), integer(4), integer(50),
       integer(0), zqtest::boolean(true), chr("Arial"), integer(24)},
      {binary(""), chr("*A*"), chr("300"), chr("8"), chr("17"), chr("4"), chr("50"), chr("270")},
      {binary(""), chr("")},
  };
  for (const auto& c : cases) EXPECT_TRUE(decodeJpeg(image(c)).ok);
}

TEST_F(Barcode39, SizeLimitsAreCheckedBeforeAnythingIsPainted) {
  // Allocations above 8 MB fail: a call that started to paint a larger image would end with
  // -103 on its bitmap instead of the answer below. Images at a limit stay small enough.
  const auto params = [](const char* text, qlong dpi, qlong narrow, qlong wide, qlong gap,
                         qlong barHeight, EXTfldval angle, EXTfldval first = binary("")) {
    std::vector<EXTfldval> p{
        first,        chr(text),          integer(dpi), integer(narrow),       integer(wide),
        integer(gap), integer(barHeight), angle,        zqtest::boolean(false)};
    return p;
  };
  const std::string jpeg = "Unknown error during barcode jpeg conversion";
  const std::string paint = "Unknown error during barcode painting";
  const struct {
    const char* what;
    std::vector<EXTfldval> params;
    qlong code;
    std::string detail;
    qlong width, height;  // of a made image
  } cases[] = {
      // StemWidth 262146 at 72 dpi: 6815847 x 78 pixels, a 2.1 GB bitmap that fits the host's
      // bitmap limit but not a JPEG.
      {"huge, turned", params("*", 72, 262146, 17, 4, 78, integer(90)), -2, jpeg, 0, 0},
      // "**" with narrow and wide 1: 18 + 2 x 10 quiet + the gap.
      {"width at the limit", params("**", 72, 1, 1, 65462, 1, integer(0)), 0, "", 65500, 1},
      {"width one past", params("**", 72, 1, 1, 65463, 1, integer(0)), -2, jpeg, 0, 0},
      {"width one past, turned", params("**", 72, 1, 1, 65463, 1, integer(270)), -2, jpeg, 0, 0},
      {"height at the limit, turned", params("*", 72, 1, 1, 4, 65500, integer(90)), 0, "", 65500,
       29},
      {"height one past", params("*", 72, 1, 1, 4, 65501, integer(0)), -2, jpeg, 0, 0},
      // The answers of the parameters read before the conversion come first, as before.
      {"past, with a bad angle", params("**", 72, 1, 1, 65463, 1, integer(45)), -102,
       "Invalid value specified for image angle (must be 0,90,180 or 270)", 0, 0},
      {"past, with an angle of the wrong type", params("**", 72, 1, 1, 65463, 1, chr("x")), -102,
       "Parameter 'ImageAngle' must be of type integer", 0, 0},
      // A bitmap past the host's limit is refused as painting, before the JPEG limit.
      {"past both limits", params("*", 72, 262146, 17, 4, 79, integer(45)), -103, paint, 0, 0},
      // Parameter 1 is read after the conversion.
      {"past, parameter 1 not binary", params("**", 72, 1, 1, 65463, 1, integer(0), chr("keep")),
       -2, jpeg, 0, 0},
  };
  for (const auto& c : cases) {
    std::vector<EXTfldval> p = c.params;
    hostrt::setAllocFailure(0, 8 << 20);
    auto r = run(p);
    hostrt::resetFailures();
    if (c.code == 0) {
      EXPECT_TRUE(r.errors.empty())
          << c.what << ": " << (r.errors.empty() ? "" : r.errors[0].detail);
      const auto d = decodeJpeg(bytes(p[0]));
      ASSERT_TRUE(d.ok) << c.what;
      EXPECT_EQ(d.width, static_cast<unsigned>(c.width)) << c.what;
      EXPECT_EQ(d.height, static_cast<unsigned>(c.height)) << c.what;
      continue;
    }
    ASSERT_EQ(r.errors.size(), 1u) << c.what;
    EXPECT_EQ(r.errors[0].code, c.code) << c.what;
    EXPECT_EQ(r.errors[0].detail, c.detail) << c.what;
    EXPECT_TRUE(r.changed.empty()) << c.what;
    EXPECT_EQ(p[0].compare(c.params[0]), 0) << c.what;
  }

  // Without the allocation switch the answer is the same, and as immediate.
  std::vector<EXTfldval> p = params("*", 72, 262146, 17, 4, 78, integer(90));
  auto r = run(p);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -2);
  EXPECT_EQ(r.errors[0].detail, jpeg);
}

TEST_F(Barcode39, MemoryFailuresAreReportedAndNothingLeaks) {
  // Bitmaps above 1 MB are refused: the default image (about 4 MB) cannot be painted.
  std::vector<EXTfldval> params{binary(""), chr("*CODE39 TEST*")};
  hostrt::setAllocFailure(0, 1 << 20);
  auto r = run(params);
  ASSERT_EQ(r.errors.size(), 1u);
  EXPECT_EQ(r.errors[0].code, -103);
  EXPECT_EQ(r.errors[0].detail, "Unknown error during barcode painting");
  // Each allocation in turn refused: the context, the bitmap, the turned pixel map (the pixel
  // map made from the bitmap shares its pixels), then each portion of the JPEG data, until none
  // is left to refuse. Every path reports its error and leaves parameter 1 as it was.
  hostrt::resetFailures();
  qlong nth = 1;
  for (; nth <= 20; ++nth) {
    std::vector<EXTfldval> p{binary(""),  chr("*A*"), integer(300), integer(8),
                             integer(17), integer(4), integer(50),  integer(90)};
    hostrt::setAllocFailure(nth, 0);
    auto out = run(p);
    hostrt::resetFailures();
    if (out.errors.empty()) {
      EXPECT_TRUE(decodeJpeg(bytes(p[0])).ok);
      break;
    }
    const char* detail = nth <= 2   ? "Unknown error during barcode painting"
                         : nth == 3 ? "Not enough memory to turn the barcode image"
                                    : "Unknown error during barcode jpeg conversion";
    EXPECT_EQ(out.errors[0].code, nth <= 3 ? -103 : -2) << nth;
    EXPECT_EQ(out.errors[0].detail, detail) << nth;
    EXPECT_EQ(bytes(p[0]), "");
  }
  EXPECT_GE(nth, 5) << "at least one JPEG portion";
  EXPECT_LE(nth, 20);
}

}  // namespace
