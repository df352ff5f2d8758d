// Test helpers: decoding JPEG bytes with libjpeg and reading pixels of 32-bit pixel maps.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "hostgdi.h"
#include "hostruntime.h"

namespace code39test {

struct Decoded {
  bool ok = false;
  unsigned width = 0, height = 0;
  int densityUnit = -1;
  unsigned xDensity = 0, yDensity = 0;
  std::vector<unsigned char> rgb;  // width x height x 3
  // Grey level of pixel (x, y): the mean of R, G and B.
  int grey(unsigned x, unsigned y) const {
    const unsigned char* p = &rgb[(static_cast<size_t>(y) * width + x) * 3];
    return (p[0] + p[1] + p[2]) / 3;
  }
};

struct DecodeError {
  jpeg_error_mgr pub;
  jmp_buf back;
};

inline void decodeFailed(j_common_ptr c) {
  std::longjmp(reinterpret_cast<DecodeError*>(c->err)->back, 1);
}

inline Decoded decodeJpeg(const std::string& bytes) {
  Decoded d;
  jpeg_decompress_struct cinfo;
  DecodeError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = decodeFailed;
  if (setjmp(err.back)) {
    jpeg_destroy_decompress(&cinfo);
    d.ok = false;
    return d;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(bytes.data()),
               static_cast<unsigned long>(bytes.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  d.width = cinfo.output_width;
  d.height = cinfo.output_height;
  d.densityUnit = cinfo.density_unit;
  d.xDensity = cinfo.X_density;
  d.yDensity = cinfo.Y_density;
  d.rgb.resize(static_cast<size_t>(d.width) * d.height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = &d.rgb[static_cast<size_t>(cinfo.output_scanline) * d.width * 3];
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  d.ok = true;
  return d;
}

// Pixel (x, y) of a locked 32-bit map as 0xRRGGBB.
inline unsigned rgbAt(HPIXMAP pm, qlong x, qlong y) {
  HPIXMAPinfo info;
  GDIgetHPIXMAPinfo(pm, &info);
  const qbyte* p = GDIlockHPIXMAP(pm) + (static_cast<size_t>(y) * info.mWidth + x) * 4;
  GDIunlockHPIXMAP(pm);
  return (unsigned(p[1]) << 16) | (unsigned(p[2]) << 8) | p[3];
}

// Reads a barcode from JPEG bytes with zbarimg; the decoded text, or "" when none was found.
inline std::string zbarRead(const std::string& jpeg) {
  char path[] = "/tmp/code39_testXXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return "mkstemp failed";
  FILE* f = fdopen(fd, "wb");
  std::fwrite(jpeg.data(), 1, jpeg.size(), f);
  std::fclose(f);
  const std::string command = std::string("zbarimg -q --raw '") + path + "' 2>/dev/null";
  FILE* p = popen(command.c_str(), "r");
  std::string out;
  char buf[512];
  size_t n;
  while (p && (n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  if (p) pclose(p);
  std::remove(path);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
  return out;
}

}  // namespace code39test
