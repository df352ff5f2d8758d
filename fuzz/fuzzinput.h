// What the harnesses share: a reader that takes numbers and texts from the fuzzer's bytes
// (zero once they run out, so every input is usable), and host values of every kind built
// from them.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "hostruntime.h"

// The font library leaks a little while it loads its configuration, once per process; that
// is not this program's to fix, and every leak check would report it again. (Fast unwinding
// stops inside the library, so the library as a whole is named; the valgrind replay, with
// full stacks, names the loading function only.)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

namespace zqfuzz {

// The fuzzed host refuses any one allocation above 64 MiB. A barcode image of a gigabyte is a
// valid request, but painting and compressing it takes seconds; the tests cover large images.
const qlong kAllocationCeiling = qlong(64) << 20;

class Input {
 public:
  Input(const uint8_t* data, size_t size) : mData(data), mSize(size) {}

  bool done() const { return mPos >= mSize; }
  size_t left() const { return mSize - mPos; }

  uint8_t byte() { return mPos < mSize ? mData[mPos++] : 0; }
  uint16_t u16() { return static_cast<uint16_t>(byte() | (byte() << 8)); }
  uint32_t u32() { return static_cast<uint32_t>(u16()) | (static_cast<uint32_t>(u16()) << 16); }
  uint64_t u64() { return static_cast<uint64_t>(u32()) | (static_cast<uint64_t>(u32()) << 32); }

  // Up to n bytes (fewer at the end of the input).
  std::string bytes(size_t n) {
    if (n > left()) n = left();
    std::string s(reinterpret_cast<const char*>(mData + mPos), n);
    mPos += n;
    return s;
  }
  // A length-prefixed text: one length byte, or 255 followed by a 16-bit length, so that
  // values past 255 bytes are reachable.
  std::string text() {
    size_t n = byte();
    if (n == 255) n = u16();
    return bytes(n);
  }
  // Everything not read yet.
  std::string rest() { return bytes(left()); }

 private:
  const uint8_t* mData;
  size_t mSize;
  size_t mPos = 0;
};

// Host instances that object references name; made once per process.
inline objinst referenceTarget(uint8_t which) {
  static const objinst targets[] = {hostrt::newInstance("fuzz-o1"), hostrt::newInstance("fuzz-o2"),
                                    hostrt::newInstance("fuzz-o3")};
  return which % 4 == 3 ? 0 : targets[which % 4];
}

// Characters from bytes: as UTF-8 text, or byte by byte as code points (so that control
// characters, NULs and every Latin-1 character appear as they are).
inline EXTfldval textValue(const std::string& bytes, bool utf8) {
  if (utf8) return hostrt::charValue(bytes);
  std::u32string s(bytes.begin(), bytes.end());
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<unsigned char>(bytes[i]);
  EXTfldval v;
  v.setChar(s.data(), static_cast<qlong>(s.size()));
  return v;
}

const ffttype kColumnTypes[] = {fftCharacter, fftInteger, fftNumber, fftBoolean, fftBinary,
                                fftDate,      fftList,    fftRow,    fftInt64,   fftObjref};
const size_t kColumnTypeCount = sizeof(kColumnTypes) / sizeof(kColumnTypes[0]);

inline EXTfldval makeValue(Input& in, int depth = 0);

// A list or row with fuzz-chosen columns (named from the input, or C1, C2, ...) and lines.
inline EXTfldval makeList(Input& in, bool isRow, int depth) {
  EXTqlist list(isRow);
  const int cols = in.byte() % 6;
  for (int c = 1; c <= cols; ++c) {
    const uint8_t kind = in.byte();
    ffttype type = kColumnTypes[kind % kColumnTypeCount];
    if (depth >= 2 && (type == fftList || type == fftRow)) type = fftCharacter;
    std::string name = kind & 0x80 ? in.text() : "C" + std::to_string(c);
    if (name.size() > 255) name.resize(255);
    const std::u32string n32 = hostrt::toU32(name);
    str255 colName;
    colName.set(n32.data(), static_cast<qshort>(n32.size() > 255 ? 255 : n32.size()));
    list.addCol(type, 0, (kind & 0x40) ? 10 : 100000, &colName);
  }
  const int rows = isRow ? 1 : in.byte() % 6;
  for (int r = 0; r < rows; ++r) {
    const qlong line = list.insertRow();
    if (line == 0) break;
    for (qshort c = 1; c <= list.colCnt(); ++c) {
      if (in.done()) break;
      const EXTfldval cell = makeValue(in, depth + 1);
      list.putColVal(line, c, cell);
    }
  }
  const uint8_t state = in.byte();
  if (list.rowCnt() > 0) {
    list.setCurRow(1 + state % list.rowCnt());
    if (state & 0x80) list.selectRow(1 + (state >> 3) % list.rowCnt(), qtrue);
  }
  EXTfldval v;
  v.setList(&list, qtrue);
  return v;
}

inline EXTfldval makeValue(Input& in, int depth) {
  EXTfldval v;
  const uint8_t type = in.byte();
  switch (type % 16) {
    case 0:
    case 1:
      return textValue(in.text(), type & 0x10);
    case 2: {
      // A long text: a 16-bit length.
      const size_t n = in.u16();
      return textValue(in.bytes(n), type & 0x10);
    }
    case 3:
      v.setLong(static_cast<qlong>(in.u32()));
      break;
    case 4:
      v.setLong(static_cast<qlong>(static_cast<int8_t>(in.byte())));
      break;
    case 5:
      v.setLong64(static_cast<qint64>(in.u64()));
      break;
    case 6: {
      double d = 0;
      const uint64_t bits = in.u64();
      std::memcpy(&d, &bits, sizeof d);
      if (!std::isfinite(d)) d = static_cast<double>(static_cast<int32_t>(bits)) / 8.0;
      v.setNum(d);
      break;
    }
    case 7:
      v.setBool(in.byte() % 4);
      break;
    case 8: {
      const std::string b = in.text();
      v.setBinary(fftBinary, reinterpret_cast<const qbyte*>(b.data()),
                  static_cast<qlong>(b.size()));
      break;
    }
    case 9:
      v.setDate(in.u16() % 10000, in.byte() % 14, in.byte() % 33);
      break;
    case 10:
    case 11:
      if (depth >= 3) return textValue(in.text(), false);
      return makeList(in, type % 16 == 11, depth);
    case 12:
      v.setObjRef(referenceTarget(in.byte()));
      break;
    case 13: {
      const std::string b = in.text();
      v.setBinary(type & 0x10 ? fftPicture : fftObject, reinterpret_cast<const qbyte*>(b.data()),
                  static_cast<qlong>(b.size()));
      break;
    }
    case 14: {
      v.setNull(kColumnTypes[in.byte() % kColumnTypeCount]);
      break;
    }
    default:
      v.setEmpty(kColumnTypes[in.byte() % kColumnTypeCount]);
      break;
  }
  return v;
}

}  // namespace zqfuzz
