// Reading method arguments from the command line.
#include "arguments.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "files.h"
#include "jsonvalues.h"

namespace zqhost {

namespace {

bool sameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    const char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

// nlohmann's exception texts start with "[json.exception.parse_error.101] "; the reason
// after it is what a person needs.
std::string jsonReason(const std::exception& e) {
  const std::string what = e.what();
  const size_t close = what[0] == '[' ? what.find("] ") : std::string::npos;
  return close == std::string::npos ? what : what.substr(close + 2);
}

}  // namespace

bool parseInteger(const std::string& text, long long& value) {
  size_t i = text.size() > 1 && text[0] == '-' ? 1 : 0;
  if (i == text.size()) return false;
  for (size_t j = i; j < text.size(); ++j)
    if (text[j] < '0' || text[j] > '9') return false;
  errno = 0;
  value = std::strtoll(text.c_str(), nullptr, 10);
  return errno == 0;
}

bool constantValue(const hostrt::Host::Registry& registry, const std::string& name,
                   long long& value) {
  const HostCall::Constant* found = nullptr;
  for (const HostCall::Constant& c : registry.constants)
    if (c.name == name) found = &c;
  for (const HostCall::Constant& c : registry.constants)
    if (!found && sameIgnoringAsciiCase(c.name, name)) found = &c;
  return found && parseInteger(found->value, value);
}

void setArgumentValue(const std::string& arg, const hostrt::Host::Registry& registry,
                      EXTfldval& v) {
  const size_t colon = arg.find(':');
  const std::string prefix = colon == std::string::npos ? "" : arg.substr(0, colon);
  const std::string rest = colon == std::string::npos ? arg : arg.substr(colon + 1);
  if (prefix == "int" || prefix == "int64") {
    long long n = 0;
    if (!parseInteger(rest, n) && !constantValue(registry, rest, n))
      throw UsageError("not an integer: " + arg + " (digits, or a constant's name such as " +
                       "kZQCipherAES128)");
    if (prefix == "int64") {
      v.setLong64(n);
    } else {
      if (n < std::numeric_limits<qlong>::min() || n > std::numeric_limits<qlong>::max())
        throw UsageError("out of range: " + arg);
      v.setLong(static_cast<qlong>(n));
    }
  } else if (prefix == "num") {
    char* end = nullptr;
    const double x = std::strtod(rest.c_str(), &end);
    if (rest.empty() || *end) throw UsageError("not a number: " + arg);
    v.setNum(x);
  } else if (prefix == "bool") {
    if (rest == "true" || rest == "1" || rest == "yes") {
      v.setBool(qboolTrue);
    } else if (rest == "false" || rest == "0" || rest == "no") {
      v.setBool(qboolFalse);
    } else {
      throw UsageError("not a boolean: " + arg);
    }
  } else if (prefix == "file") {
    readFile(rest, v);
  } else if (prefix == "bin") {
    std::string bytes;
    if (!hexToBytes(rest, bytes)) throw UsageError("not hexadecimal: " + arg);
    v.setBinary(fftBinary, reinterpret_cast<const qbyte*>(bytes.data()),
                static_cast<qlong>(bytes.size()));
  } else if (prefix == "textfile") {
    // UTF-8 text; the host turns invalid sequences into U+FFFD.
    const std::string text = readWholeFile(rest);
    if (text.size() > static_cast<size_t>(std::numeric_limits<qlong>::max() / 4))
      throw UsageError(rest + ": too large for a character value (" + std::to_string(text.size()) +
                       " bytes)");
    setUtf8Text(v, text.data(), text.size());
  } else if (prefix == "json") {
    try {
      v = valueFromJson(parseLine(rest));
    } catch (const RequestError& e) {
      throw UsageError("not a JSON value: " + arg + ": " + e.what());
    } catch (const json::exception& e) {
      throw UsageError("not a JSON value: " + arg + ": " + jsonReason(e));
    }
  } else if (prefix == "char") {
    setUtf8Text(v, rest.data(), rest.size());
  } else {
    setUtf8Text(v, arg.data(), arg.size());
  }
}

}  // namespace zqhost
