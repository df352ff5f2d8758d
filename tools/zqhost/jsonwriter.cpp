// Writing JSON text without a document.
#include "jsonwriter.h"

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

void JsonWriter::separate() {
  if (mAfterKey) {
    mAfterKey = false;
    return;
  }
  if (!mFirst) mOut += ',';
  mFirst = false;
}

void JsonWriter::open(char c) {
  separate();
  mOut += c;
  mFirst = true;
}

void JsonWriter::close(char c) {
  mOut += c;
  mFirst = false;
}

void JsonWriter::key(const char* name, size_t len) {
  separate();
  mOut += '"';
  escaped(name, len);
  mOut += "\":";
  mAfterKey = true;
}

void JsonWriter::key(const char* name) { key(name, std::strlen(name)); }

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
}

void JsonWriter::string(const char* text) { string(text, std::strlen(text)); }

void JsonWriter::chars(const qchar* text, size_t len) {
  separate();
  mOut += '"';
  // UTF-8 in parts through a small buffer, escaped as it goes.
  char buf[4096];
  size_t n = 0;
  auto flush = [&] {
    escaped(buf, n);
    n = 0;
  };
  for (size_t i = 0; i < len; ++i) {
    if (n > sizeof buf - 4) flush();
    qchar c = text[i];
    if (c < 0x80) {
      buf[n++] = static_cast<char>(c);
      continue;
    }
    if (!(c < 0xD800 || (c > 0xDFFF && c <= 0x10FFFF))) c = 0xFFFD;
    if (c < 0x800) {
      buf[n++] = static_cast<char>(0xC0 | (c >> 6));
    } else if (c < 0x10000) {
      buf[n++] = static_cast<char>(0xE0 | (c >> 12));
      buf[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    } else {
      buf[n++] = static_cast<char>(0xF0 | (c >> 18));
      buf[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      buf[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    }
    buf[n++] = static_cast<char>(0x80 | (c & 0x3F));
  }
  flush();
  mOut += '"';
}

void JsonWriter::integer(long long n) {
  separate();
  char text[24];
  const int len = std::snprintf(text, sizeof text, "%lld", n);
  mOut.append(text, static_cast<size_t>(len));
}

void JsonWriter::boolean(bool b) {
  separate();
  mOut += b ? "true" : "false";
}

void JsonWriter::null() {
  separate();
  mOut += "null";
}

void JsonWriter::value(const json& j) {
  separate();
  mOut += j.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace zqhost
