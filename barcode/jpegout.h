// Baseline JPEG/JFIF compression of a pixel map into a host memory handle (libjpeg, release-6
// interface).
#pragma once

#include <cstddef>
#include <cstdio>

// jpeglib.h needs size_t and FILE declared before it.
#include <jpeglib.h>

#include "hostgdi.h"

// Compresses pixmap (8 bits through its colour table, 24 or 32 bits) into handle, which
// normally holds no handle on entry and ends holding exactly the JPEG stream. quality is the
// library's quality setting (1 to 100), dpi the density written in the JFIF header (0 leaves
// the library's default). Returns false for other depths and for any error the library
// raises; no library error ends the process. The pixel map is only read; the handle belongs
// to the caller afterwards, also on failure when one was made.
qbool PixmapToJPEG(HPIXMAP pixmap, qHandleInfo*& handle, qshort quality, qshort dpi);

// Whether the library compresses an image of width x height: both at least 1 and at most
// JPEG_MAX_DIMENSION (65500) pixels. PixmapToJPEG fails for any other size.
bool JPEGcanHold(qint64 width, qint64 height);

// Installs on a compressor a destination that appends the compressed bytes to *handle in
// portions of 4096 bytes (and one shorter last portion).
void jpeg_stdio_dest(j_compress_ptr cinfo, qHandleInfo** handle);

// The destination's callbacks, called by the library.
void init_destination(j_compress_ptr cinfo);
boolean empty_output_buffer(j_compress_ptr cinfo);
void term_destination(j_compress_ptr cinfo);

// Appends count bytes to handle, making the handle when it holds none (or none with room).
// The handle's allocated size and used length stay equal. Returns count, or 0 when memory
// cannot be had (the handle then stays as it was).
qlong JHWRITE(qHandleInfo*& handle, const qbyte* bytes, qlong count);
