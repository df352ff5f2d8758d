// The USPS Intelligent Mail barcode encoder (USPS-B-3200).
#include "usps4cb.h"

#include <cstring>

namespace {

// The 5-of-13 and 2-of-13 character tables, built once per process by characterTablesBuilt.
uint32_t Table5of13[1287];
uint32_t Table2of13[78];
uint8_t Table5of13InitializedFlag = 0;
uint8_t Table2of13InitializedFlag = 0;

bool buildCharacterTables() {
  if (InitializeNof13Table(Table5of13, 5, 1287) == 1) Table5of13InitializedFlag = 1;
  if (InitializeNof13Table(Table2of13, 2, 78) == 1) Table2of13InitializedFlag = 1;
  return Table5of13InitializedFlag && Table2of13InitializedFlag;
}

// True when both tables are built; the first caller builds them (a thread-safe static).
bool characterTablesBuilt() {
  static const bool built = buildCharacterTables();
  return built;
}

bool isDigitChar(char c) { return c >= '0' && c <= '9'; }

uint32_t reverse13(uint32_t v) {
  uint32_t r = 0;
  for (int bit = 0; bit < 13; ++bit) r |= ((v >> bit) & 1u) << (12 - bit);
  return r;
}

int bitCount13(uint32_t v) {
  int count = 0;
  for (int bit = 0; bit < 13; ++bit) count += (v >> bit) & 1u;
  return count;
}

// The 13-byte number as four 32-bit limbs, most significant first; limb 0 holds the top byte.
// Working a limb at a time keeps the carry chains short.
inline uint32_t loadBigEndian32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return __builtin_bswap32(v);
}

inline void storeBigEndian32(uint8_t* p, uint32_t v) {
  v = __builtin_bswap32(v);
  std::memcpy(p, &v, 4);
}

inline void toLimbs(const uint8_t* number, uint32_t* limbs) {
  limbs[0] = number[0];
  limbs[1] = loadBigEndian32(number + 1);
  limbs[2] = loadBigEndian32(number + 5);
  limbs[3] = loadBigEndian32(number + 9);
}

inline void fromLimbs(const uint32_t* limbs, uint8_t* number) {
  number[0] = static_cast<uint8_t>(limbs[0]);
  storeBigEndian32(number + 1, limbs[1]);
  storeBigEndian32(number + 5, limbs[2]);
  storeBigEndian32(number + 9, limbs[3]);
}

// The number held in limbs times factor, in place; what passes the 13 bytes is dropped.
inline void multiplyLimbs(uint32_t* limbs, uint16_t factor) {
  uint64_t carry = 0;
#pragma GCC unroll 3
  for (int i = 3; i >= 1; --i) {
    const uint64_t product = static_cast<uint64_t>(limbs[i]) * factor + carry;
    limbs[i] = static_cast<uint32_t>(product);
    carry = product >> 32;
  }
  limbs[0] = static_cast<uint32_t>((static_cast<uint64_t>(limbs[0]) * factor + carry) & 0xFF);
}

// The number held in limbs plus addend, in place; what passes the 13 bytes is dropped.
inline void addLimbs(uint32_t* limbs, uint16_t addend) {
  uint64_t carry = addend;
#pragma GCC unroll 3
  for (int i = 3; i >= 1; --i) {
    const uint64_t sum = static_cast<uint64_t>(limbs[i]) + carry;
    limbs[i] = static_cast<uint32_t>(sum);
    carry = sum >> 32;
  }
  limbs[0] = static_cast<uint32_t>((limbs[0] + carry) & 0xFF);
}

// Divides the number held in limbs by Divisor in place and returns the remainder.
template <uint32_t Divisor>
uint32_t divideLimbs(uint32_t* limbs) {
  uint64_t remainder = 0;
#pragma GCC unroll 4
  for (int i = 0; i < 4; ++i) {
    const uint64_t current = remainder << 32 | limbs[i];
    limbs[i] = static_cast<uint32_t>(current / Divisor);
    remainder = current % Divisor;
  }
  return static_cast<uint32_t>(remainder);
}

// One step of the frame check sequence (generator 0xF35, 11 bits) for one data bit.
constexpr uint32_t fcsStep(uint32_t fcs, uint32_t data) {
  return (((fcs >> 10) ^ data) & 1u) ? ((fcs << 1) ^ 0xF35) & 0x7FF : (fcs << 1) & 0x7FF;
}

// The register after eight zero data bits from (index << 3): with it, a whole data byte b
// moves the register fcs to ((fcs << 8) ^ table[((fcs >> 3) ^ b) & 0xFF]) & 0x7FF.
struct FcsByteTable {
  uint16_t entry[256];
  constexpr FcsByteTable() : entry() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t fcs = i << 3;
      for (int bit = 0; bit < 8; ++bit) fcs = fcsStep(fcs, 0);
      entry[i] = static_cast<uint16_t>(fcs);
    }
  }
};
constexpr FcsByteTable kFcsByteTable;

// The 11-bit frame check sequence over the low 102 bits of the number, most significant bit
// first: generator 0xF35, preset 0x7FF. The first byte gives its six low bits, the others all
// eight.
uint32_t frameCheckSequence(const uint8_t* number) {
  uint32_t fcs = 0x7FF;
  for (int bit = 5; bit >= 0; --bit) fcs = fcsStep(fcs, (number[0] >> bit) & 1u);
  for (int i = 1; i < kUSPSNumberBytes; ++i)
    fcs = ((fcs << 8) ^ kFcsByteTable.entry[((fcs >> 3) ^ number[i]) & 0xFF]) & 0x7FF;
  return fcs;
}

}  // namespace

// The bar-to-character table of USPS-B-3200, 13 bars a line: bar i's ascender is bit
// BarTopCharacterShiftArray[i] of character BarTopCharacterIndexArray[i] (0 = A), its
// descender bit BarBottomCharacterShiftArray[i] of character BarBottomCharacterIndexArray[i].
// clang-format off
const int32_t BarTopCharacterIndexArray[65] = {
    4, 0, 2, 6, 3, 5, 1, 9, 8, 7, 1, 2, 0,
    6, 4, 8, 2, 9, 5, 3, 0, 1, 3, 7, 4, 6,
    8, 9, 2, 0, 5, 1, 9, 4, 3, 8, 6, 7, 1,
    2, 4, 3, 9, 5, 7, 8, 3, 0, 2, 1, 4, 0,
    9, 1, 7, 0, 2, 4, 6, 3, 7, 1, 9, 5, 8,
};
const int32_t BarTopCharacterShiftArray[65] = {
    3, 0, 8, 11, 1, 12, 8, 11, 10, 6, 4, 12, 2,
    7, 9, 6, 7, 9, 2, 8, 4, 0, 12, 7, 10, 9,
    0, 7, 10, 5, 7, 9, 6, 8, 2, 12, 1, 4, 2,
    0, 1, 5, 4, 6, 12, 1, 0, 9, 4, 7, 5, 10,
    2, 6, 9, 11, 2, 12, 6, 7, 5, 11, 0, 3, 2,
};
const int32_t BarBottomCharacterIndexArray[65] = {
    7, 1, 9, 5, 8, 0, 2, 4, 6, 3, 5, 8, 9,
    7, 3, 0, 6, 1, 7, 4, 6, 8, 9, 2, 5, 1,
    7, 5, 4, 3, 8, 7, 6, 0, 2, 5, 4, 9, 3,
    0, 1, 6, 8, 2, 0, 4, 5, 9, 6, 7, 5, 2,
    6, 3, 8, 5, 1, 9, 8, 7, 4, 0, 2, 6, 3,
};
const int32_t BarBottomCharacterShiftArray[65] = {
    2, 10, 12, 5, 9, 1, 5, 4, 3, 9, 11, 5, 10,
    1, 6, 3, 4, 1, 10, 0, 2, 11, 8, 6, 1, 12,
    3, 8, 6, 4, 4, 11, 0, 6, 1, 9, 11, 5, 3,
    7, 3, 10, 7, 11, 8, 2, 10, 3, 5, 8, 0, 3,
    12, 11, 8, 4, 5, 1, 3, 0, 7, 12, 9, 8, 10,
};
// clang-format on

int MultiplyBytesByShort(uint8_t* number, uint16_t factor) {
  if (!number) return 0;
  uint32_t limbs[4];
  toLimbs(number, limbs);
  multiplyLimbs(limbs, factor);
  fromLimbs(limbs, number);
  return 1;
}

int AddShortToBytes(uint8_t* number, uint16_t addend) {
  if (!number) return 0;
  uint32_t limbs[4];
  toLimbs(number, limbs);
  addLimbs(limbs, addend);
  fromLimbs(limbs, number);
  return 1;
}

int InitializeNof13Table(uint32_t* table, int n, int length) {
  if (!table || length <= 0) return 0;
  int lower = 0;
  int upper = length - 1;
  for (uint32_t v = 0; v < 8192; ++v) {
    if (bitCount13(v) != n) continue;
    const uint32_t r = reverse13(v);
    if (r < v) continue;  // stored already, as the partner of r
    if (r == v) {
      if (upper < lower) return 0;  // the table is too short: never write past it
      table[upper--] = v;
    } else {
      if (lower + 1 > upper) return 0;
      table[lower] = v;
      table[lower + 1] = r;
      lower += 2;
    }
  }
  return lower == upper + 1 ? 1 : 0;
}

int Encode(const char* trackString, const char* routeString, char* bars) {
  // Routing value: the routing number plus the offset for its length, as 12 decimal digits
  // (most significant first), so that every length maps to its own range of values.
  const size_t routeLength = std::strlen(routeString);
  const char* offset;
  switch (routeLength) {
    case 0:
      offset = "";
      break;
    case 5:
      offset = "1";
      break;
    case 9:
      offset = "100001";
      break;
    case 11:
      offset = "1000100001";
      break;
    default:
      return kUSPSRouteStringBadLength;
  }
  uint8_t digits[12] = {0};
  for (size_t i = 0; i < routeLength; ++i)
    digits[12 - routeLength + i] = static_cast<uint8_t>(routeString[i] - '0');
  const size_t offsetLength = std::strlen(offset);
  uint8_t carry = 0;
  for (int i = 11; i >= 0; --i) {
    const int k = 11 - i;  // digit position from the least significant
    uint8_t sum = static_cast<uint8_t>(digits[i] + carry);
    if (static_cast<size_t>(k) < offsetLength)
      sum = static_cast<uint8_t>(sum + (offset[offsetLength - 1 - k] - '0'));
    digits[i] = sum % 10;
    carry = sum / 10;
  }

  // The 13-byte number: routing value, then the tracking digits (the second in base 5). It is
  // worked on as limbs, with the arithmetic of MultiplyBytesByShort and AddShortToBytes
  // (which cannot fail on this local number), and written out as bytes for the FCS.
  uint32_t limbs[4] = {0, 0, 0, 0};
  for (uint8_t digit : digits) {
    multiplyLimbs(limbs, 10);
    addLimbs(limbs, digit);
  }
  multiplyLimbs(limbs, 10);
  addLimbs(limbs, static_cast<uint16_t>(trackString[0] - '0'));
  multiplyLimbs(limbs, 5);
  addLimbs(limbs, static_cast<uint16_t>(trackString[1] - '0'));
  for (int i = 2; i < 20; ++i) {
    multiplyLimbs(limbs, 10);
    addLimbs(limbs, static_cast<uint16_t>(trackString[i] - '0'));
  }
  uint8_t number[kUSPSNumberBytes];
  fromLimbs(limbs, number);

  const uint32_t fcs = frameCheckSequence(number);

  if (!characterTablesBuilt()) return kUSPSRetrieveTableFailed;

  // Codewords: J in base 636, I to B in base 1365; A is what remains and must be below 659.
  // (Checked strings keep it there; a number that does not fit must not wrap into a barcode.)
  uint32_t codewords[10];
  codewords[9] = divideLimbs<636>(limbs);
  for (int i = 8; i >= 1; --i) codewords[i] = divideLimbs<1365>(limbs);
  if (limbs[0] != 0 || limbs[1] != 0 || limbs[2] != 0) return kUSPSCodewordConversionFailed;
  codewords[0] = limbs[3];
  if (codewords[0] > 658 || codewords[9] > 635) return kUSPSCodewordConversionFailed;
  codewords[9] *= 2;                     // orientation
  if (fcs & 0x400) codewords[0] += 659;  // the FCS's top bit

  // Characters, inverted where the FCS's low ten bits say so.
  uint32_t characters[10];
  for (int i = 0; i < 10; ++i) {
    const uint32_t codeword = codewords[i];
    if (codeword >= 1365) return kUSPSCharacterRangeError;
    characters[i] = codeword < 1287 ? Table5of13[codeword] : Table2of13[codeword - 1287];
  }
  for (int i = 0; i < 10; ++i) {
    if ((fcs >> i) & 1u) characters[i] = ~characters[i] & 0x1FFF;
  }

  // Bars: the ascender and descender bits of each bar.
  for (int i = 0; i < kUSPSBarCount; ++i) {
    const bool ascender =
        (characters[BarTopCharacterIndexArray[i]] >> BarTopCharacterShiftArray[i]) & 1u;
    const bool descender =
        (characters[BarBottomCharacterIndexArray[i]] >> BarBottomCharacterShiftArray[i]) & 1u;
    bars[i] = ascender ? (descender ? 'F' : 'A') : (descender ? 'D' : 'T');
  }
  bars[kUSPSBarCount] = '\0';
  return kUSPSSuccess;
}

int USPS4CB(const char* trackString, const char* routeString, char* bars) {
  if (!trackString) return kUSPSTrackStringNull;
  if (!routeString) return kUSPSRouteStringNull;
  if (!bars) return kUSPSBarStringNull;

  char track[21] = {0};
  char route[12] = {0};
  for (int i = 0; i < 20 && trackString[i] != '\0'; ++i) track[i] = trackString[i];
  for (int i = 0; i < 11 && routeString[i] != '\0'; ++i) route[i] = routeString[i];
  if (char* space = std::strchr(route, ' ')) *space = '\0';

  if (std::strlen(track) != 20) return kUSPSTrackStringBadLength;
  for (int i = 0; i < 20; ++i) {
    if (!isDigitChar(track[i])) return kUSPSTrackStringInvalidData;
  }
  if (track[1] > '4') return kUSPSTrackStringInvalidDigit2;

  const size_t routeLength = std::strlen(route);
  if (routeLength != 0 && routeLength != 5 && routeLength != 9 && routeLength != 11)
    return kUSPSRouteStringBadLength;
  for (size_t i = 0; i < routeLength; ++i) {
    if (!isDigitChar(route[i])) return kUSPSRouteStringInvalidData;
  }

  char scratch[kUSPSBarCount + 1];
  const int code = Encode(track, route, scratch);
  if (code == kUSPSSuccess) std::memcpy(bars, scratch, kUSPSBarCount);
  return code;
}
