// Replacing a text by another and dropping or keeping characters of a set, over UTF-32
// character buffers.
#pragma once

#include <cstring>

#include "charscan.h"
#include "hosttypes.h"

namespace zqtext {

// Replaces the occurrences of search (searchLen characters) in src (len characters) by repl.
// The first start characters are copied unsearched; matches do not overlap and inserted text
// is never searched again; maximum < 1 means no limit. The result is handed piece by piece to
// sink(const qchar* chars, qlong count), which answers 0 or a status that ends the work.
// Answers 0 or the sink's status; count receives the number of replacements made.
// Characters scanned before the text scanned so far is handed to the sink.
const qlong kWindow = 4096;

template <class Sink>
qlong replaceChars(const qchar* src, qlong len, qlong start, const qchar* search, qlong searchLen,
                   const qchar* repl, qlong replLen, qlong maximum, Sink&& sink, qlong& count) {
  count = 0;
  if (start < 0) start = 0;
  if (start > len) start = len;
  qlong copied = 0;  // characters of src already handed to the sink
  if (searchLen > 0 && len - start >= searchLen) {
    const qchar first = search[0];
    const size_t restBytes = static_cast<size_t>(searchLen - 1) * sizeof(qchar);
    // A match can begin no later than here.
    const qchar* const lastStart = src + (len - searchLen + 1);
    const qchar* p = src + start;
    while (p < lastStart && (maximum < 1 || count < maximum)) {
      // Scan a window at a time and hand over a window without a match at once, while its
      // characters are still in the cache.
      const qchar* windowEnd = lastStart - p > kWindow ? p + kWindow : lastStart;
      p = findChar(p, windowEnd, first);
      if (p == windowEnd) {
        if (p == lastStart) break;
        const qlong at = static_cast<qlong>(p - src);
        if (const qlong status = sink(src + copied, at - copied)) return status;
        copied = at;
        continue;
      }
      if (std::memcmp(p + 1, search + 1, restBytes) != 0) {
        ++p;
        continue;
      }
      const qlong at = static_cast<qlong>(p - src);
      qlong status = at > copied ? sink(src + copied, at - copied) : 0;
      if (status == 0 && replLen > 0) status = sink(repl, replLen);
      if (status != 0) return status;
      ++count;
      copied = at + searchLen;
      p = src + copied;
    }
  }
  return len > copied ? sink(src + copied, len - copied) : 0;
}

// Copies to out (room for len characters) the characters of src that are in set when keep
// is true, or that are not in it when keep is false, in their order. Answers the number
// written.
qlong removeChars(const qchar* src, qlong len, const CharSet& set, bool keep, qchar* out);

}  // namespace zqtext
