#include "charscan.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

const qchar* findChar(const qchar* first, const qchar* last, qchar c) {
  const qchar* p = first;
#if defined(__SSE2__)
  const __m128i needle = _mm_set1_epi32(static_cast<int>(c));
  // 16 characters (64 bytes) a round: four compares folded into one mask test.
  while (last - p >= 16) {
    const __m128i* v = reinterpret_cast<const __m128i*>(p);
    const __m128i e0 = _mm_cmpeq_epi32(_mm_loadu_si128(v), needle);
    const __m128i e1 = _mm_cmpeq_epi32(_mm_loadu_si128(v + 1), needle);
    const __m128i e2 = _mm_cmpeq_epi32(_mm_loadu_si128(v + 2), needle);
    const __m128i e3 = _mm_cmpeq_epi32(_mm_loadu_si128(v + 3), needle);
    const __m128i any = _mm_or_si128(_mm_or_si128(e0, e1), _mm_or_si128(e2, e3));
    if (_mm_movemask_epi8(any) != 0) break;  // the hit is among these 16: found below
    p += 16;
  }
  while (last - p >= 4) {
    const __m128i e = _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), needle);
    const int mask = _mm_movemask_epi8(e);
    if (mask != 0) return p + (__builtin_ctz(static_cast<unsigned>(mask)) >> 2);
    p += 4;
  }
#endif
  while (p < last && *p != c) ++p;
  return p;
}

CharSet::CharSet(const qchar* chars, qlong count) : mEmpty(count <= 0) {
  // The bitmap reaches only as far as the set's highest character below 65536: a set of a
  // few ASCII characters (the common case) costs one word, not 8 KiB to clear.
  size_t words = 0;
  for (qlong i = 0; i < count; ++i)
    if (chars[i] < kBmpSize && (chars[i] >> 6) + 1 > words) words = (chars[i] >> 6) + 1;
  mBmp.assign(words, 0);
  for (qlong i = 0; i < count; ++i) {
    const qchar c = chars[i];
    if (c < kBmpSize)
      mBmp[c >> 6] |= uint64_t(1) << (c & 63);
    else
      mWide.push_back(c);
  }
  std::sort(mWide.begin(), mWide.end());
}

bool CharSet::containsWide(qchar c) const {
  return std::binary_search(mWide.begin(), mWide.end(), c);
}
