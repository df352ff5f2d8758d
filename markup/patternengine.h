// The regular-expression engines behind $findPatterns. Every pattern means what Boost.Regex
// makes of it (wide characters, Perl syntax, case-insensitive, Unicode locale). Patterns built
// only from a small set of constructs whose meaning PCRE2 shares are also compiled for PCRE2's
// JIT and run there, unless the text holds a character on which the two engines disagree for
// those constructs; everything else runs on Boost.Regex.
#pragma once

#include <boost/regex.hpp>
#include <cstddef>
#include <memory>
#include <vector>

struct pcre2_real_code_32;

// One match: start and end of the whole match, and of its first group (-1 when the pattern has
// no group or the group did not take part). Positions count characters from the text's start.
struct PatternMatch {
  long start, end, groupStart, groupEnd;
  bool operator==(const PatternMatch& o) const {
    return start == o.start && end == o.end && groupStart == o.groupStart && groupEnd == o.groupEnd;
  }
};

// Kinds of text characters on which the engines disagree for some construct (bit masks).
enum PatternHazard : unsigned {
  kHazardInvalid = 1,  // not a Unicode scalar value: PCRE2 cannot take the text
  kHazardFold = 2,     // a non-ASCII character one engine folds onto an ASCII letter
  kHazardWord = 4,     // \w, \W, \b, \B membership differs
  kHazardDigit = 8,    // \d, \D
  kHazardSpace = 16,   // \s, \S
  kHazardDot = 32,     // .
  kHazardLine = 64,    // a line end for one engine only (^, $)
};

class CompiledPattern {
 public:
  CompiledPattern() = default;
  CompiledPattern(const CompiledPattern&) = delete;
  CompiledPattern& operator=(const CompiledPattern&) = delete;
  ~CompiledPattern();

  const boost::wregex& boostForm() const { return mBoost; }
  bool hasJit() const { return mJit != nullptr; }
  // The kinds of text characters that send this pattern to Boost.Regex.
  unsigned hazards() const { return mHazards; }

  // Appends the matches over [first, last) as Boost.Regex's regex_iterator enumerates them.
  // Throws std::runtime_error when Boost gives up (complexity, stack).
  void boostMatches(const wchar_t* first, const wchar_t* last,
                    std::vector<PatternMatch>& out) const;
  // The same through PCRE2's JIT (hasJit() only). False, with out unchanged, when PCRE2 hit
  // one of its limits or could not get memory.
  bool jitMatches(const char32_t* first, const char32_t* last,
                  std::vector<PatternMatch>& out) const;
  // The matches, from the engine the pattern and the text allow (textHazards is
  // textHazards(first, last - first)); Boost.Regex also answers whenever PCRE2 stops at a limit.
  void matches(const char32_t* first, const char32_t* last, unsigned textHazards,
               std::vector<PatternMatch>& out) const;

 private:
  friend std::shared_ptr<const CompiledPattern> compilePattern(const char32_t*, size_t);
  boost::wregex mBoost;
  pcre2_real_code_32* mJit = nullptr;
  unsigned mHazards = 0;
};

// Compiles an expression, or finds it among the recently compiled ones. Throws what Boost.Regex
// throws for an invalid expression (std::runtime_error), and std::bad_alloc.
std::shared_ptr<const CompiledPattern> compilePattern(const char32_t* chars, size_t count);

// The hazard kinds (PatternHazard) of the characters of a text.
unsigned textHazards(const char32_t* text, size_t count);

// Whether an expression lies in the subset run by PCRE2, and which hazard kinds it is exposed
// to (set in *hazards when it does); *plainStart tells that PCRE2 must run it without its
// search for where a match can start, which misreads some of the subset's constructs.
bool inJitSubset(const char32_t* chars, size_t count, unsigned* hazards,
                 bool* plainStart = nullptr);

// Number of compiled patterns kept between calls, and the longest expression kept.
const size_t kPatternCacheSize = 64;
const size_t kPatternCacheMaxLength = 4096;
