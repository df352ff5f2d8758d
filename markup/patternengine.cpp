// The engines behind $findPatterns: Boost.Regex, which defines what a pattern means, and
// PCRE2's JIT for the patterns and texts on which both are known to agree.
#include "patternengine.h"

#define PCRE2_CODE_UNIT_WIDTH 32
#include <pcre2.h>

#include <list>
#include <locale>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_map>

static_assert(sizeof(wchar_t) == sizeof(char32_t), "wide characters are UTF-32 code units");

namespace {

// Case-insensitive matching and the character classes (\w, [[:alpha:]]) follow Unicode rather
// than the ASCII-only "C" locale, when the platform has a UTF-8 locale.
const std::locale& unicodeLocale() {
  static const std::locale locale = [] {
    for (const char* name : {"C.UTF-8", "en_US.UTF-8"}) {
      try {
        return std::locale(name);
      } catch (const std::runtime_error&) {
      }
    }
    return std::locale::classic();
  }();
  return locale;
}

void compileBoost(boost::wregex& expression, const char32_t* chars, size_t count) {
  // Boost's parser looks one character past an unfinished set, group or escape, so it gets a
  // NUL-terminated copy rather than the caller's characters, which may end an allocation.
  const std::wstring text(reinterpret_cast<const wchar_t*>(chars),
                          reinterpret_cast<const wchar_t*>(chars) + count);
  expression.imbue(unicodeLocale());
  expression.assign(text.data(), text.data() + text.size(),
                    boost::regex_constants::perl | boost::regex_constants::icase);
}

// Boost's meaning of line ends in wide text: LF, CR, FF, NEL, LS and PS, compared on the low 16
// bits of the character, and never between the CR and LF of a CRLF. PCRE2 is given LF alone:
// with CRLF or "any" line ends it also never starts a match between CR and LF, where Boost does.
bool boostLineEnd(char32_t c) {
  const unsigned low = c & 0xFFFFu;
  return low == 0x0A || low == 0x0D || low == 0x0C || low == 0x85 || low == 0x2028 || low == 0x2029;
}
bool pcreLineEnd(char32_t c) { return c == 0x0A; }

// Boost's Perl mode: ^ and $ at every line end (^ also after a line end that ends the text),
// and . matches line ends too.
const uint32_t kJitOptions = PCRE2_UTF | PCRE2_UCP | PCRE2_CASELESS | PCRE2_MULTILINE |
                             PCRE2_ALT_CIRCUMFLEX | PCRE2_DOTALL | PCRE2_NO_UTF_CHECK;

pcre2_code* compileJit(const char32_t* chars, size_t count, bool plainStart = false) {
  pcre2_compile_context* context = pcre2_compile_context_create(nullptr);
  if (!context) return nullptr;
  pcre2_set_newline(context, PCRE2_NEWLINE_LF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  static const char32_t kEmpty[1] = {0};
  pcre2_code* code = pcre2_compile(reinterpret_cast<PCRE2_SPTR>(count ? chars : kEmpty), count,
                                   kJitOptions | (plainStart ? PCRE2_NO_START_OPTIMIZE : 0u),
                                   &error, &offset, context);
  pcre2_compile_context_free(context);
  if (code && pcre2_jit_compile(code, PCRE2_JIT_COMPLETE) != 0) {
    pcre2_code_free(code);
    code = nullptr;
  }
  return code;
}

// Per-thread matching state of PCRE2: the JIT stack, the limits and the match data. What could
// not be had is asked for again on the next use.
struct JitState {
  pcre2_jit_stack* stack = nullptr;
  pcre2_match_context* context = nullptr;
  pcre2_match_data* data = nullptr;
  JitState() = default;
  JitState(const JitState&) = delete;
  JitState& operator=(const JitState&) = delete;
  ~JitState() {
    pcre2_match_data_free(data);
    pcre2_match_context_free(context);
    pcre2_jit_stack_free(stack);
  }
  bool ready() {
    if (!stack) stack = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
    if (!data) data = pcre2_match_data_create(2, nullptr);
    if (!context && stack) {
      context = pcre2_match_context_create(nullptr);
      if (context) {
        pcre2_set_match_limit(context, 10000000);
        pcre2_jit_stack_assign(context, nullptr, stack);
      }
    }
    return stack && context && data;
  }
};

// Enumerates the matches of a PCRE2 pattern the way Boost's regex_iterator does: the next
// search starts where the last match ended; after an empty match it may not end empty at that
// same place again. Returns false at a limit or a memory failure.
bool runJit(const pcre2_code* code, const char32_t* first, size_t length,
            std::vector<PatternMatch>& out) {
  thread_local JitState state;
  if (!state.ready()) return false;
  static const char32_t kEmpty[1] = {0};
  const PCRE2_SPTR subject = reinterpret_cast<PCRE2_SPTR>(length ? first : kEmpty);
  const size_t before = out.size();
  PCRE2_SIZE start = 0;
  uint32_t options = 0;
  for (;;) {
    const int rc =
        pcre2_jit_match(code, subject, length, start, options, state.data, state.context);
    if (rc == PCRE2_ERROR_NOMATCH) return true;
    if (rc < 0) {
      out.resize(before);
      return false;
    }
    const PCRE2_SIZE* ov = pcre2_get_ovector_pointer(state.data);
    PatternMatch m = {static_cast<long>(ov[0]), static_cast<long>(ov[1]), -1, -1};
    if (rc != 1 && ov[2] != PCRE2_UNSET) {
      m.groupStart = static_cast<long>(ov[2]);
      m.groupEnd = static_cast<long>(ov[3]);
    }
    out.push_back(m);
    start = ov[1];
    options = ov[0] == ov[1] ? PCRE2_NOTEMPTY_ATSTART : 0;
  }
}

// Printable ASCII, tab and line feed: most texts consist of nothing else.
inline unsigned plainAscii(char32_t c) {
  return static_cast<unsigned>(c - 0x20u <= 0x5Eu) | (c == 0x0A) | (c == 0x09);
}

// Whether the kChunk characters at text are all plain. A loop the compiler vectorises, built
// a second time for AVX2 where the processor has it (chosen once, when the program loads).
const size_t kChunk = 256;
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
__attribute__((target_clones("avx2", "default")))
#endif
bool plainChunk(const char32_t* text) {
  unsigned plain = 1;
  for (size_t k = 0; k < kChunk; ++k) plain &= plainAscii(text[k]);
  return plain != 0;
}

// Characters on which the engines disagree, one byte of PatternHazard bits per code point.
// Each class is measured by running one probe through both engines over the characters, a
// block of 4096 code points at a time when a text first holds one of them.
class HazardTable {
 public:
  HazardTable() : mKinds(0x110000, 0), mDone(0x110000 >> kBlockBits, false) {
    for (const Probe& p : kProbes) {
      const std::u32string expression(p.pattern);
      compileBoost(mBoost[&p - kProbes], expression.data(), expression.size());
      mJit[&p - kProbes] = compileJit(expression.data(), expression.size());
      if (!mJit[&p - kProbes]) throw std::bad_alloc();
    }
  }
  ~HazardTable() {
    for (pcre2_code* code : mJit) pcre2_code_free(code);
  }
  HazardTable(const HazardTable&) = delete;
  HazardTable& operator=(const HazardTable&) = delete;

  unsigned of(char32_t c) {
    if (c >= 0x110000 || (c >= 0xD800 && c <= 0xDFFF)) return kHazardInvalid;
    if (!mDone[c >> kBlockBits]) {
      try {
        measure(c >> kBlockBits);
      } catch (const std::bad_alloc&) {
        return ~0u;  // not measured: the text goes to Boost, and the block is tried again later
      }
    }
    return mKinds[c];
  }

  // Whether printable ASCII, tab and line feed are read alike by both engines, so that runs of
  // them need no lookup.
  bool plainIsSafe() {
    if (!mPlainKnown) {
      bool safe = true;
      for (char32_t c = 0; c < 0x80; ++c)
        if (plainAscii(c) && of(c) != 0) safe = false;
      if (!mDone[0]) return false;
      mPlainSafe = safe;
      mPlainKnown = true;
    }
    return mPlainSafe;
  }

 private:
  static const unsigned kBlockBits = 12;
  struct Probe {
    const char32_t* pattern;
    unsigned kind;
    bool nonAsciiMembers;  // every non-ASCII member is a hazard, not only the disputed ones
  };
  // Printable ASCII with case folding: a non-ASCII character in it, for either engine, folds
  // onto an ASCII character.
  static constexpr Probe kProbes[] = {{U"[ -~]+", kHazardFold, true},
                                      {U"\\w+", kHazardWord, false},
                                      {U"\\d+", kHazardDigit, false},
                                      {U"\\s+", kHazardSpace, false},
                                      {U".+", kHazardDot, false}};
  static const size_t kProbeCount = sizeof kProbes / sizeof kProbes[0];

  void measure(char32_t block) {
    const char32_t base = block << kBlockBits;
    std::u32string chars;
    chars.reserve(1u << kBlockBits);
    for (char32_t c = base; c < base + (1u << kBlockBits); ++c)
      if (c < 0xD800 || c > 0xDFFF) chars.push_back(c);
    std::vector<unsigned char> boost(1u << kBlockBits), pcre(1u << kBlockBits);
    std::vector<PatternMatch> found;
    for (size_t i = 0; i < kProbeCount; ++i) {
      std::fill(boost.begin(), boost.end(), 0);
      std::fill(pcre.begin(), pcre.end(), 0);
      const wchar_t* first = reinterpret_cast<const wchar_t*>(chars.data());
      for (boost::regex_iterator<const wchar_t*> it(first, first + chars.size(), mBoost[i]), end;
           it != end; ++it)
        for (const wchar_t* p = (*it)[0].first; p != (*it)[0].second; ++p)
          boost[static_cast<char32_t>(*p) - base] = 1;
      found.clear();
      if (!runJit(mJit[i], chars.data(), chars.size(), found)) throw std::bad_alloc();
      for (const PatternMatch& m : found)
        for (long k = m.start; k < m.end; ++k) pcre[chars[static_cast<size_t>(k)] - base] = 1;
      for (char32_t c : chars) {
        const size_t at = c - base;
        const bool disputed = kProbes[i].nonAsciiMembers ? c >= 0x80 && (boost[at] || pcre[at])
                                                         : boost[at] != pcre[at];
        if (disputed) mKinds[c] |= kProbes[i].kind;
      }
    }
    for (char32_t c : chars)
      if (boostLineEnd(c) != pcreLineEnd(c)) mKinds[c] |= kHazardLine;
    mDone[block] = true;
  }

  std::vector<unsigned char> mKinds;
  std::vector<bool> mDone;
  bool mPlainKnown = false, mPlainSafe = false;
  boost::wregex mBoost[kProbeCount];
  pcre2_code* mJit[kProbeCount] = {};
};

constexpr HazardTable::Probe HazardTable::kProbes[];

HazardTable& hazardTable() {
  thread_local HazardTable table;
  return table;
}

// Recognises the subset of the Perl syntax that runs on PCRE2:
//   literals: printable ASCII other than the syntax characters, \t \n \r, and a backslash before
//     one of . \ / - ( ) [ ] { } * + ? | ^ $ , : ; ! " # % & @ ~ = and space;
//   classes \d \D \w \W \s \S and . ; anchors ^ $ \b (Boost's \B never matches at the
//     end of the text, so it stays there);
//   sets (not negated) of such literals, ranges within a-z, A-Z or 0-9, and \d \w \s;
//   groups ( ) and (?: ), alternation, and the quantifiers * + ? (also lazy) and {n} {n,} {n,m}
//   (n, m up to 1000). A quantified group must not match empty nor hold a quantifier or a
//   choice; no branch of a choice may match empty.
class SubsetParser {
 public:
  SubsetParser(const char32_t* chars, size_t count) : mPos(chars), mEnd(chars + count) {}

  bool parse(unsigned* hazards, bool* plainStart) {
    Info info;
    if (!alternation(info) || mPos != mEnd) return false;
    *hazards = mHazards | kHazardInvalid;
    if (plainStart) *plainStart = mPlainStart;
    return true;
  }

 private:
  struct Info {
    bool canBeEmpty = true;
    bool quantified = false;
    bool alternatives = false;
    long length = 0;  // characters matched: the same every time, or -1 when it varies
  };
  static long lengthSum(long a, long b) { return a < 0 || b < 0 || a + b > 1000000 ? -1 : a + b; }

  static bool isPunctEscape(char32_t c) {
    return c < 0x80 && std::char_traits<char>::find(".\\/-()[]{}*+?|^$,:;!\"#%&@~= ", 29,
                                                    static_cast<char>(c)) != nullptr;
  }
  static bool isPlainLiteral(char32_t c) {
    return c >= 0x20 && c <= 0x7E &&
           std::char_traits<char>::find("\\^$.|?*+()[]{}", 14, static_cast<char>(c)) == nullptr;
  }
  bool more() const { return mPos != mEnd; }

  bool alternation(Info& info) {
    if (++mDepth > 64) return false;
    info = Info();
    bool empty = false;
    for (bool first = true;; first = false) {
      Info branch;
      if (!sequence(branch)) return false;
      empty = empty || branch.canBeEmpty;
      info.quantified = info.quantified || branch.quantified;
      if (first)
        info.length = branch.length;
      else if (branch.length != info.length)
        info.length = -1;
      if (!more() || *mPos != U'|') break;
      ++mPos;
      info.alternatives = true;
    }
    // PCRE2 10.42's JIT, searching for where a match can start, misses matches after a choice
    // whose branches differ in length ((?:ab|a)b*?bb finds nothing in "abb"), so such
    // patterns run without that search.
    if (info.alternatives && info.length < 0) mPlainStart = true;
    // PCRE2 10.42's JIT misses matches after a choice with an empty branch ((?:a|)a*a finds
    // nothing in "kak"), so a choice may not have a branch that can match empty.
    if (empty && info.alternatives) return false;
    info.canBeEmpty = empty;
    --mDepth;
    return true;
  }

  bool sequence(Info& info) {
    info = Info();
    while (more() && *mPos != U'|' && *mPos != U')') {
      Info item;
      bool quantifiable = true;
      if (!atom(item, quantifiable)) return false;
      if (more() && (*mPos == U'*' || *mPos == U'+' || *mPos == U'?' || *mPos == U'{')) {
        if (!quantifiable) return false;
        unsigned min = 0;
        long times = -1;
        if (!quantifier(min, times)) return false;
        // A repeated group with a choice or a repeat inside backtracks exponentially, and
        // Boost gives up where PCRE2 may not; one that can match empty sets its group
        // differently.
        if (mGroupItem && (item.quantified || item.canBeEmpty || item.alternatives)) return false;
        // PCRE2 10.42's JIT, searching for where a match can start, misses a match that ends
        // the text with a set that may be absent after four literal characters (aaaa[sx]? and
        // aa(aa([r-t]?)) find nothing in "aaaa"), when the set holds a class or a letter whose
        // case partner lies beyond Latin-1 (k, s). Such patterns are run without that search.
        if (mWideSetItem && min == 0) mPlainStart = true;
        item.quantified = true;
        if (min == 0) item.canBeEmpty = true;
        item.length = times < 0 || item.length < 0 || item.length * times > 1000000
                          ? -1
                          : item.length * times;
      }
      info.length = lengthSum(info.length, item.length);
      info.canBeEmpty = info.canBeEmpty && item.canBeEmpty;
      info.quantified = info.quantified || item.quantified;
      info.alternatives = info.alternatives || item.alternatives;
    }
    return true;
  }

  // Reads a quantifier: its minimum, and in times the fixed count ({n}) or -1.
  bool quantifier(unsigned& min, long& times) {
    const char32_t q = *mPos++;
    if (q == U'{') {
      unsigned max = 0;
      bool bounded = true;
      if (!number(min)) return false;
      if (more() && *mPos == U',') {
        ++mPos;
        if (more() && *mPos == U'}')
          bounded = false;
        else if (!number(max) || max < min)
          return false;
      } else {
        max = min;
      }
      if (!more() || *mPos != U'}') return false;
      ++mPos;
      if (bounded && max == min) times = min;
      // Boost skips some starts of a lazy counted repeat ({1,3}? before \b), so only
      // greedy counted repeats are taken.
      if (more() && *mPos == U'?') return false;
    } else {
      min = q == U'+' ? 1 : 0;
      if (more() && *mPos == U'?') ++mPos;
    }
    // A possessive or a doubled quantifier is left to Boost.
    return !(more() && (*mPos == U'*' || *mPos == U'+' || *mPos == U'?' || *mPos == U'{'));
  }

  bool number(unsigned& n) {
    n = 0;
    const char32_t* start = mPos;
    while (more() && *mPos >= U'0' && *mPos <= U'9' && mPos - start < 4)
      n = n * 10 + (*mPos++ - U'0');
    return mPos != start && n <= 1000 && !(more() && *mPos >= U'0' && *mPos <= U'9');
  }

  bool atom(Info& item, bool& quantifiable) {
    mGroupItem = false;
    mWideSetItem = false;
    const char32_t c = *mPos++;
    item.canBeEmpty = false;
    item.length = 1;
    switch (c) {
      case U'^':
      case U'$':
        mHazards |= kHazardLine;
        item.canBeEmpty = true;
        item.length = 0;
        quantifiable = false;
        return true;
      case U'.':
        mHazards |= kHazardDot;
        return true;
      case U'[':
        return set();
      case U'(': {
        if (more() && *mPos == U'?') {
          if (mEnd - mPos < 2 || mPos[1] != U':') return false;
          mPos += 2;
        }
        Info body;
        if (!alternation(body) || !more() || *mPos != U')') return false;
        ++mPos;
        item = body;
        mGroupItem = true;
        mWideSetItem = false;  // what the group's last atom left; (?:[sx])? is read right
        return true;
      }
      case U'\\': {
        if (!more()) return false;
        const char32_t e = *mPos++;
        switch (e) {
          case U'b':
            mHazards |= kHazardWord;
            item.canBeEmpty = true;
            item.length = 0;
            quantifiable = false;
            return true;
          default:
            return classOrLiteralEscape(e);
        }
      }
      default:
        if (!isPlainLiteral(c)) return false;
        mHazards |= kHazardFold;
        return true;
    }
  }

  bool classOrLiteralEscape(char32_t e) {
    switch (e) {
      case U'w':
      case U'W':
        mHazards |= kHazardWord;
        return true;
      case U'd':
      case U'D':
        mHazards |= kHazardDigit;
        return true;
      case U's':
      case U'S':
        mHazards |= kHazardSpace;
        return true;
      case U't':
      case U'n':
      case U'r':
        mHazards |= kHazardFold;
        return true;
      default:
        if (!isPunctEscape(e)) return false;
        mHazards |= kHazardFold;
        return true;
    }
  }

  static int rangeKind(char32_t c) {
    if (c >= U'a' && c <= U'z') return 1;
    if (c >= U'A' && c <= U'Z') return 2;
    if (c >= U'0' && c <= U'9') return 3;
    return 0;
  }

  // Whether the characters from..to take in k or s, whose case partners (the Kelvin sign,
  // the long s) make PCRE2 read the set as one beyond Latin-1.
  static bool holdsWideFoldingLetter(char32_t from, char32_t to) {
    for (char32_t c : {U'k', U'K', U's', U'S'})
      if (from <= c && c <= to) return true;
    return false;
  }

  bool set() {
    mHazards |= kHazardFold;
    // PCRE2 10.42's JIT misses a match ending the text after a repeated negated set
    // (aaaa[^a-z]* finds nothing in "aaaa" with caseless Unicode matching), so sets are
    // never negated here.
    const bool negated = more() && *mPos == U'^';
    if (negated) return false;
    // []...] and the POSIX forms [. [: [= read differently.
    if (more() && (*mPos == U']' || *mPos == U'.' || *mPos == U':' || *mPos == U'=')) return false;
    bool first = true;
    while (more() && *mPos != U']') {
      const char32_t c = *mPos++;
      if (c == U'\\') {
        if (!more()) return false;
        const char32_t e = *mPos++;
        // PCRE2 10.42's JIT misses a match that ends the text with a repeated negated set
        // holding a class (aaaa[^-\s]* finds nothing in "aaaa"), so classes stand only in
        // sets that are not negated, and only the positive ones.
        const bool isClass =
            e == U'd' || e == U'w' || e == U's' || e == U'D' || e == U'W' || e == U'S';
        if (isClass && (negated || e == U'D' || e == U'W' || e == U'S')) return false;
        if (isClass) mWideSetItem = true;
        if (!classOrLiteralEscape(e)) return false;
      } else if (c == U'[') {
        return false;
      } else if (c == U'-' && !first && !(more() && *mPos == U']')) {
        return false;  // a range that does not start at a literal
      } else {
        if (!isPlainLiteral(c) && c != U'^' && c != U'$' && c != U'.' && c != U'|' && c != U'?' &&
            c != U'*' && c != U'+' && c != U'(' && c != U')' && c != U'{' && c != U'}')
          return false;
        char32_t to = c;
        if (mEnd - mPos >= 2 && *mPos == U'-' && mPos[1] != U']') {
          to = mPos[1];
          if (rangeKind(c) == 0 || rangeKind(c) != rangeKind(to) || to < c) return false;
          mPos += 2;
        }
        if (holdsWideFoldingLetter(c, to)) mWideSetItem = true;
      }
      first = false;
    }
    if (!more()) return false;
    ++mPos;
    return true;
  }

  const char32_t* mPos;
  const char32_t* mEnd;
  unsigned mHazards = 0;
  int mDepth = 0;
  bool mGroupItem = false;    // the last atom was a group
  bool mWideSetItem = false;  // the last atom was a set that PCRE2 reads beyond Latin-1
  bool mPlainStart = false;   // PCRE2 must try every start (PCRE2_NO_START_OPTIMIZE)
};

// Recently compiled patterns of this thread, the most recent first.
class PatternCache {
 public:
  std::shared_ptr<const CompiledPattern> find(const std::u32string& key) {
    auto it = mIndex.find(key);
    if (it == mIndex.end()) return nullptr;
    mEntries.splice(mEntries.begin(), mEntries, it->second);
    return it->second->second;
  }
  void add(const std::u32string& key, const std::shared_ptr<const CompiledPattern>& pattern) {
    mEntries.emplace_front(key, pattern);
    try {
      mIndex.emplace(key, mEntries.begin());
    } catch (...) {
      mEntries.pop_front();
      throw;
    }
    if (mEntries.size() > kPatternCacheSize) {
      mIndex.erase(mEntries.back().first);
      mEntries.pop_back();
    }
  }

 private:
  typedef std::list<std::pair<std::u32string, std::shared_ptr<const CompiledPattern>>> Entries;
  Entries mEntries;
  std::unordered_map<std::u32string, Entries::iterator> mIndex;
};

}  // namespace

CompiledPattern::~CompiledPattern() { pcre2_code_free(mJit); }

void CompiledPattern::boostMatches(const wchar_t* first, const wchar_t* last,
                                   std::vector<PatternMatch>& out) const {
  typedef boost::regex_iterator<const wchar_t*> MatchIterator;
  for (MatchIterator it(first, last, mBoost), end; it != end; ++it) {
    const boost::match_results<const wchar_t*>& match = *it;
    PatternMatch m = {static_cast<long>(match[0].first - first),
                      static_cast<long>(match[0].second - first), -1, -1};
    if (match.size() > 1 && match[1].matched) {
      m.groupStart = static_cast<long>(match[1].first - first);
      m.groupEnd = static_cast<long>(match[1].second - first);
    }
    out.push_back(m);
  }
}

bool CompiledPattern::jitMatches(const char32_t* first, const char32_t* last,
                                 std::vector<PatternMatch>& out) const {
  return mJit && runJit(mJit, first, static_cast<size_t>(last - first), out);
}

void CompiledPattern::matches(const char32_t* first, const char32_t* last, unsigned textHazards,
                              std::vector<PatternMatch>& out) const {
  if (mJit && (mHazards & textHazards) == 0 && jitMatches(first, last, out)) return;
  boostMatches(reinterpret_cast<const wchar_t*>(first), reinterpret_cast<const wchar_t*>(last),
               out);
}

std::shared_ptr<const CompiledPattern> compilePattern(const char32_t* chars, size_t count) {
  thread_local PatternCache cache;
  const bool cached = count <= kPatternCacheMaxLength;
  std::u32string key;
  if (cached) {
    key = std::u32string(chars, chars + count);
    if (std::shared_ptr<const CompiledPattern> found = cache.find(key)) return found;
  }
  std::shared_ptr<CompiledPattern> pattern = std::make_shared<CompiledPattern>();
  compileBoost(pattern->mBoost, chars, count);
  unsigned hazards = 0;
  bool plainStart = false;
  if (inJitSubset(chars, count, &hazards, &plainStart)) {
    pattern->mJit = compileJit(chars, count, plainStart);
    pattern->mHazards = hazards;
  }
  if (cached) cache.add(key, pattern);
  return pattern;
}

unsigned textHazards(const char32_t* text, size_t count) {
  HazardTable* found = nullptr;
  try {
    found = &hazardTable();
  } catch (const std::bad_alloc&) {
    return ~0u;  // without the table every text goes to Boost
  }
  HazardTable& table = *found;
  // Runs of plain ASCII are passed over in chunks (a loop the compiler vectorises), provided
  // the table confirms that both engines read those characters alike.
  const bool plainIsSafe = table.plainIsSafe();
  unsigned kinds = 0;
  size_t i = 0;
  if (plainIsSafe) {
    for (; i + kChunk <= count; i += kChunk)
      if (!plainChunk(text + i))
        for (size_t k = 0; k < kChunk; ++k) kinds |= table.of(text[i + k]);
  }
  for (; i < count; ++i) kinds |= table.of(text[i]);
  return kinds;
}

bool inJitSubset(const char32_t* chars, size_t count, unsigned* hazards, bool* plainStart) {
  return SubsetParser(chars, count).parse(hazards, plainStart);
}
