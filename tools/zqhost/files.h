// Files as host values: the file: arguments of zqhost call.
#pragma once

#include <string>

#include "hostruntime.h"

namespace zqhost {

// The most bytes a binary value holds: its length is a 32-bit count.
const long long kMaxValueBytes = 2147483647;

// The whole content of the file at path as a binary value, read straight into the value's
// handle. Throws std::runtime_error naming the file when it cannot be opened or read, is a
// directory, or holds more than kMaxValueBytes (refused before anything is read when its size
// says so, or as soon as reading passes the limit, for a file that grows while it is read or a
// special file that reports no size). Never cuts the content short.
EXTfldval fileValue(const std::string& path);

}  // namespace zqhost
