// Method arguments as written on zqhost's command line: text, or a prefix naming the type
// (int:42, bin:00ff, file:PATH, textfile:PATH, json:VALUE, ...).
#pragma once

#include <stdexcept>
#include <string>

#include "hostruntime.h"

namespace zqhost {

// A command line that cannot be carried out as written.
class UsageError : public std::runtime_error {
 public:
  explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

// Sets v to the argument as a host value, in place, so that a file's content is read into v
// and not copied again. Integers may be given as the name of a registered constant
// (int:kZQCipherAES128). Files are read whole; "-" is standard input. Throws UsageError for
// a malformed argument and FileError for a file that cannot be read.
void setArgumentValue(const std::string& arg, const hostrt::Host::Registry& registry, EXTfldval& v);

// The value of the registered constant of that name (exact, else ignoring ASCII case), as
// an integer; false when there is none or its value is not an integer.
bool constantValue(const hostrt::Host::Registry& registry, const std::string& name,
                   long long& value);

// A decimal integer with an optional minus sign, nothing else.
bool parseInteger(const std::string& text, long long& value);

}  // namespace zqhost
