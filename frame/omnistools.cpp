// Conversions between host values and UTF-8 text, wide text, booleans and integers.
#include "omnistools.h"

#include <cstring>
#include <vector>

namespace OmnisTools {

ffttype getType(const EXTfldval& value) { return value.getType(); }

CharSpan getCharsFromEXTFldVal(const EXTfldval& value) {
  CharSpan span;
  qHandleInfo* h = value.getType() == fftCharacter ? value.getHandle() : nullptr;
  span.length = HANgetUsed(h) / 4;
  if (span.length > 0) span.chars = reinterpret_cast<qchar*>(h->mData);
  return span;
}

namespace {

// The value's characters: straight from its handle for a character value, converted otherwise.
template <typename Fn>
void withChars(const EXTfldval& value, Fn&& fn) {
  if (value.getType() == fftCharacter) {
    const CharSpan span = getCharsFromEXTFldVal(value);
    fn(span.chars, span.length);
    return;
  }
  const qlong len = value.getCharLen();
  std::vector<qchar> buf(static_cast<size_t>(len) + 1);
  qlong real = 0;
  value.getChar(len, buf.data(), real);
  fn(buf.data(), real);
}

}  // namespace

std::string getStringFromEXTFldVal(const EXTfldval& value) {
  std::string out;
  withChars(value, [&](const qchar* chars, qlong len) {
    out.resize(static_cast<size_t>(CHARutf8Length(chars, len)));
    CHARconvToUtf8(chars, len, reinterpret_cast<qbyte*>(&out[0]));
  });
  return out;
}

void getEXTFldValFromString(EXTfldval& value, const std::string& text) {
  std::vector<qchar> buf(text.size() + 1);
  const qlong len = CHARconvFromUtf8(reinterpret_cast<const qbyte*>(text.data()),
                                     static_cast<qlong>(text.size()), buf.data());
  value.setChar(buf.data(), len);
}

void getEXTFldValFromChar(EXTfldval& value, const char* text) {
  getEXTFldValFromString(value, text ? std::string(text) : std::string());
}

std::wstring getWStringFromEXTFldVal(const EXTfldval& value) {
  std::wstring out;
  withChars(value, [&](const qchar* chars, qlong len) {
    out.assign(reinterpret_cast<const wchar_t*>(chars), static_cast<size_t>(len));
  });
  return out;
}

void getEXTFldValFromWString(EXTfldval& value, const std::wstring& text) {
  value.setChar(reinterpret_cast<const qchar*>(text.data()), static_cast<qlong>(text.size()));
}

bool getBoolFromEXTFldVal(const EXTfldval& value) { return value.getBool() == qboolTrue; }

void getEXTFldValFromBool(EXTfldval& value, bool flag) {
  value.setBool(flag ? qboolTrue : qboolFalse);
}

void getEXTFldValFromInt(EXTfldval& value, qlong number) { value.setLong(number); }

namespace {

template <typename S>
S initStr(const char* text) {
  S s;
  const size_t bytes = text ? std::strlen(text) : 0;
  if (bytes == 0 || bytes > static_cast<size_t>(s.maxLength())) return s;
  qchar buf[255];
  const qlong len =
      CHARconvFromUtf8(reinterpret_cast<const qbyte*>(text), static_cast<qlong>(bytes), buf);
  s.set(buf, len);
  return s;
}

}  // namespace

str15 initStr15(const char* text) { return initStr<str15>(text); }
str31 initStr31(const char* text) { return initStr<str31>(text); }
str80 initStr80(const char* text) { return initStr<str80>(text); }
str255 initStr255(const char* text) { return initStr<str255>(text); }

}  // namespace OmnisTools
