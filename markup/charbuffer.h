// A growing buffer of UTF-32 characters held in a host handle, so that a finished result can be
// handed to a host value without another copy. It grows geometrically; a failed allocation is
// remembered (failed()) and later writes are dropped, so a caller checks once at the end.
#pragma once

#include <cstring>

#include "hosttypes.h"

class CharBuffer {
 public:
  CharBuffer() = default;
  CharBuffer(const CharBuffer&) = delete;
  CharBuffer& operator=(const CharBuffer&) = delete;
  ~CharBuffer() {
    if (mHandle) HANglobalFree(mHandle);
  }

  // Makes room for count more characters; false (and failed()) when memory cannot be had.
  bool reserve(qlong count) {
    if (mFailed) return false;
    if (count <= mCapacity - mLength) return true;
    return grow(count);
  }
  void put(qchar c) {
    if (mLength == mCapacity && !grow(1)) return;
    chars()[mLength++] = c;
  }
  void append(const qchar* src, qlong count) {
    if (count <= 0 || !reserve(count)) return;
    std::memcpy(chars() + mLength, src, static_cast<size_t>(count) * sizeof(qchar));
    mLength += count;
  }
  // Appends ASCII text, one character per byte.
  void appendAscii(const char* src, qlong count) {
    if (count <= 0 || !reserve(count)) return;
    qchar* dst = chars() + mLength;
    for (qlong i = 0; i < count; ++i) dst[i] = static_cast<unsigned char>(src[i]);
    mLength += count;
  }

  // Direct writing: after reserve(n) succeeded, up to room() characters may be written at
  // tail(); advance(count) then adds them to the length.
  qchar* tail() { return mHandle ? chars() + mLength : nullptr; }
  qlong room() const { return mCapacity - mLength; }
  void advance(qlong count) { mLength += count; }

  bool failed() const { return mFailed; }
  qlong length() const { return mLength; }
  const qchar* data() const { return mHandle ? chars() : nullptr; }

  // Gives the handle away with its used length set; null when nothing was written. The
  // buffer is empty afterwards.
  qHandleInfo* release() {
    qHandleInfo* h = mHandle;
    if (h && mLength == 0) {
      HANglobalFree(h);
      h = nullptr;
    }
    if (h) HANsetUsed(h, mLength * 4);
    mHandle = nullptr;
    mLength = mCapacity = 0;
    return h;
  }

 private:
  qchar* chars() const { return reinterpret_cast<qchar*>(mHandle->mData); }

  bool grow(qlong count) {
    if (mFailed) return false;
    const int64_t maxChars = INT32_MAX / 4;
    int64_t wanted = static_cast<int64_t>(mLength) + count;
    int64_t capacity = mCapacity + mCapacity / 2;
    if (capacity < wanted) capacity = wanted;
    if (capacity < 1024) capacity = 1024;
    if (capacity > maxChars) capacity = maxChars;
    if (wanted > capacity) return fail();
    const qlong bytes = static_cast<qlong>(capacity * 4);
    if (mHandle) {
      if (!HANglobalReAlloc(mHandle, bytes)) return fail();
    } else {
      mHandle = HANglobalAlloc(bytes, qfalse);
      if (!mHandle) return fail();
    }
    mCapacity = static_cast<qlong>(capacity);
    return true;
  }
  bool fail() {
    mFailed = true;
    return false;
  }

  qHandleInfo* mHandle = nullptr;
  qlong mLength = 0;    // characters written
  qlong mCapacity = 0;  // characters the handle holds
  bool mFailed = false;
};
