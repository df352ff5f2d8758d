// Differential fuzzing of the two pattern engines: wherever $findPatterns would let PCRE2 run a
// pattern over a text, its match list must be exactly Boost.Regex's.
//
// The first byte picks the way the pattern is made:
//   even: a pattern generated from the remaining bytes over the constructs run by PCRE2 (as the
//         differential test does with a seeded generator);
//   odd:  the remaining bytes up to the first NUL, taken as the pattern itself (one character
//         per byte), to find constructs that the subset check lets through but that differ.
// Texts are generated from the bytes that follow.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "../tests/markup/patterngen.h"
#include "patternengine.h"

namespace {

std::string show(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) {
    char buf[16];
    if (c >= 0x20 && c < 0x7F)
      out += static_cast<char>(c);
    else
      out += (snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(c)), buf);
  }
  return out;
}

void report(const char* what, const std::u32string& pattern, const std::u32string& text) {
  fprintf(stderr, "%s\npattern: %s\ntext: %s\n", what, show(pattern).c_str(), show(text).c_str());
  abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  std::u32string pattern;
  size_t used = 1;
  if (data[0] & 1) {
    while (used < size && data[used] != 0 && pattern.size() < 200) pattern += data[used++];
    ++used;
  } else {
    patterngen::Choice choice(data + 1, size > 64 ? 64 : size - 1);
    pattern = patterngen::generatePattern(choice);
    used = size > 65 ? 65 : size;
  }
  unsigned hazards = 0;
  if (!inJitSubset(pattern.data(), pattern.size(), &hazards)) {
    if (!(data[0] & 1)) report("generated pattern outside the subset", pattern, U"");
    return 0;
  }
  std::shared_ptr<const CompiledPattern> compiled;
  try {
    compiled = compilePattern(pattern.data(), pattern.size());
  } catch (const std::runtime_error&) {
    return 0;  // Boost refuses it: the method reports that, PCRE2 is never asked
  }
  if (!compiled->hasJit())
    report("pattern of the subset that PCRE2 does not compile", pattern, U"");

  patterngen::Choice choice(used < size ? data + used : data, used < size ? size - used : 0);
  for (int t = 0; t < 4 && !choice.exhausted(); ++t) {
    const std::u32string text = patterngen::generateText(choice, 48);
    if (compiled->hazards() & textHazards(text.data(), text.size())) continue;
    std::vector<PatternMatch> boost, jit;
    bool boostGaveUp = false;
    try {
      const wchar_t* first = reinterpret_cast<const wchar_t*>(text.data());
      compiled->boostMatches(first, first + text.size(), boost);
    } catch (const std::runtime_error&) {
      boostGaveUp = true;
    }
    const bool jitAnswered = compiled->jitMatches(text.data(), text.data() + text.size(), jit);
    // PCRE2 stopping at a limit is fine (Boost then answers); where Boost gives up as too
    // complex there is no list to compare with, and PCRE2's answer stands.
    if (jitAnswered && !boostGaveUp && !(jit == boost)) report("match lists differ", pattern, text);
  }
  return 0;
}
