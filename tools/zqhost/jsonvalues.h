// Host values as JSON: every value is an object with one key naming its type, for example
// {"char": "text"}, {"int": 42}, {"bin": "00ff"}, {"list": {"cols": [...], "rows": [...]}}.
#pragma once

#include <nlohmann/json.hpp>
#if ZQ_HAVE_SIMDJSON
#include <simdjson.h>
#endif
#include <stdexcept>
#include <string>

#include "hostruntime.h"

namespace zqhost {

using json = nlohmann::ordered_json;

// A request that cannot be carried out; its text becomes the {"error": ...} response.
class RequestError : public std::runtime_error {
 public:
  explicit RequestError(const std::string& what) : std::runtime_error(what) {}
};

// Type names of values and list columns: char, int, int64, num, bool, bin, date, list, row,
// objref, and picture/object for the two other byte types. typeCode throws RequestError for
// an unknown name; typeName gives the code as text for a code without a name.
ffttype typeCode(const std::string& name);
std::string typeName(ffttype type);

// A typed JSON value as a host value. Object references name host instances, which are made
// on first mention. Throws RequestError for anything malformed.
EXTfldval valueFromJson(const json& j);
// The same into v, a new value: characters and bytes go straight into v's own handle.
void setValueFromJson(EXTfldval& v, const json& j);
// A host value as a typed JSON value, and as its compact JSON text.
json valueToJson(const EXTfldval& v);
std::string valueText(const EXTfldval& v);

// Hexadecimal text (either case) to bytes, and bytes to lower-case hexadecimal text.
bool hexToBytes(const std::string& hex, std::string& bytes);
std::string bytesToHex(const qbyte* bytes, size_t len);

// A JSON integer in [lo, hi]; RequestError naming what otherwise.
qint64 integerIn(const json& j, qint64 lo, qint64 hi, const std::string& what);

// A short quotation of a JSON value for error texts.
std::string quote(const json& j);

// Arrays and objects nest at most this deep in a request line.
const size_t kMaxJsonNesting = 1000;
// A line of JSON text as a value: RequestError when it nests deeper than kMaxJsonNesting,
// json::parse_error when it is not JSON.
json parseLine(const std::string& text);

#if ZQ_HAVE_SIMDJSON
// simdjson's reading of a line of at most 1 MiB, valid until the next call. False for a longer
// line, for text simdjson refuses and for text with escapes of surrogate code points (which
// the parsers might read differently): parseLine then has the answer.
bool readShortLine(const std::string& text, simdjson::dom::element& doc);
// A value of the plain forms (char, int, int64, num, bool, date, the byte types and null)
// straight from simdjson's reading into v, the new value setValueFromJson would make of the
// same text. False, with nothing else changed, for every other form (lists, rows, object
// references, named constants) and for anything setValueFromJson would refuse.
bool simpleValue(EXTfldval& v, simdjson::dom::element e);
#endif

}  // namespace zqhost
