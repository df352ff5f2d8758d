// Conversions between host values and UTF-8 text, wide (UTF-32) text, booleans and integers.
#pragma once

#include <string>

#include "extfldval.h"

static_assert(sizeof(wchar_t) == 4, "wide strings hold UTF-32 code points");

namespace OmnisTools {

ffttype getType(const EXTfldval& value);

// The characters of a character value, straight from its handle without a copy (writable in
// place). The empty or null text, and a value of another type, give no characters.
struct CharSpan {
  qchar* chars = nullptr;
  qlong length = 0;
};
CharSpan getCharsFromEXTFldVal(const EXTfldval& value);
std::string getStringFromEXTFldVal(const EXTfldval& value);
void getEXTFldValFromString(EXTfldval& value, const std::string& text);
// From a zero-terminated 8-bit (UTF-8) text; null gives the empty text.
void getEXTFldValFromChar(EXTfldval& value, const char* text);
std::wstring getWStringFromEXTFldVal(const EXTfldval& value);
void getEXTFldValFromWString(EXTfldval& value, const std::wstring& text);
bool getBoolFromEXTFldVal(const EXTfldval& value);
void getEXTFldValFromBool(EXTfldval& value, bool flag);
void getEXTFldValFromInt(EXTfldval& value, qlong number);

// Host strings from zero-terminated UTF-8 text; a text that is empty or has more bytes than
// the capacity leaves the string empty.
str15 initStr15(const char* text);
str31 initStr31(const char* text);
str80 initStr80(const char* text);
str255 initStr255(const char* text);

}  // namespace OmnisTools
