// The word set behind $getuniquewords: each word found new exactly once, across growth.
#include "wordset.h"

#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

namespace {

TEST(WordSetTest, EachWordIsNewOnce) {
  const std::u32string text = U"a b a ab ba b abc a\u00e9 a\u00e9 \U0001F600 \U0001F600 abc";
  const struct {
    size_t at, length;
    bool isNew;
  } cases[] = {
      {0, 1, true},   {2, 1, true},   {4, 1, false},  {6, 2, true},   {9, 2, true},
      {12, 1, false}, {14, 3, true},  {18, 2, true},  {21, 2, false}, {24, 1, true},
      {26, 1, false}, {28, 3, false}, {14, 2, false},  // "ab" again, inside "abc"
  };
  WordSet set;
  size_t added = 0;
  for (size_t i = 0; i < std::size(cases); ++i) {
    const auto& c = cases[i];
    EXPECT_EQ(set.insert(text.data() + c.at, c.length), c.isNew) << i;
    added += c.isNew;
  }
  EXPECT_TRUE(set.insert(text.data() + 15, 2));  // "bc"
  EXPECT_EQ(set.size(), added + 1);
}

// Against an ordered set, over many words of a small alphabet (many repeats, many growths).
TEST(WordSetTest, AgreesWithAnOrderedSetAcrossGrowth) {
  std::mt19937 rng(7);
  std::vector<std::u32string> words;
  for (int i = 0; i < 200000; ++i) {
    std::u32string w(1 + rng() % 6, U'a');
    for (char32_t& c : w)
      c = U'a' + static_cast<char32_t>(rng() % 5) + (rng() % 50 == 0 ? 0x1F000 : 0);
    words.push_back(w);
  }
  WordSet set;
  std::set<std::u32string> reference;
  for (size_t i = 0; i < words.size(); ++i) {
    const bool isNew = reference.insert(words[i]).second;
    ASSERT_EQ(set.insert(words[i].data(), words[i].size()), isNew) << i;
  }
  EXPECT_EQ(set.size(), reference.size());
  EXPECT_GT(reference.size(), 5000u);
}

}  // namespace
