// The USPS Intelligent Mail barcode (4-State Customer Barcode, USPS-B-3200): a 20-digit
// tracking code and a routing (ZIP) code of 0, 5, 9 or 11 digits become 65 bar letters:
// F (full bar), A (ascender), D (descender), T (tracker), bar 1 first.
//
// Pure computation over 8-bit buffers: no host values, no heap allocation. The 5-of-13 and
// 2-of-13 character tables are built once per process, on first use, thread-safely.
#pragma once

#include <cstdint>

// Return codes of the encoder; the message table of $barcodeUSPS (zqbarcodeusps.h) holds
// their texts.
enum {
  kUSPSSuccess = 0,
  kUSPSSelfTestFailed = 1,
  kUSPSBarStringNull = 2,
  kUSPSByteConversionFailed = 3,
  kUSPSRetrieveTableFailed = 4,
  kUSPSCodewordConversionFailed = 5,
  kUSPSCharacterRangeError = 6,
  kUSPSTrackStringNull = 7,
  kUSPSRouteStringNull = 8,
  kUSPSTrackStringBadLength = 9,
  kUSPSTrackStringInvalidData = 10,
  kUSPSTrackStringInvalidDigit2 = 11,
  kUSPSRouteStringBadLength = 12,
  kUSPSRouteStringInvalidData = 13,
};

const int kUSPSBarCount = 65;
const int kUSPSNumberBytes = 13;  // the large number: 13 bytes, most significant first

// Encodes the tracking string (20 digits, the second 0 to 4) and the routing string (0, 5, 9
// or 11 digits; cut at its first space) into bars, which must hold 65 bytes. On 0, exactly 65
// letters are written and no terminator; on any other code bars is not to be used.
// Only the first 20 tracking and 11 routing characters are looked at.
int USPS4CB(const char* trackString, const char* routeString, char* bars);

// The conversion proper, on checked strings: writes 65 letters and a NUL into bars (66 bytes).
// Returns 0, 3, 4, 5, 6 or 12.
int Encode(const char* trackString, const char* routeString, char* bars);

// The 13-byte number times factor, in place; overflow beyond 13 bytes is dropped.
// Returns 1, or 0 when number is null.
int MultiplyBytesByShort(uint8_t* number, uint16_t factor);
// The 13-byte number plus addend, in place; overflow beyond 13 bytes is dropped.
// Returns 1, or 0 when number is null.
int AddShortToBytes(uint8_t* number, uint16_t addend);

// Fills table (length entries) with every 13-bit value that has exactly n bits set: pairs of a
// value and its bit reversal from the front, bit-symmetric values from the back. Returns 1 when
// the two ends meet exactly, else 0.
int InitializeNof13Table(uint32_t* table, int n, int length);

// Bar-to-character mapping of USPS-B-3200, by bar (0 to 64): character index (0 = A to
// 9 = J) and bit number of the ascender (top) and of the descender (bottom).
extern const int32_t BarTopCharacterIndexArray[65];
extern const int32_t BarTopCharacterShiftArray[65];
extern const int32_t BarBottomCharacterIndexArray[65];
extern const int32_t BarBottomCharacterShiftArray[65];
