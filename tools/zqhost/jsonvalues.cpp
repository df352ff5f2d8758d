// Conversion between host values and their JSON form.
#include "jsonvalues.h"

#if ZQ_HAVE_SIMDJSON
#include <simdjson.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

#include "files.h"
#include "jsonwriter.h"

namespace zqhost {

namespace {

// Lists nest; deeper input than this is refused rather than walked.
const int kMaxDepth = 64;
// Lists written as JSON nest at most this deep (a method may wrap a list it was given, and a
// host may build deeper ones); deeper values are refused rather than written.
const int kMaxWriteDepth = 128;
// Columns get this maximum length unless the request gives one.
const qlong kDefaultMaxLen = 10000000;

const struct {
  const char* name;
  ffttype type;
} kTypeNames[] = {
    {"char", fftCharacter}, {"int", fftInteger},   {"int64", fftInt64},     {"num", fftNumber},
    {"bool", fftBoolean},   {"bin", fftBinary},    {"date", fftDate},       {"list", fftList},
    {"row", fftRow},        {"objref", fftObjref}, {"picture", fftPicture}, {"object", fftObject},
};

bool isByteType(ffttype t) { return t == fftBinary || t == fftPicture || t == fftObject; }

const std::string& stringOf(const json& j, const std::string& what) {
  if (!j.is_string()) throw RequestError(what + " must be a string, not " + quote(j));
  return j.get_ref<const std::string&>();
}

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

// "YYYY-MM-DD" (a real calendar day of years 1 to 9999) or "" for the empty date.
void setDateText(EXTfldval& v, const std::string& text) {
  if (text.empty()) {
    v.setDate(0, 0, 0);
    return;
  }
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  bool digits = text.size() == 10 && text[4] == '-' && text[7] == '-';
  for (size_t i = 0; digits && i < text.size(); ++i)
    digits = i == 4 || i == 7 || (text[i] >= '0' && text[i] <= '9');
  const int y = digits ? std::atoi(text.substr(0, 4).c_str()) : 0;
  const int m = digits ? std::atoi(text.substr(5, 2).c_str()) : 0;
  const int d = digits ? std::atoi(text.substr(8, 2).c_str()) : 0;
  if (y < 1 || m < 1 || m > 12 || d < 1 || d > kDays[m - 1] + (m == 2 && leapYear(y) ? 1 : 0))
    throw RequestError("a date must be YYYY-MM-DD or empty, not \"" + text + "\"");
  v.setDate(y, m, d);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hexadecimal text decoded straight into the value's own handle.
void setBytesText(EXTfldval& v, ffttype type, const std::string& hex) {
  bool whole = hex.size() % 2 == 0;
  for (size_t i = 0; whole && i < hex.size(); ++i) whole = hexDigit(hex[i]) >= 0;
  if (!whole)
    throw RequestError("binary must be hexadecimal text of whole bytes, not " + quote(hex));
  const size_t size = hex.size() / 2;
  if (size > static_cast<size_t>(std::numeric_limits<qlong>::max()))
    throw RequestError("a binary value holds at most " +
                       std::to_string(std::numeric_limits<qlong>::max()) + " bytes, not " +
                       std::to_string(size));
  if (size == 0) {
    v.setBinary(type, nullptr, 0);
    return;
  }
  qHandleInfo* h = HANglobalAlloc(static_cast<qlong>(size), qfalse);
  if (!h) throw std::bad_alloc();
  for (size_t i = 0; i < size; ++i)
    h->mData[i] = static_cast<qbyte>(hexDigit(hex[2 * i]) * 16 + hexDigit(hex[2 * i + 1]));
  HANsetUsed(h, static_cast<qlong>(size));
  v.setHandle(type, h);
}

void setObjrefName(EXTfldval& v, const std::string& name) {
  if (name.empty()) {
    v.setObjRef(0);
    return;
  }
  objinst inst = hostrt::findInstance(name);
  if (!inst) inst = hostrt::newInstance(name);
  v.setObjRef(inst);
}

void valueAt(EXTfldval& v, const json& j, int depth);

// The value of a cell given as a plain JSON scalar, converted to the column's type.
EXTfldval cellFromScalar(const json& j, ffttype type, qshort subtype) {
  EXTfldval v;
  if (j.is_null()) {
    v.setNull(type, subtype);
    return v;
  }
  if (j.is_string()) {
    const std::string& s = j.get_ref<const std::string&>();
    if (isByteType(type)) {
      setBytesText(v, type, s);
    } else if (type == fftObjref) {
      setObjrefName(v, s);
    } else if (type == fftDate) {
      setDateText(v, s);
    } else {
      setUtf8Text(v, s.data(), s.size());
    }
  } else if (j.is_boolean()) {
    v.setBool(j.get<bool>() ? qboolTrue : qboolFalse);
  } else if (j.is_number_float()) {
    v.setNum(j.get<double>());
  } else if (j.is_number()) {
    if (type == fftNumber) {
      v.setNum(j.get<double>());
    } else if (type == fftInt64) {
      v.setLong64(integerIn(j, std::numeric_limits<qint64>::min(),
                            std::numeric_limits<qint64>::max(), "an int64 cell"));
    } else {
      v.setLong(static_cast<qlong>(integerIn(j, std::numeric_limits<qlong>::min(),
                                             std::numeric_limits<qlong>::max(), "a cell")));
    }
  } else {
    throw RequestError("a cell must be a typed value or a JSON scalar, not " + quote(j));
  }
  if (!v.conv(type, subtype))
    throw RequestError("cell " + quote(j) + " cannot be converted to " + typeName(type));
  return v;
}

void checkKeys(const json& j, std::initializer_list<const char*> allowed, const std::string& what) {
  for (auto it = j.begin(); it != j.end(); ++it) {
    bool known = false;
    for (const char* a : allowed) known = known || it.key() == a;
    if (!known) throw RequestError(what + " has an unknown key \"" + it.key() + "\"");
  }
}

void listFromJson(EXTfldval& out, const json& form, bool isRow, int depth) {
  const std::string what = isRow ? "a row" : "a list";
  if (!form.is_object())
    throw RequestError(what + " must be an object with \"cols\" and \"rows\", not " + quote(form));
  checkKeys(form, {"cols", "rows", "line", "selected"}, what);
  EXTqlist list(isRow);

  // The parts are read in place: copying a JSON value copies all its nesting.
  const json empty = json::array();
  const json& cols = form.contains("cols") ? form.at("cols") : empty;
  if (!cols.is_array()) throw RequestError("\"cols\" must be an array");
  for (const json& c : cols) {
    if (!c.is_object()) throw RequestError("a column must be an object, not " + quote(c));
    checkKeys(c, {"name", "type", "subtype", "maxlen"}, "a column");
    const std::u32string name =
        hostrt::toU32(c.contains("name") ? stringOf(c["name"], "a column name") : "");
    if (name.size() > 255) throw RequestError("a column name is longer than 255 characters");
    const ffttype type =
        c.contains("type") ? typeCode(stringOf(c["type"], "a column type")) : fftCharacter;
    const qshort subtype =
        c.contains("subtype")
            ? static_cast<qshort>(integerIn(c["subtype"], -32768, 32767, "a column subtype"))
            : 0;
    const qlong maxLen =
        c.contains("maxlen")
            ? static_cast<qlong>(integerIn(c["maxlen"], 0, 2147483647, "a column maxlen"))
            : kDefaultMaxLen;
    str255 hostName;
    hostName.set(name.data(), static_cast<qlong>(name.size()));
    if (list.addCol(type, subtype, maxLen, &hostName) == 0)
      throw RequestError("the host refused a column of " + what);
  }

  const json& rows = form.contains("rows") ? form.at("rows") : empty;
  if (!rows.is_array()) throw RequestError("\"rows\" must be an array of arrays");
  if (isRow && rows.size() > 1)
    throw RequestError("a row has one line, not " + std::to_string(rows.size()));
  for (const json& r : rows) {
    if (!r.is_array()) throw RequestError("a line must be an array of cells, not " + quote(r));
    if (r.size() > static_cast<size_t>(list.colCnt()))
      throw RequestError("a line has " + std::to_string(r.size()) + " cells for " +
                         std::to_string(list.colCnt()) + " columns");
    const qlong line = list.insertRow();
    if (line == 0) throw RequestError("the host refused a line of " + what);
    for (size_t c = 0; c < r.size(); ++c) {
      const qshort col = static_cast<qshort>(c + 1);
      qshort subtype = 0;
      const ffttype type = list.getColType(col, &subtype);
      const json& cell = r[c];
      EXTfldval ref;
      list.getColValRef(line, col, ref, qtrue);
      if (cell.is_object()) {
        EXTfldval value;
        valueAt(value, cell, depth + 1);
        ref = value;
      } else {
        ref = cellFromScalar(cell, type, subtype);
      }
    }
  }
  if (isRow && list.rowCnt() == 0 && list.insertRow() == 0)
    throw RequestError("the host refused the line of a row");

  if (form.contains("line")) {
    list.setCurRow(static_cast<qlong>(integerIn(form["line"], 0, list.rowCnt(), "\"line\"")));
  } else if (isRow) {
    list.setCurRow(1);
  }
  const json& selected = form.contains("selected") ? form.at("selected") : empty;
  if (!selected.is_array()) throw RequestError("\"selected\" must be an array of line numbers");
  for (const json& s : selected)
    list.selectRow(static_cast<qlong>(integerIn(s, 1, list.rowCnt(), "a selected line")), qtrue);

  out.setList(&list, qtrue);
}

void valueAt(EXTfldval& v, const json& j, int depth) {
  if (depth > kMaxDepth) throw RequestError("values are nested too deeply");
  if (!j.is_object() || j.size() != 1)
    throw RequestError("a value must be an object with one key naming its type, not " + quote(j));
  const std::string& key = j.begin().key();
  const json& x = j.begin().value();
  if (key == "null") {
    v.setNull(typeCode(stringOf(x, "the type of a null value")));
    return;
  }
  switch (typeCode(key)) {
    case fftCharacter: {
      const std::string& text = stringOf(x, "a char value");
      setUtf8Text(v, text.data(), text.size());
      break;
    }
    case fftInteger:
      v.setLong(static_cast<qlong>(integerIn(x, std::numeric_limits<qlong>::min(),
                                             std::numeric_limits<qlong>::max(), "an int value")));
      break;
    case fftInt64:
      v.setLong64(integerIn(x, std::numeric_limits<qint64>::min(),
                            std::numeric_limits<qint64>::max(), "an int64 value"));
      break;
    case fftNumber:
      if (!x.is_number()) throw RequestError("a num value must be a number, not " + quote(x));
      v.setNum(x.get<double>());
      break;
    case fftBoolean:
      if (!x.is_boolean())
        throw RequestError("a bool value must be true or false, not " + quote(x));
      v.setBool(x.get<bool>() ? qboolTrue : qboolFalse);
      break;
    case fftDate:
      setDateText(v, stringOf(x, "a date value"));
      break;
    case fftList:
    case fftRow:
      listFromJson(v, x, key == "row", depth);
      break;
    case fftObjref:
      setObjrefName(v, stringOf(x, "an objref value"));
      break;
    default:  // the byte types
      setBytesText(v, typeCode(key), stringOf(x, "a " + key + " value"));
      break;
  }
}

}  // namespace

qint64 integerIn(const json& j, qint64 lo, qint64 hi, const std::string& what) {
  if (j.is_number_unsigned()) {
    const uint64_t u = j.get<uint64_t>();
    if (u <= static_cast<uint64_t>(hi) && static_cast<qint64>(u) >= lo)
      return static_cast<qint64>(u);
  } else if (j.is_number_integer()) {
    const qint64 i = j.get<qint64>();
    if (i >= lo && i <= hi) return i;
  } else {
    throw RequestError(what + " must be an integer, not " + quote(j));
  }
  throw RequestError(what + " " + quote(j) + " is out of range");
}

ffttype typeCode(const std::string& name) {
  for (const auto& t : kTypeNames)
    if (name == t.name) return t.type;
  throw RequestError("unknown type \"" + name + "\"");
}

std::string typeName(ffttype type) {
  for (const auto& t : kTypeNames)
    if (type == t.type) return t.name;
  return type == fftNone ? "any" : std::to_string(type);
}

EXTfldval valueFromJson(const json& j) {
  EXTfldval v;
  valueAt(v, j, 0);
  return v;
}

void setValueFromJson(EXTfldval& v, const json& j) { valueAt(v, j, 0); }

json valueToJson(const EXTfldval& v) { return json::parse(valueText(v)); }

std::string valueText(const EXTfldval& v) {
  std::string text;
  JsonWriter w(text);
  writeValue(w, v);
  return text;
}

namespace {

void writeAt(JsonWriter& w, const EXTfldval& v, int depth);

void writeList(JsonWriter& w, const EXTfldval& v, int depth) {
  EXTqlist list;
  v.getList(&list, qfalse);
  w.beginObject();
  w.key("cols");
  w.beginArray();
  for (qshort c = 1; c <= list.colCnt(); ++c) {
    str255 name;
    list.getColName(c, name);
    qshort subtype = 0;
    qlong maxLen = 0;
    const ffttype type = list.getColType(c, &subtype, &maxLen);
    w.beginObject();
    w.key("name");
    w.chars(name.cString(), static_cast<size_t>(name.length()));
    w.key("type");
    w.string(typeName(type));
    w.key("subtype");
    w.integer(subtype);
    w.key("maxlen");
    w.integer(maxLen);
    w.endObject();
  }
  w.endArray();
  w.key("rows");
  w.beginArray();
  for (qlong r = 1; r <= list.rowCnt(); ++r) {
    w.beginArray();
    for (qshort c = 1; c <= list.colCnt(); ++c) {
      EXTfldval cell;
      list.getColValRef(r, c, cell, qfalse);
      writeAt(w, cell, depth + 1);
    }
    w.endArray();
  }
  w.endArray();
  w.key("line");
  w.integer(list.getCurRow());
  w.key("selected");
  w.beginArray();
  for (qlong r = 1; r <= list.rowCnt(); ++r)
    if (list.isRowSelected(r)) w.integer(r);
  w.endArray();
  w.endObject();
}

void writeAt(JsonWriter& w, const EXTfldval& v, int depth) {
  if (depth > kMaxWriteDepth)
    throw RequestError("a value is nested more than " + std::to_string(kMaxWriteDepth) +
                       " lists deep and is not written");
  const ffttype type = v.getType();
  w.beginObject();
  if (v.isNull()) {
    w.key("null");
    w.string(typeName(type));
    w.endObject();
    return;
  }
  switch (type) {
    case fftCharacter: {
      w.key("char");
      const qHandleInfo* h = v.getHandle();
      if (h)
        w.chars(reinterpret_cast<const qchar*>(h->mData),
                static_cast<size_t>(HANgetUsed(h)) / sizeof(qchar));
      else
        w.string("", 0);
      break;
    }
    case fftInteger:
      w.key("int");
      w.integer(v.getLong());
      break;
    case fftInt64:
      w.key("int64");
      w.integer(v.getLong64());
      break;
    case fftNumber:
      w.key("num");
      w.value(json(v.getNum()));
      break;
    case fftBoolean:
      w.key("bool");
      w.boolean(v.getBool() == qboolTrue);
      break;
    case fftDate: {
      qlong y = 0, m = 0, d = 0;
      v.getDate(y, m, d);
      char text[40] = "";
      if (y > 0) std::snprintf(text, sizeof text, "%04d-%02d-%02d", y, m, d);
      w.key("date");
      w.string(text);
      break;
    }
    case fftList:
    case fftRow:
      w.key(type == fftList ? "list" : "row");
      writeList(w, v, depth);
      break;
    case fftObjref: {
      const objinst inst = v.getObjRef();
      const std::string name = hostrt::instanceName(inst);
      w.key("objref");
      w.string(inst == 0 ? "" : name.empty() ? "#" + std::to_string(inst) : name);
      break;
    }
    default:
      w.key(typeName(type));
      if (isByteType(type)) {
        const qHandleInfo* h = v.getHandle();
        w.string(bytesToHex(h ? h->mData : nullptr, static_cast<size_t>(v.getBinLen())));
      } else {
        w.string(hostrt::toUtf8(v));
      }
      break;
  }
  w.endObject();
}

}  // namespace

void writeValue(JsonWriter& w, const EXTfldval& v) { writeAt(w, v, 0); }

namespace {

void checkAt(const EXTfldval& v, int depth) {
  if (depth > kMaxWriteDepth)
    throw RequestError("a value is nested more than " + std::to_string(kMaxWriteDepth) +
                       " lists deep and is not written");
  const ffttype type = v.getType();
  if (v.isNull() || (type != fftList && type != fftRow)) return;
  EXTqlist list;
  v.getList(&list, qfalse);
  for (qlong r = 1; r <= list.rowCnt(); ++r) {
    for (qshort c = 1; c <= list.colCnt(); ++c) {
      EXTfldval cell;
      list.getColValRef(r, c, cell, qfalse);
      const ffttype t = cell.getType();
      if (t == fftList || t == fftRow) checkAt(cell, depth + 1);
    }
  }
}

}  // namespace

void checkWritable(const EXTfldval& v) { checkAt(v, 0); }

bool hexToBytes(const std::string& hex, std::string& bytes) {
  if (hex.size() % 2 != 0) return false;
  bytes.clear();
  bytes.reserve(hex.size() / 2);
  auto digit = [](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  for (size_t i = 0; i < hex.size(); i += 2) {
    const int hi = digit(hex[i]), lo = digit(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    bytes.push_back(static_cast<char>(hi * 16 + lo));
  }
  return true;
}

std::string bytesToHex(const qbyte* bytes, size_t len) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out(len * 2, '0');
  for (size_t i = 0; i < len; ++i) {
    out[2 * i] = kDigits[bytes[i] >> 4];
    out[2 * i + 1] = kDigits[bytes[i] & 15];
  }
  return out;
}

// Written without recursion, and only as far as the quotation shows.
std::string quote(const json& j) {
  const size_t kShown = 60;
  std::string text;
  struct Open {
    const json* j;
    json::const_iterator next;
  };
  std::vector<Open> open;
  const json* at = &j;
  while (text.size() <= kShown) {
    if (at) {
      if (at->is_array() || at->is_object()) {
        text += at->is_array() ? '[' : '{';
        open.push_back(Open{at, at->cbegin()});
      } else {
        text += at->dump(-1, ' ', false, json::error_handler_t::replace);
      }
      at = nullptr;
    }
    if (open.empty()) break;
    Open& o = open.back();
    if (o.next == o.j->cend()) {
      text += o.j->is_array() ? ']' : '}';
      open.pop_back();
      continue;
    }
    if (o.next != o.j->cbegin()) text += ',';
    if (o.j->is_object())
      text += json(o.next.key()).dump(-1, ' ', false, json::error_handler_t::replace) + ':';
    at = &*o.next;
    ++o.next;
  }
  if (text.size() > kShown) text = text.substr(0, kShown - 3) + "...";
  return text;
}

#if ZQ_HAVE_SIMDJSON
namespace {

// A document read by simdjson as the same value nlohmann's parser makes of its text: objects
// keep their keys in order and the last of a repeated key, integers without a sign are
// unsigned. Depth is bounded by the check before parsing.
json fromSimd(simdjson::dom::element e) {
  using simdjson::dom::element_type;
  switch (e.type()) {
    case element_type::ARRAY: {
      const simdjson::dom::array items(e);
      json a = json::array();
      a.get_ref<json::array_t&>().reserve(items.size());
      for (simdjson::dom::element x : items) a.push_back(fromSimd(x));
      return a;
    }
    case element_type::OBJECT: {
      const simdjson::dom::object fields(e);
      json o = json::object();
      json::object_t& members = o.get_ref<json::object_t&>();
      members.reserve(fields.size());
      for (simdjson::dom::key_value_pair f : fields) {
        json value = fromSimd(f.value);
        auto placed = members.emplace(std::string(f.key), std::move(value));
        if (!placed.second) placed.first->second = std::move(value);  // a repeated key
      }
      return o;
    }
    case element_type::INT64: {
      const int64_t i = int64_t(e);
      return i >= 0 ? json(static_cast<uint64_t>(i)) : json(i);
    }
    case element_type::UINT64:
      return json(uint64_t(e));
    case element_type::DOUBLE:
      return json(double(e));
    case element_type::STRING: {
      const std::string_view sv(e);
      return json(std::string(sv.data(), sv.size()));
    }
    case element_type::BOOL:
      return json(bool(e));
    case element_type::NULL_VALUE:
    default:
      return json(nullptr);
  }
}

// Escapes of surrogate code points, which the two parsers might read differently.
bool hasSurrogateEscape(const std::string& text) {
  for (size_t at = text.find("\\u"); at != std::string::npos; at = text.find("\\u", at + 2))
    if (at + 2 < text.size() && (text[at + 2] == 'd' || text[at + 2] == 'D')) return true;
  return false;
}

}  // namespace
#endif

json parseLine(const std::string& text) {
  size_t depth = 0;
  bool inString = false;
  const char* data = text.data();
  const size_t size = text.size();
  for (size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (inString) {
      // Inside a string only its end and escapes matter: found with memchr, not byte by byte.
      const char* quote = static_cast<const char*>(std::memchr(data + i, '"', size - i));
      const size_t end = quote ? static_cast<size_t>(quote - data) : size;
      const char* escape = static_cast<const char*>(std::memchr(data + i, '\\', end - i));
      if (escape) {
        i = static_cast<size_t>(escape - data) + 1;  // the escaped character is skipped
      } else {
        i = end;
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxJsonNesting)
        throw RequestError("arrays and objects are nested more than " +
                           std::to_string(kMaxJsonNesting) + " deep");
    } else if ((c == ']' || c == '}') && depth > 0) {
      --depth;
    }
  }
  // simdjson reads long texts many times faster; whatever it refuses (or might read
  // differently) goes to nlohmann's parser, whose answer, and error text, is the protocol's.
  // A long line gets a parser of its own, so that its buffers go when it is read.
  // Short lines are copied into one padded buffer kept for the next (simdjson reads a little
  // past the end of the text).
#if ZQ_HAVE_SIMDJSON
  simdjson::dom::element doc;
  if (text.size() > (1u << 20)) {
    if (!hasSurrogateEscape(text)) {
      simdjson::dom::parser own;
      if (own.parse(text.data(), text.size(), true).get(doc) == simdjson::SUCCESS)
        return fromSimd(doc);
    }
  } else if (readShortLine(text, doc)) {
    return fromSimd(doc);
  }
#endif
  return json::parse(text);
}

#if ZQ_HAVE_SIMDJSON
bool readShortLine(const std::string& text, simdjson::dom::element& doc) {
  if (text.size() > (1u << 20) || hasSurrogateEscape(text)) return false;
  static simdjson::dom::parser shared;
  static std::string padded;
  padded.assign(text);
  padded.append(simdjson::SIMDJSON_PADDING, '\0');
  return shared.parse(padded.data(), text.size(), false).get(doc) == simdjson::SUCCESS;
}

bool simpleValue(EXTfldval& v, simdjson::dom::element e) {
  using simdjson::dom::element_type;
  if (e.type() != element_type::OBJECT) return false;
  const simdjson::dom::object form(e);
  if (form.size() != 1) return false;
  const simdjson::dom::key_value_pair only = *form.begin();
  const std::string_view key = only.key;
  const simdjson::dom::element x = only.value;
  const element_type t = x.type();
  // Integers as the general reading takes them: within the type's range, else refused.
  auto integer = [&](int64_t lo, int64_t hi, int64_t& n) {
    if (t == element_type::INT64) {
      n = int64_t(x);
      return n >= lo && n <= hi;
    }
    if (t == element_type::UINT64) {
      const uint64_t u = uint64_t(x);
      n = static_cast<int64_t>(u);
      return u <= static_cast<uint64_t>(hi);
    }
    return false;
  };
  int64_t n = 0;
  try {
    if (key == "char") {
      if (t != element_type::STRING) return false;
      const std::string_view text(x);
      setUtf8Text(v, text.data(), text.size());
    } else if (key == "int") {
      if (!integer(std::numeric_limits<qlong>::min(), std::numeric_limits<qlong>::max(), n))
        return false;
      v.setLong(static_cast<qlong>(n));
    } else if (key == "int64") {
      if (!integer(std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max(), n))
        return false;
      v.setLong64(n);
    } else if (key == "num") {
      if (t == element_type::DOUBLE)
        v.setNum(double(x));
      else if (t == element_type::INT64)
        v.setNum(static_cast<double>(int64_t(x)));
      else if (t == element_type::UINT64)
        v.setNum(static_cast<double>(uint64_t(x)));
      else
        return false;
    } else if (key == "bool") {
      if (t != element_type::BOOL) return false;
      v.setBool(bool(x) ? qboolTrue : qboolFalse);
    } else if (key == "date" || key == "null" || key == "bin" || key == "picture" ||
               key == "object") {
      if (t != element_type::STRING) return false;
      const std::string_view sv(x);
      const std::string text(sv.data(), sv.size());
      if (key == "date")
        setDateText(v, text);
      else if (key == "null")
        v.setNull(typeCode(text));
      else
        setBytesText(v, typeCode(std::string(key)), text);
    } else {
      return false;
    }
  } catch (const RequestError&) {
    return false;  // the general reading gives the error text
  }
  return true;
}
#endif

}  // namespace zqhost
