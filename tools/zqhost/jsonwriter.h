// JSON text written straight into a buffer, byte for byte as nlohmann's compact dump writes
// it (no spaces, non-ASCII characters as UTF-8, ill-formed UTF-8 as U+FFFD), so that
// responses can be written without building a JSON document first.
#pragma once

#include <cstddef>
#include <cstring>
#include <ostream>
#include <string>

#include "hostruntime.h"
#include "jsonvalues.h"

namespace zqhost {

class JsonWriter {
 public:
  explicit JsonWriter(std::string& out) : mOut(out) {}

  // Long texts: once out holds at least threshold bytes, they are written to sink and out
  // starts over, so that a response is never held whole.
  void spillTo(std::ostream* sink, size_t threshold) {
    mSink = sink;
    mThreshold = threshold;
  }
  // True once part of the text has gone to the sink.
  bool spilled() const { return mSpilled; }

  // Structure: commas between members and elements are written automatically.
  void beginObject() { open('{'); }
  void endObject() { close('}'); }
  void beginArray() { open('['); }
  void endArray() { close(']'); }
  // An object member's key; the member's value follows.
  void key(const char* name, size_t len);
  void key(const std::string& name) { key(name.data(), name.size()); }
  // A key of plain ASCII without quotes, backslashes or control characters.
  void key(const char* name) {
    const size_t len = std::strlen(name);
    if (len > kShortPiece - 4) {
      separate();
      mOut += '"';
      mOut.append(name, len);
      mOut += "\":";
    } else {
      // The comma, the quoted name and the colon in one piece.
      char piece[kShortPiece];
      piece[0] = '"';
      std::memcpy(piece + 1, name, len);
      piece[len + 1] = '"';
      piece[len + 2] = ':';
      separated(piece, len + 3);
    }
    mAfterKey = true;
  }

  void string(const char* text, size_t len);
  void string(const std::string& text) { string(text.data(), text.size()); }
  void string(const char* text);
  // Characters of the host (UTF-32) as a JSON string; code points that are not Unicode
  // scalar values become U+FFFD, as the host's UTF-8 conversion makes them.
  void chars(const qchar* text, size_t len);
  void integer(long long n);
  void boolean(bool b);
  void null() { separated("null", 4); }
  // Any JSON value, dumped as it is.
  void value(const json& j);

 private:
  static const size_t kShortPiece = 48;
  // A short piece of text (at most kShortPiece - 1 bytes) after the separator its place needs,
  // appended at once.
  void separated(const char* text, size_t len) {
    if (mAfterKey) {
      mAfterKey = false;
      mOut.append(text, len);
      return;
    }
    if (mFirst) {
      mFirst = false;
      mOut.append(text, len);
      return;
    }
    char piece[kShortPiece + 1];
    piece[0] = ',';
    std::memcpy(piece + 1, text, len);
    mOut.append(piece, len + 1);
  }
  // The comma before a member or element; none after a key or first at its level.
  void separate() {
    if (mAfterKey) {
      mAfterKey = false;
      return;
    }
    if (!mFirst) mOut += ',';
    mFirst = false;
  }
  void open(char c) {
    separated(&c, 1);
    mFirst = true;
  }
  void close(char c) {
    mOut += c;
    mFirst = false;
  }
  void escaped(const char* text, size_t len);
  void spill();

  std::string& mOut;
  bool mFirst = true;  // no member or element yet at this level
  bool mAfterKey = false;
  std::ostream* mSink = nullptr;
  size_t mThreshold = 0;
  bool mSpilled = false;
};

// A host value in its typed JSON form ({"char": ...}, {"list": {...}}, ...), as valueToJson
// gives it. Throws RequestError for lists nested more than 128 deep (nothing is then
// complete in out).
void writeValue(JsonWriter& w, const EXTfldval& v);
// Throws the RequestError writeValue would throw for v, before anything is written.
void checkWritable(const EXTfldval& v);

}  // namespace zqhost
