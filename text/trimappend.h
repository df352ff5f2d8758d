// Trimming a set of characters from the ends of a text and merging two fixed-width pattern
// texts, over UTF-32 character buffers.
#pragma once

#include "charscan.h"
#include "hosttypes.h"

namespace zqtext {

// Removes the characters of set from the start (leading) and from the end (trailing) of text,
// in place; the rest moves to the front. Answers the new length.
qlong trimChars(qchar* text, qlong len, const CharSet& set, bool leading, bool trailing);

// Merges source into target, both len characters, position by position: a space in source
// leaves the target character; an equal character stays; a space in target takes the source
// character; any other difference becomes "*".
void orMerge(const qchar* source, qchar* target, qlong len);

}  // namespace zqtext
