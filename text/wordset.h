// A set of words (non-empty runs of UTF-32 characters held elsewhere) for finding the distinct
// words of long texts. Open addressing in one flat table of (hash, length, pointer) slots: a lookup
// touches one slot, and the word's characters only when the hash and length agree, where a
// node-based set walks a bucket array, its nodes and their words, one cache miss each once
// the set outgrows the caches.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "hosttypes.h"

class WordSet {
 public:
  // Adds the word of length (at least 1, below 2^32) characters at chars, which must outlive
  // the set; true when it was not there yet.
  bool insert(const qchar* chars, size_t length) {
    if (2 * (mCount + 1) > mSlots.size()) grow();
    const uint32_t h = hash(chars, length);
    const size_t mask = mSlots.size() - 1;
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      Slot& s = mSlots[i];
      if (!s.chars) {
        s = Slot{h, static_cast<uint32_t>(length), chars};
        ++mCount;
        return true;
      }
      if (s.hash == h && s.length == length &&
          std::memcmp(s.chars, chars, length * sizeof(qchar)) == 0)
        return false;
    }
  }
  size_t size() const { return mCount; }

 private:
  // The slot of a word is its hash's low bits, so that growing needs no word read again.
  struct Slot {
    uint32_t hash = 0;
    uint32_t length = 0;
    const qchar* chars = nullptr;  // null in an empty slot
  };

  // 64-bit FNV-1a over the characters, finished with a multiply-xorshift so that the low bits
  // (the slot) depend on every character.
  static uint32_t hash(const qchar* chars, size_t length) {
    uint64_t h = 0xcbf29ce484222325ull;
    for (size_t i = 0; i < length; ++i) h = (h ^ chars[i]) * 0x100000001b3ull;
    h ^= h >> 32;
    h *= 0xd6e8feb86659fd93ull;
    h ^= h >> 32;
    return static_cast<uint32_t>(h);
  }

  void grow() {
    std::vector<Slot> old(mSlots.size() < 16 ? 32 : 2 * mSlots.size());
    old.swap(mSlots);
    const size_t mask = mSlots.size() - 1;
    for (const Slot& s : old) {
      if (!s.chars) continue;
      size_t i = s.hash & mask;
      while (mSlots[i].chars) i = (i + 1) & mask;
      mSlots[i] = s;
    }
  }

  std::vector<Slot> mSlots;
  size_t mCount = 0;
};
