// Basic types of the host interface: integers, characters, type codes, host strings,
// memory handles, character conversion and case mapping.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__GNUC__)
#define HOST_API __attribute__((visibility("default")))
#else
#define HOST_API
#endif

typedef int32_t qlong;
typedef uint32_t qulong;
typedef int16_t qshort;
typedef uint16_t qushort;
typedef uint8_t qbyte;
typedef int64_t qint64;
typedef char32_t qchar;  // one host character: a UTF-32 code unit
typedef bool qbool;
typedef qlong qret;

const qbool qtrue = true;
const qbool qfalse = false;

// Host value type codes.
typedef qlong ffttype;
const ffttype fftNone = 20;  // no particular type: as a wanted type, accepts any value
const ffttype fftCharacter = 21;
const ffttype fftBoolean = 22;
const ffttype fftDate = 23;
const ffttype fftNumber = 25;
const ffttype fftInteger = 26;
const ffttype fftPicture = 27;  // bytes, like binary
const ffttype fftBinary = 28;
const ffttype fftList = 29;
const ffttype fftInt64 = 35;  // the second integer kind, accepted wherever an integer is
const ffttype fftRow = 36;
const ffttype fftObject = 37;  // bytes, like binary
const ffttype fftObjref = 38;

// Host booleans as stored in a value: false reads 1, true reads 2 (0 is "not set").
const qlong qboolFalse = 1;
const qlong qboolTrue = 2;

// A host object instance (an object of the application that the component may call).
typedef uintptr_t objinst;

// ---------------------------------------------------------------------------------------------
// Host strings: fixed capacity, a length, characters not terminated.
class HOST_API strxxx {
 public:
  qchar* cString() { return mData; }
  const qchar* cString() const { return mData; }
  qlong length() const { return mLength; }
  qlong maxLength() const { return mCapacity; }
  // Sets the length, cut to the capacity.
  void setLength(qlong len);
  // Copies characters in, cut to the capacity.
  void set(const qchar* chars, qlong len);
  // Appends characters, cut to the capacity.
  void append(const qchar* chars, qlong len);
  void appendAscii(const char* text);
  strxxx& operator=(const strxxx& other) {
    set(other.mData, other.mLength);
    return *this;
  }
  qchar& operator[](qlong i) { return mData[i]; }
  qchar operator[](qlong i) const { return mData[i]; }

 protected:
  strxxx(qchar* data, qlong capacity) : mData(data), mCapacity(capacity), mLength(0) {}
  strxxx(const strxxx&) = delete;

 private:
  qchar* mData;
  qlong mCapacity;
  qlong mLength;
};

template <qlong N>
class strN : public strxxx {
 public:
  strN() : strxxx(mBuf, N) {}
  strN(const strN& other) : strxxx(mBuf, N) { set(other.cString(), other.length()); }
  strN& operator=(const strN& other) {
    set(other.cString(), other.length());
    return *this;
  }

 private:
  qchar mBuf[N];
};
typedef strN<15> str15;
typedef strN<31> str31;
typedef strN<80> str80;
typedef strN<255> str255;

// A host string of a capacity chosen at run time (for example 80 characters per name slot).
class HOST_API strDyn : public strxxx {
 public:
  explicit strDyn(qlong capacity);
  ~strDyn();
  strDyn(const strDyn&) = delete;
  strDyn& operator=(const strDyn&) = delete;
};

// Compares len characters of a and b ignoring case (simple Unicode upper-case mapping).
// Returns 0 when equal, a negative or positive value as a orders before or after b.
HOST_API qlong ECOuprCmp(const qchar* a, const qchar* b, qlong len);

// ---------------------------------------------------------------------------------------------
// Memory handles: a movable block with an allocated size and a used length, both in bytes.
struct qHandleInfo {
  qbyte* mData;
  qlong mAllocated;
  qlong mUsed;
};

// Allocates a block of size bytes (zeroed when zero is true); its used length is size.
// Returns null when memory cannot be had (or the test switch refuses it).
HOST_API qHandleInfo* HANglobalAlloc(qlong size, qbool zero);
// Resizes a block to size bytes, keeping its contents up to the smaller size; the used length
// is cut to the new size if it was larger. Returns false and leaves the block as it was when
// memory cannot be had.
HOST_API qbool HANglobalReAlloc(qHandleInfo* h, qlong size);
HOST_API void HANglobalFree(qHandleInfo* h);
inline qlong HANgetUsed(const qHandleInfo* h) { return h ? h->mUsed : 0; }
inline qlong HANgetAllocated(const qHandleInfo* h) { return h ? h->mAllocated : 0; }
// Sets the used length (at most the allocated size).
HOST_API void HANsetUsed(qHandleInfo* h, qlong used);

// ---------------------------------------------------------------------------------------------
// Character conversion. Invalid input never fails: malformed UTF-8 sequences and code points
// that are not Unicode scalar values become U+FFFD.

// UTF-8 to UTF-32. dst must hold len characters; returns the number written.
HOST_API qlong CHARconvFromUtf8(const qbyte* src, qlong len, qchar* dst);
// UTF-32 to UTF-8. dst must hold 4 * len bytes; returns the number of bytes written.
HOST_API qlong CHARconvToUtf8(const qchar* src, qlong len, qbyte* dst);
// Number of UTF-8 bytes CHARconvToUtf8 writes for these characters.
HOST_API qlong CHARutf8Length(const qchar* src, qlong len);
// UTF-32 to UTF-16 (characters above U+FFFF as surrogate pairs). dst must hold 2 * len units;
// returns the number of units written.
HOST_API qlong CHARconvToUtf16(const qchar* src, qlong len, uint16_t* dst);
// 8-bit (Latin-1) text to UTF-32: one character per byte.
HOST_API qlong CHARconvFromLatin1(const qbyte* src, qlong len, qchar* dst);

// Unicode simple case mapping of one character, without a locale.
HOST_API qchar uppC(qchar c);
HOST_API qchar lowC(qchar c);

// A cursor over the UTF-32 characters held in a handle: the handle and a position counted in
// characters from 0. A null handle holds no characters.
struct qHandleCharPtr {
  explicit qHandleCharPtr(qHandleInfo* h, qlong pos = 0) : mHandle(h), mPos(pos) {}
  qlong charCount() const { return HANgetUsed(mHandle) / 4; }
  qchar* chars() const { return mHandle ? reinterpret_cast<qchar*>(mHandle->mData) : nullptr; }
  qHandleInfo* mHandle;
  qlong mPos;
};
