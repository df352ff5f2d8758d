// HTML character entities: the entity table, the two look-up maps built from it, and the
// encoder and decoder over UTF-32 character buffers.
#pragma once

#include <cstddef>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "charbuffer.h"
#include "hosttypes.h"

// One row of the entity table: the entity name with its final semicolon (ASCII, without the
// ampersand) and the character it stands for.
struct EntityRow {
  const char* name;
  qchar character;
};

// The 252 character entity references of HTML 4.01 (with "lang;" and "rang;" standing for
// U+3008 and U+3009, the CJK angle brackets), then "apos;" and "#39;" for the apostrophe.
extern const EntityRow kEntityTable[];
const size_t kEntityTableSize = 254;

// Longest name, semicolon included, that the look-up considers.
const qlong kMaxEntityName = 15;

class EntityMaps {
 public:
  EntityMaps();

  // The character of an entity name (semicolon included, exact case); 0 when it is none.
  qchar characterOf(const qchar* name, qlong len) const;
  // The table row whose name encodes c, or null when c has no entity. The apostrophe encodes
  // as "#39;".
  const EntityRow* entityOf(qchar c) const {
    return static_cast<size_t>(c) < mByCharacter.size() && mByCharacter[c] != 0
               ? &kEntityTable[mByCharacter[c] - 1]
               : nullptr;
  }

  // The reference that encodes c, ampersand and semicolon included, or null when c has none.
  struct Reference {
    qchar chars[kMaxEntityName + 1];
    qlong length;
  };
  const Reference* referenceOf(qchar c) const {
    return static_cast<size_t>(c) < mByCharacter.size() && mByCharacter[c] != 0
               ? &mReferences[mByCharacter[c] - 1]
               : nullptr;
  }

  size_t nameCount() const { return mByName.size(); }
  size_t characterCount() const;

 private:
  std::unordered_map<std::string_view, qchar> mByName;  // all 254 names
  std::vector<unsigned char> mByCharacter;              // code point -> table row + 1 (0: none)
  Reference mReferences[kEntityTableSize];              // by table row
};

// The process-wide maps, built on the first call (thread-safe) and kept for the process.
const EntityMaps& buildEntityMap();

// Replaces every character that has an entity by its reference, keeping references that are
// already present. Appends to out.
void encodeEntities(const qchar* text, qlong len, CharBuffer& out);
// Replaces every known entity reference by its character; anything else is copied.
void decodeEntities(const qchar* text, qlong len, CharBuffer& out);
