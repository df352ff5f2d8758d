// Proper case for names, titles and postal addresses, over a UTF-32 character buffer.
#pragma once

#include "hosttypes.h"

namespace zqtext {

struct CapsOptions {
  bool address = false;   // postal rules instead of personal-name rules
  bool collapse = false;  // runs of spaces become one space first
};

// Converts text (len characters, changed in place; collapsing can only shorten it, and len
// receives the new length). exceptions holds words each followed by ";" (exceptionsLen
// characters, may be 0); a word found after whitespace, followed by a space, is put in lower
// case.
void capsText(qchar* text, qlong& len, const qchar* exceptions, qlong exceptionsLen,
              const CapsOptions& options);

}  // namespace zqtext
