// $barcodeUSPS: validates the five fields of an Intelligent Mail barcode, joins the first four
// into the tracking code, encodes it with the ZIP code and returns the 65 bar letters.
#include "zqbarcodeusps.h"

#include <boost/format.hpp>
#include <cstdint>
#include <cstring>
#include <exception>
#include <limits>
#include <new>

#include "omnistools.h"
#include "usps4cb.h"
#include "zqmain.h"

std::map<int, std::string> errors;

void buildUSPSErrorList() {
  static const bool built = [] {
    if (errors.empty()) {
      errors[kUSPSSuccess] = "Success.";
      errors[kUSPSSelfTestFailed] = "Self-Test failed.";
      errors[kUSPSBarStringNull] = "Bar string is null.";
      errors[kUSPSByteConversionFailed] = "Byte conversion failed.";
      errors[kUSPSRetrieveTableFailed] = "Retrive table failed.";
      errors[kUSPSCodewordConversionFailed] = "Codeword conversion failed.";
      errors[kUSPSCharacterRangeError] = "Character range error.";
      errors[kUSPSTrackStringNull] = "Track string is null.";
      errors[kUSPSRouteStringNull] = "Route string is null.";
      errors[kUSPSTrackStringBadLength] = "Track string bad length.";
      errors[kUSPSTrackStringInvalidData] = "Track string has invalid data.";
      errors[kUSPSTrackStringInvalidDigit2] = "Track string has invalid digit 2.";
      errors[kUSPSRouteStringBadLength] = "Route string has bad length.";
      errors[kUSPSRouteStringInvalidData] = "Route string has invalid data.";
    }
    return true;
  }();
  (void)built;
}

namespace {

// The leading integer of text as a formatted stream extraction (operator>>) reads it: white
// space skipped, an optional sign, then digits up to the first other character. No digits:
// 0. Beyond the range of the type (32 or 64 bits): its largest or smallest value.
int64_t leadingInteger(const std::string& text, bool is32) {
  const int64_t max =
      is32 ? std::numeric_limits<int32_t>::max() : std::numeric_limits<int64_t>::max();
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  bool negative = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  // The magnitude, saturated one above max (the negative side reaches max + 1).
  const uint64_t limit = static_cast<uint64_t>(max) + 1;
  uint64_t magnitude = 0;
  bool any = false;
  for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    const uint64_t digit = static_cast<uint64_t>(text[i] - '0');
    magnitude = magnitude > (limit - digit) / 10 ? limit : magnitude * 10 + digit;
  }
  if (!any) return 0;
  if (negative) return magnitude >= limit ? -max - 1 : -static_cast<int64_t>(magnitude);
  return magnitude >= limit ? max : static_cast<int64_t>(magnitude);
}

// The value as an unsigned number, so that a negative value is never in range.
uint64_t value64(const std::string& text) {
  return static_cast<uint64_t>(leadingInteger(text, false));
}
uint32_t value32(const std::string& text) {
  return static_cast<uint32_t>(static_cast<int32_t>(leadingInteger(text, true)));
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool validateBarCode(const std::string& text) {
  return text.size() == 2 && isDigit(text[0]) && text[1] >= '0' && text[1] <= '4';
}

bool validateServiceType(const std::string& text) {
  return text.size() == 3 && value32(text) < 1000;
}

bool validateMailer(const std::string& text) {
  if (text.size() == 6) return value64(text) < 900000;
  if (text.size() == 9) {
    const uint64_t value = value64(text);
    return text[0] == '9' && value >= 900000000 && value <= 999999999;
  }
  return false;
}

bool validateSerialNumber(const std::string& serial, const std::string& mailer) {
  if (mailer.size() == 6) return serial.size() == 9 && value64(serial) < 1000000000;
  if (mailer.size() == 9) return serial.size() == 6 && value64(serial) < 1000000;
  return false;
}

bool validateZipCode(const std::string& text) {
  switch (text.size()) {
    case 0:
      return true;
    case 5:
    case 9:
      // The encoder ends the routing code at a space (or a NUL): such a code would lose
      // digits silently, so it is not a valid ZIP code.
      if (text.find(' ') != std::string::npos || text.find('\0') != std::string::npos) return false;
      return value64(text) < (text.size() == 5 ? 100000u : 1000000000u);
    case 11:
      for (char c : text) {
        if (!isDigit(c)) return false;
      }
      return true;
    default:
      return false;
  }
}

qlong tObjZQMain::methodBarcodeUSPS(tThreadData* td, qshort paramCount) {
  // Every failure is reported here, with an empty return value; the status is always 2.
  auto report = [&](qlong code, const std::string& text) {
    returnError(td, code, text);
    callErrorMethod(td, code);
    EXTfldval empty;
    ECOaddParam(td->eci, &empty);
    return kStatusReturnSet;
  };

  try {
    if (paramCount < 5) return report(kErrParams, "Parameter count must be 5 or more");

    struct Field {
      const char* missing;
      const char* invalid;
    };
    static const Field kFields[5] = {
        {"Parameter 1 must specify the Barcode Identifier.",
         "Parameter 1 contains invalid Barcode Identifier.  Allowed digits: 00-04, 10-14, 20-24, "
         "30-34, 40-44, 50-54, 60-64, 70-74, 80-84, and 90-94."},
        {"Parameter 2 must specify the Service Type Identifier.",
         "Parameter 2 contains invalid Service Type Identifier.  Must be 3 digits between 000 "
         "and 999."},
        {"Parameter 3 must specify the Mailer Identifier.",
         "Parameter 3 contains invalid Mailer Identifier. Must be 6 or 9 digits.  6 Digit "
         "Range: 000000 and 899999  9 Digit Range: 900000000-999999999"},
        {"Parameter 4 must specify the Serial Number.",
         "Parameter 4 contains invalid Serial Number.  Must be 6 or 9 digits.  Must be between "
         "000000000-999999999 (9 digits) for 6-digit mailing ID and 000000-999999 (6 digits) "
         "with 9-digit mailing ID"},
        {"Parameter 5 must specify the Zip Code (all digits, no hyphens).",
         "Parameter 5 contains invalid Zip Code."},
    };

    std::string fields[5];
    for (qshort n = 1; n <= 5; ++n) {
      const Field& field = kFields[n - 1];
      EXTfldval value;
      const qlong status = getParamVar(td, n, value, fftCharacter, fftNone);
      if (status != 0) return report(status, field.missing);
      std::string& text = fields[n - 1];
      text = OmnisTools::getStringFromEXTFldVal(value);
      bool valid = false;
      switch (n) {
        case 1:
          valid = validateBarCode(text);
          break;
        case 2:
          valid = validateServiceType(text);
          break;
        case 3:
          valid = validateMailer(text);
          break;
        case 4:
          valid = validateSerialNumber(text, fields[2]);
          break;
        default:
          valid = validateZipCode(text);
          break;
      }
      if (!valid) return report(kErrParams, field.invalid);
    }

    // The validated fields hold 2 + 3 + 6 + 9 or 2 + 3 + 9 + 6 bytes.
    char track[21];
    size_t length = 0;
    for (int i = 0; i < 4; ++i) {
      std::memcpy(track + length, fields[i].data(), fields[i].size());
      length += fields[i].size();
    }
    track[length] = '\0';

    char bars[kUSPSBarCount + 1];
    std::memset(bars, ' ', kUSPSBarCount);
    bars[kUSPSBarCount] = '\0';
    const int code = USPS4CB(track, fields[4].c_str(), bars);

    if (code != kUSPSSuccess) {
      buildUSPSErrorList();
      const auto found = errors.find(code);
      const std::string message = found != errors.end() ? found->second : std::string();
      if (paramCount >= 6) {
        EXTfldval errorText;
        if (getParamVar(td, 6, errorText, fftCharacter, fftNone) == 0) {
          OmnisTools::getEXTFldValFromString(errorText, message);
          ECOsetParameterChanged(td->eci, 6);
        }
      }
      return report(kErrFailed,
                    (boost::format("Error occured creating barcode: %s") % message).str());
    }

    // The value first: the handle is made last and handed over at once, so that nothing
    // that can fail stands between its allocation and its owner.
    EXTfldval result;
    qHandleInfo* handle = HANglobalAlloc(kUSPSBarCount * 4, qfalse);
    if (!handle) return report(kErrMemory, "Not enough memory for the barcode text.");
    qchar* chars = reinterpret_cast<qchar*>(handle->mData);
    for (int i = 0; i < kUSPSBarCount; ++i) chars[i] = static_cast<qchar>(bars[i]);
    result.setHandle(fftCharacter, handle);
    ECOaddParam(td->eci, &result);
    return kStatusReturnSet;
  } catch (const std::exception& e) {
    // Out of memory (or a library failure) inside the host layer or the formatting.
    const bool memory = dynamic_cast<const std::bad_alloc*>(&e) != nullptr;
    try {
      return report(memory ? kErrMemory : kErrFailed,
                    memory ? "Not enough memory for the barcode text." : e.what());
    } catch (...) {
      return kStatusReturnSet;  // nothing more can be reported
    }
  }
}
