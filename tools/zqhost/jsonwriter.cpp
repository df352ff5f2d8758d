// Writing JSON text without a document.
#include "jsonwriter.h"

#include <charconv>
#include <cstdio>
#include <cstring>

namespace zqhost {

namespace {

// The bytes of a well-formed UTF-8 text: true when every sequence is complete, shortest and
// a scalar value (what nlohmann's dump accepts without replacing anything).
bool wellFormedUtf8(const unsigned char* s, size_t len) {
  size_t i = 0;
  while (i < len) {
    const unsigned char b = s[i];
    if (b < 0x80) {
      ++i;
      continue;
    }
    int extra;
    unsigned c, min;
    if (b >= 0xC2 && b <= 0xDF) {
      extra = 1, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      extra = 2, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      extra = 3, c = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(extra) >= len) return false;
    for (int k = 1; k <= extra; ++k) {
      if ((s[i + static_cast<size_t>(k)] & 0xC0) != 0x80) return false;
      c = (c << 6) | (s[i + static_cast<size_t>(k)] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += static_cast<size_t>(extra) + 1;
  }
  return true;
}

// Which bytes need an escape: the quote, the backslash and the control characters.
inline bool plain(unsigned char c) { return c >= 0x20 && c != '"' && c != '\\'; }

}  // namespace

void JsonWriter::spill() {
  if (!mSink || mOut.size() < mThreshold) return;
  mSink->write(mOut.data(), static_cast<std::streamsize>(mOut.size()));
  mOut.clear();
  mSpilled = true;
}

void JsonWriter::key(const char* name, size_t len) {
  separate();
  mOut += '"';
  escaped(name, len);
  mOut += "\":";
  mAfterKey = true;
}

void JsonWriter::escaped(const char* text, size_t len) {
  const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
  size_t i = 0;
  while (i < len) {
    size_t run = i;
    while (run < len && plain(s[run])) ++run;
    mOut.append(text + i, run - i);
    if (run == len) break;
    const unsigned char c = s[run];
    switch (c) {
      case '"':
        mOut += "\\\"";
        break;
      case '\\':
        mOut += "\\\\";
        break;
      case '\b':
        mOut += "\\b";
        break;
      case '\f':
        mOut += "\\f";
        break;
      case '\n':
        mOut += "\\n";
        break;
      case '\r':
        mOut += "\\r";
        break;
      case '\t':
        mOut += "\\t";
        break;
      default: {
        char u[8];
        std::snprintf(u, sizeof u, "\\u%04x", c);
        mOut += u;
      }
    }
    i = run + 1;
  }
}

void JsonWriter::string(const char* text, size_t len) {
  if (!wellFormedUtf8(reinterpret_cast<const unsigned char*>(text), len)) {
    // nlohmann decides where each replacement goes; let it.
    value(json(std::string(text, len)));
    return;
  }
  separate();
  mOut += '"';
  escaped(text, len);
  mOut += '"';
  spill();
}

void JsonWriter::string(const char* text) { string(text, std::strlen(text)); }

void JsonWriter::chars(const qchar* text, size_t len) {
  separate();
  mOut += '"';
  // Plain ASCII (most text) is stored straight into room made ahead; anything else goes
  // through UTF-8 and the escapes.
  size_t i = 0;
  while (i < len) {
    const size_t at = mOut.size();
    const size_t room = len - i < 65536 ? len - i : 65536;
    mOut.resize(at + room);
    char* out = &mOut[at];
    const qchar* in = text + i;
    size_t n = 0;
    // Sixteen characters at a time while all are plain (the compiler vectorises both loops).
    while (n + 16 <= room) {
      unsigned odd = 0;
      for (size_t k = 0; k < 16; ++k) {
        const qchar c = in[n + k];
        odd |= (c - 0x20u >= 0x60u) | (c == '"') | (c == '\\');
      }
      if (odd) break;
      for (size_t k = 0; k < 16; ++k) out[n + k] = static_cast<char>(in[n + k]);
      n += 16;
    }
    while (n < room) {
      const qchar c = in[n];
      if (c - 0x20u >= 0x60u || c == '"' || c == '\\') break;
      out[n++] = static_cast<char>(c);
    }
    mOut.resize(at + n);
    i += n;
    spill();
    if (n == room) continue;
    char buf[8];
    size_t k = 0;
    qchar c = text[i++];
    if (c < 0x80) {
      buf[k++] = static_cast<char>(c);
    } else {
      if (!(c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF))) c = 0xFFFD;
      if (c < 0x800) {
        buf[k++] = static_cast<char>(0xC0 | (c >> 6));
      } else if (c < 0x10000) {
        buf[k++] = static_cast<char>(0xE0 | (c >> 12));
        buf[k++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      } else {
        buf[k++] = static_cast<char>(0xF0 | (c >> 18));
        buf[k++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        buf[k++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      }
      buf[k++] = static_cast<char>(0x80 | (c & 0x3F));
    }
    escaped(buf, k);
  }
  mOut += '"';
}

void JsonWriter::integer(long long n) {
  char text[24];
  const std::to_chars_result r = std::to_chars(text, text + sizeof text, n);
  separated(text, static_cast<size_t>(r.ptr - text));
}

void JsonWriter::boolean(bool b) { separated(b ? "true" : "false", b ? 4 : 5); }

void JsonWriter::value(const json& j) {
  separate();
  mOut += j.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace zqhost
