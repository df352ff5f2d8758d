// Patterns over the constructs that run on PCRE2, and texts made of the characters on which
// regular-expression engines tend to differ. Shared by the differential test and its fuzz
// harness; a Choice source decides every step (a seeded generator or fuzz input).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace patterngen {

// Picks numbers below a bound: from a seeded generator, or from fuzz bytes.
class Choice {
 public:
  explicit Choice(uint64_t seed) : mState(seed | 1) {}
  Choice(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
  unsigned below(unsigned bound) {
    if (bound <= 1) return 0;
    if (mData) {
      if (mPos >= mSize) return 0;
      return mData[mPos++] % bound;
    }
    mState ^= mState << 13;
    mState ^= mState >> 7;
    mState ^= mState << 17;
    return static_cast<unsigned>((mState >> 11) % bound);
  }
  bool exhausted() const { return mData && mPos >= mSize; }

 private:
  uint64_t mState = 0;
  const uint8_t* mData = nullptr;
  size_t mSize = 0, mPos = 0;
};

// Text characters: ASCII letters with odd case partners, the partners themselves (Kelvin sign,
// long s, dotless and dotted i, sigmas, sharp s), other letters and digits, every kind of line
// end and space, non-BMP characters (some whose low 16 bits look like line ends), punctuation.
inline const std::u32string& textAlphabet() {
  static const std::u32string chars =
      U"abkisxyzABKISXYZ019 _-.@,\u212A\u017F\u0131\u0130\u03C3\u03C2\u03A3\u00DF\u1E9E"
      U"\u00E9\u00C9\u00F6\u00B5\u039C\u212B\u00E5\u01C5\u0663\u00A0\u2003\t\n\r\v\f\u0085"
      U"\u2028\u2029\U0001F600\U00010400\U00010428\U0001D7CE\U0001000A\U0001000D\U00012028"
      U"\u4E2D\u0301";
  return chars;
}

inline std::u32string generateText(Choice& choice, unsigned maxLength) {
  const std::u32string& alphabet = textAlphabet();
  std::u32string text;
  const unsigned length = choice.below(maxLength + 1);
  // Runs of one letter, perhaps with a last character after them: repeated literals and
  // optional items then match up to the very end of the text.
  if (choice.below(5) == 0) {
    text.assign(length, U"aAkKsSx"[choice.below(7)]);
    if (choice.below(2)) text += static_cast<char32_t>(U"abs\n .\u017F"[choice.below(7)]);
    return text;
  }
  for (unsigned i = 0; i < length; ++i) {
    // Mostly plain ASCII, so that plenty of texts take the fast engine.
    if (choice.below(4) == 0)
      text += alphabet[choice.below(static_cast<unsigned>(alphabet.size()))];
    else
      text += static_cast<char32_t>(U"abkisxyzAB019 -.\n"[choice.below(17)]);
  }
  return text;
}

namespace detail {

inline void literal(Choice& choice, std::u32string& out) {
  static const char32_t* const kPieces[] = {
      U"a",   U"b",   U"k",   U"s",   U"i",   U"x",    U"A",   U"K",   U"S",
      U"I",   U"z",   U"0",   U"9",   U" ",   U"-",    U"@",   U",",   U"_",
      U"\\.", U"\\-", U"\\t", U"\\n", U"\\r", U"\\\\", U"\\(", U"\\*", U"\\$",
      U"\\^", U"\\/", U"\\ ", U"#",   U"%",   U"=",    U"!",   U"'",   U"<"};
  // Sometimes a run of one letter (aaaa), which PCRE2 searches for as a fixed prefix, over the
  // letters of the texts' runs.
  if (choice.below(5) == 0) {
    out.append(3 + choice.below(4), U"aksx"[choice.below(4)]);
    return;
  }
  out += kPieces[choice.below(sizeof kPieces / sizeof kPieces[0])];
}

inline void set(Choice& choice, std::u32string& out) {
  static const char32_t* const kItems[] = {
      U"a",   U"k",   U"s",   U"i",   U"Z",   U"0",   U"a-z", U"A-Z", U"0-9", U"i-k",
      U"K-S", U"r-t", U"\\d", U"\\w", U"\\s", U"\\d", U"\\.", U"\\]", U".",   U"_",
      U"@",   U" ",   U"\\n", U"^",   U"a-c", U"x-z", U"x",   U"A-J", U"l-r", U"t-z"};
  out += U'[';
  if (choice.below(6) == 0) out += U'-';
  const unsigned n = 1 + choice.below(3);
  for (unsigned i = 0; i < n; ++i) {
    const char32_t* item = kItems[choice.below(sizeof kItems / sizeof kItems[0])];
    if (i == 0 && (item[0] == U'^' || item[0] == U'.')) item = U"x";
    out += item;
  }
  out += U']';
}

inline void quantifier(Choice& choice, std::u32string& out) {
  static const char32_t* const kQuantifiers[] = {U"*",    U"+",     U"?",     U"{2}",
                                                 U"{1,}", U"{0,2}", U"{1,3}", U"{0}"};
  const unsigned q = choice.below(sizeof kQuantifiers / sizeof kQuantifiers[0]);
  out += kQuantifiers[q];
  if (q < 3 && choice.below(3) == 0) out += U'?';  // lazy
}

void alternation(Choice& choice, std::u32string& out, int depth, bool quantifiedGroup);

// A run of one letter and an item that may be absent: PCRE2 searches for the run as a fixed
// prefix and must still find the match that ends the text without the item.
inline void runThenOptional(Choice& choice, std::u32string& out) {
  out.append(4 + choice.below(3), U"aksx"[choice.below(4)]);
  switch (choice.below(4)) {
    case 0:
      set(choice, out);
      break;
    case 1: {
      static const char32_t* const kOptional[] = {U"\\d", U"\\w", U"\\s", U"\\S", U"."};
      out += kOptional[choice.below(5)];
      break;
    }
    case 2:
      out += choice.below(2) ? U"(" : U"(?:";
      literal(choice, out);
      out += U')';
      break;
    default:
      literal(choice, out);
  }
  out += U"?*"[choice.below(2)];
  if (choice.below(2)) out += U'?';
}

// An item; when quantifiedGroup, the item sits in a group that is quantified, so it neither
// carries a quantifier nor may match empty.
inline void item(Choice& choice, std::u32string& out, int depth, bool quantifiedGroup) {
  const unsigned kind = choice.below(depth < 3 ? 11 : 9);
  if (quantifiedGroup && (kind == 7 || kind == 8)) {
    literal(choice, out);
    return;
  }
  switch (kind) {
    case 0:
    case 1:
    case 2:
      literal(choice, out);
      break;
    case 3: {
      static const char32_t* const kClasses[] = {U"\\d", U"\\D", U"\\w", U"\\W",
                                                 U"\\s", U"\\S", U"."};
      out += kClasses[choice.below(7)];
      break;
    }
    case 4:
      set(choice, out);
      break;
    case 5:
      if (!quantifiedGroup) {
        runThenOptional(choice, out);
        return;
      }
      literal(choice, out);
      break;
    case 6:
      literal(choice, out);
      break;
    case 7:
      out += U"^";
      return;
    case 8:
      out += choice.below(2) ? U"$" : U"\\b";
      return;
    default: {  // a group, perhaps quantified
      const bool quantify = !quantifiedGroup && choice.below(2) == 0;
      out += choice.below(2) ? U"(" : U"(?:";
      alternation(choice, out, depth + 1, quantify || quantifiedGroup);
      out += U')';
      if (quantify) quantifier(choice, out);
      return;
    }
  }
  if (!quantifiedGroup && choice.below(3) == 0) quantifier(choice, out);
}

inline void alternation(Choice& choice, std::u32string& out, int depth, bool quantifiedGroup) {
  const unsigned branches = !quantifiedGroup && choice.below(4) == 0 ? 2 : 1;
  for (unsigned b = 0; b < branches; ++b) {
    if (b) out += U'|';
    // Each branch of a choice starts with a literal, so that none can match empty.
    if (branches > 1) literal(choice, out);
    const unsigned items = (branches > 1 ? 0 : 1) + choice.below(4);
    for (unsigned i = 0; i < items; ++i) item(choice, out, depth, quantifiedGroup);
  }
}

}  // namespace detail

inline std::u32string generatePattern(Choice& choice) {
  std::u32string out;
  if (choice.below(40) == 0) return out;  // the empty pattern
  // Now and then the whole pattern is a run and an optional item, perhaps in a group and
  // followed by an anchor, so that the texts' runs reach their end with it.
  if (choice.below(8) == 0) {
    const bool group = choice.below(2);
    if (group) out += U'(';
    if (choice.below(2)) {
      detail::runThenOptional(choice, out);
    } else {
      // A choice of runs of different lengths, a repeat, and a run again: (?:aaaa|a)a*?aa.
      const char32_t letter = U"aksx"[choice.below(4)];
      out += U"(?:";
      out.append(1 + choice.below(4), letter);
      out += U'|';
      out.append(1 + choice.below(4), choice.below(4) ? letter : U'b');
      out += U')';
      out += choice.below(3) ? std::u32string(1, letter) : U".";
      out += U"*+?"[choice.below(3)];
      if (choice.below(2)) out += U'?';
      out.append(1 + choice.below(4), letter);
    }
    if (group) out += U')';
    if (choice.below(2)) out += choice.below(2) ? U"$" : U"\\b";
    return out;
  }
  detail::alternation(choice, out, 0, false);
  return out;
}

}  // namespace patterngen
