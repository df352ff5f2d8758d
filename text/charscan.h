// Fast scans over UTF-32 character buffers: finding one character and testing membership in a
// set of characters.
#pragma once

#include <vector>

#include "hosttypes.h"

// The first position in [first, last) that holds c, or last when there is none. Compares
// several characters at a time with SIMD instructions where the processor has them.
const qchar* findChar(const qchar* first, const qchar* last, qchar c);

// A set of characters compared by exact code point. Membership of characters below 65536 is
// one bit test; others are looked up in a sorted list.
class CharSet {
 public:
  CharSet(const qchar* chars, qlong count);
  bool contains(qchar c) const {
    if (c < kBmpSize) {
      const size_t word = c >> 6;
      return word < mBmp.size() && ((mBmp[word] >> (c & 63)) & 1u);
    }
    return containsWide(c);
  }
  bool empty() const { return mEmpty; }

 private:
  static const qchar kBmpSize = 65536;
  bool containsWide(qchar c) const;
  std::vector<uint64_t> mBmp;  // bits of characters below 65536, up to the set's highest
  std::vector<qchar> mWide;    // sorted, characters from 65536 up
  bool mEmpty;
};
