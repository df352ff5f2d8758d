// The two engines behind $findPatterns: patterns of the PCRE2 subset must give exactly Boost's
// match lists on every text the fast engine is allowed to take.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "patternengine.h"
#include "patterngen.h"
#include "patterns.h"
#include "testhost.h"

namespace {

std::string show(const std::u32string& s) {
  std::string out;
  for (char32_t c : s) {
    if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char buf[16];
      snprintf(buf, sizeof buf, "\\x{%X}", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

std::string show(const std::vector<PatternMatch>& ms) {
  std::string out;
  for (const PatternMatch& m : ms)
    out += "(" + std::to_string(m.start) + "," + std::to_string(m.end) + "," +
           std::to_string(m.groupStart) + "," + std::to_string(m.groupEnd) + ")";
  return out;
}

// Compares the engines on one pattern and text. Returns true when PCRE2 took the text.
bool sameMatches(const std::u32string& pattern, const std::u32string& text) {
  std::shared_ptr<const CompiledPattern> compiled = compilePattern(pattern.data(), pattern.size());
  EXPECT_TRUE(compiled->hasJit()) << show(pattern);
  if (!compiled->hasJit() || (compiled->hazards() & textHazards(text.data(), text.size())))
    return false;
  std::vector<PatternMatch> boost, jit;
  const wchar_t* first = reinterpret_cast<const wchar_t*>(text.data());
  std::string boostFault;
  try {
    compiled->boostMatches(first, first + text.size(), boost);
  } catch (const std::runtime_error& e) {
    boostFault = e.what();
  }
  const bool jitAnswered = compiled->jitMatches(text.data(), text.data() + text.size(), jit);
  // Where PCRE2 stops at a limit, Boost answers. Where Boost gives up (too complex) there is no
  // list to compare with: PCRE2's answer then stands (PatternLimits.AnswerWhereBoostGivesUp).
  if (!jitAnswered || !boostFault.empty()) return true;
  EXPECT_EQ(show(jit), show(boost)) << "pattern " << show(pattern) << " text " << show(text);
  return true;
}

// The fixed-seed slice of the differential search: generated patterns crossed with generated
// texts (the fuzz harness fuzz_patterns_diff runs the same search on fuzz input).
TEST(PatternEngines, GeneratedPatternsMatchAlike) {
  // PATTERN_DIFF_SEED, PATTERN_DIFF_PATTERNS and PATTERN_DIFF_TEXT (longest text) widen the
  // search when run by hand.
  const char* seed = getenv("PATTERN_DIFF_SEED");
  const char* patterns = getenv("PATTERN_DIFF_PATTERNS");
  patterngen::Choice choice(seed ? strtoull(seed, nullptr, 10) : 20261208);
  const int count = patterns ? atoi(patterns) : 3000;
  const char* length = getenv("PATTERN_DIFF_TEXT");
  const unsigned textLength = length ? static_cast<unsigned>(atoi(length)) : 24;
  unsigned compared = 0, total = 0;
  for (int p = 0; p < count; ++p) {
    const std::u32string pattern = patterngen::generatePattern(choice);
    unsigned hazards = 0;
    ASSERT_TRUE(inJitSubset(pattern.data(), pattern.size(), &hazards)) << show(pattern);
    for (int t = 0; t < 12; ++t) {
      const std::u32string text = patterngen::generateText(choice, textLength);
      ++total;
      if (sameMatches(pattern, text)) ++compared;
      if (::testing::Test::HasFailure()) return;
    }
  }
  // Most pairs must really reach both engines, or the test proves little.
  EXPECT_GT(compared, total / 2);
}

// Strings of syntax characters, letters and escapes that the subset check accepts, compared like
// the generated patterns: a way to find constructs the check lets through but reads wrongly.
TEST(PatternEngines, RawPatternsInTheSubsetMatchAlike) {
  static const char32_t kPieces[] = U"ab.*+?|()[]^$-\\{},0123dwsbDWSk:=_ ";
  const char* seed = getenv("PATTERN_DIFF_SEED");
  const char* patterns = getenv("PATTERN_DIFF_PATTERNS");
  patterngen::Choice choice(seed ? strtoull(seed, nullptr, 10) : 7);
  const int count = patterns ? atoi(patterns) : 20000;
  unsigned accepted = 0;
  for (int p = 0; p < count; ++p) {
    std::u32string pattern;
    const unsigned length = 1 + choice.below(10);
    for (unsigned i = 0; i < length; ++i)
      pattern += kPieces[choice.below(sizeof kPieces / sizeof kPieces[0] - 1)];
    unsigned hazards = 0;
    if (!inJitSubset(pattern.data(), pattern.size(), &hazards)) continue;
    try {
      compilePattern(pattern.data(), pattern.size());
    } catch (const std::runtime_error&) {
      continue;  // Boost refuses it; PCRE2 is never asked
    }
    ++accepted;
    for (int t = 0; t < 4; ++t) sameMatches(pattern, patterngen::generateText(choice, 16));
    if (::testing::Test::HasFailure()) return;
  }
  EXPECT_GT(accepted, 1000u);
}

// Hand-picked cases at the edges: empty matches, line ends, word boundaries, case pairs.
TEST(PatternEngines, EdgeCasesMatchAlike) {
  const struct {
    const char32_t* pattern;
    const char32_t* text;
  } cases[] = {
      {U"", U"abc"},
      {U"x*", U"xax"},
      {U"a??", U"aa"},
      {U"^", U"a\nb\nc\n"},
      {U"$", U"a\nb\n\nc\n\n"},
      {U"^\\w*$", U"ab\ncd\n\nef"},
      {U"$\\s", U"a\n\n \n"},
      {U"\\b", U"ab cd_e9 \u00e9t\u00e9"},
      {U"(k)", U"K k \u00e9"},
      {U"[A-Z]+", U"abcXYZ\u00e9"},
      {U"\\d+|\\s+|\\W+", U"12 \t\n.,;\u00b7"},
      {U".", U"\n\r\U0001F600"},
      {U"(\\w+)@(\\w+)", U"me@here you@there"},
      {U"(?:ab|a)(c)?", U"abc ac ab"},
      {U"(?:a|bc)a*a", U"kak kaak kbcak"},
      {U"([ab]){2,3}", U"ababab"},
      {U"\\.\\-\\\\", U".-\\"},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(sameMatches(c.pattern, c.text)) << show(c.pattern);
  }
}

// A set that may be absent and holds a class or k or s, and a choice whose branches differ in
// length, send their pattern to PCRE2 without the search for where a match can start (that
// search misses the match of aaaa[sx]? in "aaaa"); other sets and choices keep it.
TEST(PatternEngines, PlainStart) {
  const struct {
    const char32_t* pattern;
    bool plainStart;
  } cases[] = {
      {U"aaaa[sx]?", true},
      {U"aa(aa([r-t]?))", true},
      {U"a[\\d.]*", true},
      {U"a[i-k]*?", true},
      {U"a[K-S]{0,2}", true},
      {U"a(?:[sx]?)", true},
      {U"[\\w]??", true},
      {U"aaaa[ax]?", false},
      {U"aaaa[sx]+", false},
      {U"aaaa[sx]{1,3}", false},
      {U"aaaa(?:[sx])?", false},
      {U"[0-9.]*", false},
      {U"aaaa\\w?", false},
      {U"aaaas?", false},
      // A choice whose branches differ in length ((?:ab|a)b*?bb finds nothing in "abb").
      {U"(?:ab|a)b*?bb", true},
      {U"x(aa|a{3})", true},
      {U"(?:ab*|ba)", true},
      {U"\\b(fox|dog)\\b", false},
      {U"(?:ab|c{2})x*", false},
  };
  for (const auto& c : cases) {
    unsigned hazards = 0;
    bool plainStart = !c.plainStart;
    ASSERT_TRUE(inJitSubset(c.pattern, std::char_traits<char32_t>::length(c.pattern), &hazards,
                            &plainStart))
        << show(c.pattern);
    EXPECT_EQ(plainStart, c.plainStart) << show(c.pattern);
  }
}

// Pattern and text pairs on which the engines once differed: the engine chosen for them must
// give Boost's matches.
TEST(PatternEngines, ChosenEngineGivesBoostsMatches) {
  const struct {
    const char32_t* pattern;
    const char32_t* text;
  } cases[] = {
      // Found by fuzz_patterns_diff; PCRE2's JIT found no match at all.
      {U"((a{2})z??aa{2})a{2}(a{2}((\\S$)\\b[r-tr-ta]*?a*?))a*?", U"aaaaaaaaaaaa"},
      {U"a{2}(a{2}([r-t]?))", U"aaaa"},
      {U"aaaa[sx]?", U"aaaa"},
      {U"aaaa[\\w]??", U"baaaa"},
      {U"kkkk[\\d.]*", U"kkkk"},
      {U"aaaa[j-l]{0,2}$", U"aaaa"},
      {U"((aaaa|aaa)aaa*?aaa*?\\d*)(a|xxxxxx\\**?<[-aa]*?)aaa*?aaa*?",
       U"bi\vaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa"},
      {U"(?:ab|a)b*?bb", U"abb"},
      {U"(?:aa|a)a*?aa", U"aaa"},
      {U"(?:ab|a)[b]*bb", U"abb"},
  };
  for (const auto& c : cases) {
    const std::u32string pattern(c.pattern), text(c.text);
    std::shared_ptr<const CompiledPattern> compiled =
        compilePattern(pattern.data(), pattern.size());
    std::vector<PatternMatch> boost, chosen;
    const wchar_t* first = reinterpret_cast<const wchar_t*>(text.data());
    compiled->boostMatches(first, first + text.size(), boost);
    compiled->matches(text.data(), text.data() + text.size(), textHazards(text.data(), text.size()),
                      chosen);
    EXPECT_TRUE(compiled->hasJit()) << show(pattern);
    EXPECT_FALSE(boost.empty()) << show(pattern);
    EXPECT_EQ(show(chosen), show(boost)) << show(pattern) << " in " << show(text);
  }
}

TEST(PatternEngines, Subset) {
  const struct {
    const char32_t* pattern;
    bool in;
  } cases[] = {
      {U"([a-z0-9._-]+)@[a-z0-9-]+\\.[a-z]{2,4}", true},
      {U"(\\d{4})-\\d{2}-\\d{2}", true},
      {U"\\b(qu\\w+)", true},
      {U"(?:ab|cd)x", true},
      {U"(ab)*", true},
      {U"(a|b)*", false},
      // Boost-only or differently read constructs stay on Boost.
      {U"\\<word\\>", false},
      {U"\\`a\\'", false},
      {U"\\Aa\\z", false},
      {U"(a)\\1", false},
      {U"[[:alpha:]]", false},
      {U"\\x41", false},
      {U"\\p{L}", false},
      {U"(?i)a", false},
      {U"(?=a)", false},
      {U"a*+", false},
      {U"a{,3}", false},
      {U"a{1,3}?\\b", false},
      {U"a{2000}", false},
      {U"a\\B", false},
      {U"[a-Z]", false},
      {U"[.a.]", false},
      {U"[+--]", false},
      {U"\u00e9", false},
      // A quantified group that can match empty or holds a quantifier.
      {U"(a*)*", false},
      {U"(a|)+", false},
      {U"(x+x+)+y", false},
      // A choice with a branch that can match empty (PCRE2's JIT misses matches after it).
      {U"(?:a|)a*a", false},
      {U"(a|x{0})a", false},
      {U"a*|b", false},
      // Negated sets, and negative classes in a set (PCRE2's JIT misses a match at the end
      // of the text after aaaa[^-\\s]* or aaaa[^a-z]*).
      {U"aaaa[^-\\s]*", false},
      {U"[\\W]", false},
      {U"[\\s-]", true},
      {U"aaaa[^a-z]*", false},
      {U"(a", false},
      {U"a)", false},
  };
  for (const auto& c : cases) {
    unsigned hazards = 0;
    EXPECT_EQ(inJitSubset(c.pattern, std::char_traits<char32_t>::length(c.pattern), &hazards), c.in)
        << show(c.pattern);
  }
  // Nesting is bounded, not a stack overflow.
  const std::u32string deep = std::u32string(100000, U'(') + std::u32string(100000, U')');
  unsigned hazards = 0;
  EXPECT_FALSE(inJitSubset(deep.data(), deep.size(), &hazards));
}

TEST(PatternEngines, TextHazards) {
  const struct {
    const char32_t* text;
    unsigned kinds;  // hazards that must be present
    unsigned absent;
  } cases[] = {
      // Letters and symbols common in real text do not leave the fast engine.
      {U"h\u00e9llo w\u00f6rld \u4e2d\u6587 \U0001F600 \u00df", 0, ~0u},
      // Case pairs that the engines fold differently onto ASCII letters.
      {U"\u212A", kHazardFold, 0},
      {U"\u017F", kHazardFold, 0},
      {U"\u0130", kHazardFold, 0},
      {U"\u0663", kHazardDigit, 0},
      {U"\u00a0", kHazardSpace, 0},
      {U"\U0001000A", kHazardLine, 0},
      {U"\r", kHazardLine, 0},
      {U"\f", kHazardLine, 0},
      {U"\u2028", kHazardLine, 0},
      {U"a\nb\v", 0, kHazardLine},
  };
  for (const auto& c : cases) {
    const size_t n = std::char_traits<char32_t>::length(c.text);
    const unsigned kinds = textHazards(c.text, n);
    EXPECT_EQ(kinds & c.kinds, c.kinds) << show(c.text);
    EXPECT_EQ(kinds & c.absent, 0u) << show(c.text);
  }
  const char32_t invalid[] = {0xD800, 0x110000};
  EXPECT_EQ(textHazards(invalid, 1), unsigned(kHazardInvalid));
  EXPECT_EQ(textHazards(invalid + 1, 1), unsigned(kHazardInvalid));
}

TEST(PatternEngines, CacheKeepsRecentPatterns) {
  const std::u32string a = U"cache(d)", b = U"other";
  std::shared_ptr<const CompiledPattern> first = compilePattern(a.data(), a.size());
  EXPECT_EQ(compilePattern(a.data(), a.size()), first);
  // Past its size the oldest patterns are dropped.
  for (size_t i = 0; i <= kPatternCacheSize; ++i) {
    const std::u32string p = U"p" + std::u32string(i + 1, U'x');
    compilePattern(p.data(), p.size());
  }
  EXPECT_NE(compilePattern(a.data(), a.size()), first);
  EXPECT_THROW(compilePattern(U"(", 1), std::runtime_error);
}

// A pattern of the subset that backtracks exponentially: PCRE2 stops at its match limit, and
// Boost.Regex then decides, giving up with its complexity error, as on the Boost path.
class PatternLimits : public zqtest::ComponentTest {};

TEST_F(PatternLimits, CatastrophicPatternGivesUpOnBothPaths) {
  const std::u32string pattern = U".*.*.*.*.*.*.*[yz]";
  const std::u32string text(60, U'x');
  std::shared_ptr<const CompiledPattern> compiled = compilePattern(pattern.data(), pattern.size());
  ASSERT_TRUE(compiled->hasJit());
  std::vector<PatternMatch> found;
  EXPECT_FALSE(compiled->jitMatches(text.data(), text.data() + text.size(), found));
  EXPECT_TRUE(found.empty());
  // Fast path (ASCII text), and Boost path (a long s sends the text to Boost): the fault is
  // the one Boost.Regex reports for the text.
  for (const std::u32string& t : {text, text + U"\u017F"}) {
    std::string reason;
    try {
      std::vector<PatternMatch> boost;
      const wchar_t* first = reinterpret_cast<const wchar_t*>(t.data());
      compiled->boostMatches(first, first + t.size(), boost);
    } catch (const std::runtime_error& e) {
      reason = e.what();
    }
    ASSERT_FALSE(reason.empty());
    std::vector<EXTfldval> params{zqtest::list({{"Runaway"}}, {{".*.*.*.*.*.*.*[yz]"}}, true),
                                  zqtest::chr32(t)};
    auto r = call("$findPatterns", params);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].detail, "Invalid pattern \"Runaway\" (column 1): " + reason);
  }
}

// Many repeats over the same letters and no 0 in the text: Boost.Regex tries every split of the
// text and gives up as too complex; PCRE2 sees that the required 0 is missing. The pattern of the
// subset therefore now answers, with no match, where Boost alone reported -102.
TEST_F(PatternLimits, AnswerWhereBoostGivesUp) {
  const std::u32string pattern = U"[a-z]*[a-z]*[a-z]*[a-z]*0";
  const std::u32string text(60, U'a');
  std::shared_ptr<const CompiledPattern> compiled = compilePattern(pattern.data(), pattern.size());
  std::vector<PatternMatch> found;
  const wchar_t* first = reinterpret_cast<const wchar_t*>(text.data());
  EXPECT_THROW(compiled->boostMatches(first, first + text.size(), found), std::runtime_error);
  std::vector<EXTfldval> params{zqtest::list({{"Splits"}}, {{"[a-z]*[a-z]*[a-z]*[a-z]*0"}}, true),
                                zqtest::chr32(text)};
  auto r = call("$findPatterns", params);
  EXPECT_TRUE(r.errors.empty());
  EXTqlist rows;
  ASSERT_TRUE(r.ret.getList(&rows, qfalse));
  EXPECT_EQ(rows.rowCnt(), 0);
}

}  // namespace
