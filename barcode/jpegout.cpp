// JPEG output into a host handle: a destination manager over a handle and an error manager
// that returns control to PixmapToJPEG instead of ending the process.
#include "jpegout.h"

#include <jerror.h>

#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

namespace {

const size_t kPortion = 4096;

// The library's destination record, extended by the caller's handle variable and the buffer.
struct HandleDestination {
  jpeg_destination_mgr pub;
  qHandleInfo** handle;
  JOCTET* buffer;
};

// The library's error record with a recovery point.
struct RecoveringError {
  jpeg_error_mgr pub;
  jmp_buf recovery;
};

void recoverFromError(j_common_ptr cinfo) {
  RecoveringError* err = reinterpret_cast<RecoveringError*>(cinfo->err);
  std::longjmp(err->recovery, 1);
}

// Warnings and traces of the library are not shown inside the host.
void ignoreMessage(j_common_ptr) {}

}  // namespace

qlong JHWRITE(qHandleInfo*& handle, const qbyte* bytes, qlong count) {
  if (count <= 0) return 0;
  if (!handle || handle->mAllocated == 0) {
    qHandleInfo* fresh = HANglobalAlloc(count, qfalse);
    if (!fresh) return 0;
    HANglobalFree(handle);  // a handle without room holds nothing
    handle = fresh;
    HANsetUsed(handle, 0);
  } else {
    const qint64 size = static_cast<qint64>(handle->mAllocated) + count;
    if (size > 0x7FFFFFFF || !HANglobalReAlloc(handle, static_cast<qlong>(size))) return 0;
  }
  std::memcpy(handle->mData + handle->mUsed, bytes, static_cast<size_t>(count));
  HANsetUsed(handle, handle->mUsed + count);
  return count;
}

void init_destination(j_compress_ptr cinfo) {
  HandleDestination* dest = reinterpret_cast<HandleDestination*>(cinfo->dest);
  dest->buffer = static_cast<JOCTET*>(
      (*cinfo->mem->alloc_small)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, kPortion));
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kPortion;
}

boolean empty_output_buffer(j_compress_ptr cinfo) {
  HandleDestination* dest = reinterpret_cast<HandleDestination*>(cinfo->dest);
  if (JHWRITE(*dest->handle, dest->buffer, kPortion) < static_cast<qlong>(kPortion))
    ERREXIT(cinfo, JERR_FILE_WRITE);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = kPortion;
  return TRUE;
}

void term_destination(j_compress_ptr cinfo) {
  HandleDestination* dest = reinterpret_cast<HandleDestination*>(cinfo->dest);
  const qlong waiting = static_cast<qlong>(kPortion - dest->pub.free_in_buffer);
  if (waiting > 0 && JHWRITE(*dest->handle, dest->buffer, waiting) < waiting)
    ERREXIT(cinfo, JERR_FILE_WRITE);
}

void jpeg_stdio_dest(j_compress_ptr cinfo, qHandleInfo** handle) {
  if (!cinfo->dest) {
    cinfo->dest = static_cast<jpeg_destination_mgr*>((*cinfo->mem->alloc_small)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_PERMANENT, sizeof(HandleDestination)));
  } else if (cinfo->dest->init_destination != init_destination) {
    // Another kind of destination is installed; its record may be too small for ours.
    ERREXIT(cinfo, JERR_BUFFER_SIZE);
  }
  HandleDestination* dest = reinterpret_cast<HandleDestination*>(cinfo->dest);
  dest->pub.init_destination = init_destination;
  dest->pub.empty_output_buffer = empty_output_buffer;
  dest->pub.term_destination = term_destination;
  dest->handle = handle;
  dest->buffer = nullptr;
}

bool JPEGcanHold(qint64 width, qint64 height) {
  return width >= 1 && height >= 1 && width <= JPEG_MAX_DIMENSION && height <= JPEG_MAX_DIMENSION;
}

qbool PixmapToJPEG(HPIXMAP pixmap, qHandleInfo*& handle, qshort quality, qshort dpi) {
  HPIXMAPinfo info;
  GDIgetHPIXMAPinfo(pixmap, &info);
  const qlong bits = info.mBitsPerPixel;
  if (!pixmap || (bits != 8 && bits != 24 && bits != 32)) return qfalse;

  // Everything the conversion needs is made before the recovery point, so that nothing
  // changes between setjmp and a longjmp back to it except the library's own records.
  const size_t width = static_cast<size_t>(info.mWidth), height = static_cast<size_t>(info.mHeight);
  const size_t rowBytes = width * static_cast<size_t>(bits) / 8;
  std::vector<qColorEntry> table;
  std::vector<JSAMPLE> row;
  try {
    table.resize(static_cast<size_t>(info.mColors) + 1);
    row.resize(width * 3 + 1);
  } catch (const std::bad_alloc&) {
    return qfalse;
  }
  const qbyte* pixels = GDIlockHPIXMAP(pixmap);
  if (!pixels) return qfalse;
  GDIgetColorEntries(pixmap, 0, info.mColors + 1, table.data());

  jpeg_compress_struct cinfo;
  RecoveringError err;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = recoverFromError;
  err.pub.output_message = ignoreMessage;
  if (setjmp(err.recovery)) {
    jpeg_destroy_compress(&cinfo);
    GDIunlockHPIXMAP(pixmap);
    return qfalse;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, &handle);
  cinfo.image_width = static_cast<JDIMENSION>(width);
  cinfo.image_height = static_cast<JDIMENSION>(height);
#ifdef JCS_EXTENSIONS
  // libjpeg-turbo reads the 32-bit rows (a spare byte, then red, green, blue) as they are,
  // with the same colour conversion as for packed RGB: the same bytes come out.
  const bool direct = bits == 32;
#else
  const bool direct = false;
#endif
  cinfo.input_components = direct ? 4 : 3;
  cinfo.in_color_space = JCS_RGB;
#ifdef JCS_EXTENSIONS
  if (direct) cinfo.in_color_space = JCS_EXT_XRGB;
#endif
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  if (dpi != 0) {
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(dpi);
    cinfo.Y_density = static_cast<UINT16>(dpi);
  }
  jpeg_start_compress(&cinfo, TRUE);
  if (direct) {
    // Many rows a call, straight from the pixmap.
    const size_t kRows = 64;
    JSAMPROW rows[kRows];
    for (size_t y = 0; y < height;) {
      size_t n = 0;
      for (; n < kRows && y + n < height; ++n)
        rows[n] = const_cast<JSAMPROW>(pixels + (y + n) * rowBytes);
      const JDIMENSION written = jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(n));
      if (written == 0) break;  // finishing then reports the missing rows
      y += written;
    }
  }
  JSAMPLE* out = row.data();
  JSAMPROW rows[1] = {out};
  for (size_t y = 0; !direct && y < height; ++y) {
    const qbyte* src = pixels + y * rowBytes;
    if (bits == 8) {
      for (size_t x = 0; x < width; ++x) {
        const qColorEntry& c = table[src[x] < table.size() ? src[x] : 0];
        out[3 * x] = c.mRed, out[3 * x + 1] = c.mGreen, out[3 * x + 2] = c.mBlue;
      }
    } else if (bits == 24) {
      std::memcpy(out, src, width * 3);
    } else {
      for (size_t x = 0; x < width; ++x) std::memcpy(out + 3 * x, src + 4 * x + 1, 3);
    }
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  GDIunlockHPIXMAP(pixmap);
  return qtrue;
}
