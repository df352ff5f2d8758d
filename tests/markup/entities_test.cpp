// $encodeEntities and $decodeEntities through the entry procedure, and the entity maps.
#include <set>
#include <string>

#include "testhost.h"
#include "zqhtmlentities.h"

using namespace zqtest;

namespace {

class Entities : public ComponentTest {
 protected:
  std::u32string run(const char* method, const std::u32string& input) {
    std::vector<EXTfldval> params{chr32(input)};
    auto r = call(method, params);
    EXPECT_TRUE(r.errors.empty()) << method;
    EXPECT_TRUE(r.changed.empty());
    EXPECT_TRUE(r.hasReturn);
    EXPECT_EQ(r.ret.getType(), fftCharacter);
    return text32(r.ret);
  }
  std::u32string encode(const std::u32string& s) { return run("$encodeEntities", s); }
  std::u32string decode(const std::u32string& s) { return run("$decodeEntities", s); }
};

TEST(EntityMaps, TableAndMapsHaveTheDefinedSizes) {
  const EntityMaps& maps = buildEntityMap();
  EXPECT_EQ(&maps, &buildEntityMap());  // built once
  EXPECT_EQ(maps.nameCount(), 254u);
  EXPECT_EQ(maps.characterCount(), 253u);
  // Every row decodes to its character; every character but the apostrophe encodes by its
  // own row's name.
  for (size_t i = 0; i < kEntityTableSize; ++i) {
    const EntityRow& row = kEntityTable[i];
    const std::u32string name(row.name, row.name + std::char_traits<char>::length(row.name));
    EXPECT_EQ(maps.characterOf(name.data(), static_cast<qlong>(name.size())), row.character)
        << row.name;
    ASSERT_NE(maps.entityOf(row.character), nullptr) << row.name;
    if (row.character != U'\'') {
      EXPECT_STREQ(maps.entityOf(row.character)->name, row.name);
    }
  }
  EXPECT_STREQ(maps.entityOf(U'\'')->name, "#39;");
}

TEST(EntityMaps, SpotValuesFromHtml401) {
  const std::pair<const char*, qchar> cases[] = {
      {"nbsp;", 0xA0},      {"yuml;", 0xFF},     {"fnof;", 0x192},   {"Omega;", 0x3A9},
      {"thetasym;", 0x3D1}, {"hellip;", 0x2026}, {"diams;", 0x2666}, {"OElig;", 0x152},
      {"euro;", 0x20AC},    {"rsaquo;", 0x203A}, {"lang;", 0x3008},  {"rang;", 0x3009},
      {"quot;", 0x22},      {"AElig;", 0xC6},    {"aelig;", 0xE6},   {"AMP;", 0},
      {"amp", 0},           {"#160;", 0},        {"Aelig;", 0}};
  const EntityMaps& maps = buildEntityMap();
  for (const auto& c : cases) {
    const std::u32string name(c.first, c.first + std::char_traits<char>::length(c.first));
    EXPECT_EQ(maps.characterOf(name.data(), static_cast<qlong>(name.size())), c.second) << c.first;
  }
  EXPECT_EQ(maps.entityOf(0x2329), nullptr);
  EXPECT_EQ(maps.entityOf(U'a'), nullptr);
}

TEST_F(Entities, Encode) {
  const std::pair<std::u32string, std::u32string> cases[] = {
      {U"", U""},
      {U"a<b", U"a&lt;b"},
      {U"'", U"&#39;"},
      {U"&", U"&amp;"},
      {U"x&", U"x&amp;"},
      {U"&foo; bar", U"&amp;foo; bar"},
      {U"&AMP;", U"&amp;AMP;"},
      {U"&#160;", U"&amp;#160;"},
      {U"&amp;&lt;&apos;&#39;&thetasym;", U"&amp;&lt;&apos;&#39;&thetasym;"},
      {U"\u2329\u3008\u3009", U"\u2329&lang;&rang;"},
      {U"\u00C6\u00E6\u00A0\u20AC\U0001F600", U"&AElig;&aelig;&nbsp;&euro;\U0001F600"},
      {U"\"Tom\" & 'Jerry'", U"&quot;Tom&quot; &amp; &#39;Jerry&#39;"},
      // A semicolon more than 15 characters away does not end a reference.
      {U"&aaaaaaaaaaaaaa; &aaaaaaaaaaaaaaa;", U"&amp;aaaaaaaaaaaaaa; &amp;aaaaaaaaaaaaaaa;"},
  };
  for (const auto& c : cases) EXPECT_EQ(encode(c.first), c.second) << hostrt::fromU32(c.first);
}

TEST_F(Entities, EncodingIsIdempotentAndDecodesBack) {
  std::u32string all;
  for (size_t i = 0; i < kEntityTableSize; ++i) all += kEntityTable[i].character;
  all += U"plain text & more <tags> \u2329";
  const std::u32string once = encode(all);
  EXPECT_EQ(once.find(U'<'), std::u32string::npos);
  EXPECT_EQ(encode(once), once);
  EXPECT_EQ(decode(once), all);
}

TEST_F(Entities, Decode) {
  const std::pair<std::u32string, std::u32string> cases[] = {
      {U"", U""},
      {U"a&lt;b", U"a<b"},
      {U"&apos;&#39;", U"''"},
      {U"&&amp;", U"&&"},
      {U"&amp;&amp;", U"&&"},
      {U"a & b", U"a & b"},
      {U"ends with &", U"ends with &"},
      {U"&lt", U"&lt"},
      {U"x;&;y", U"x;&;y"},
      {U"&AElig;&aelig;&AMP;&Amp;", U"\u00C6\u00E6&AMP;&Amp;"},
      {U"&lang;&rang;&#160;", U"\u3008\u3009&#160;"},
      {U"&unknown;&gt;", U"&unknown;>"},
      {U"&x &gt; &y", U"&x > &y"},
      {U"&\u00FCml;", U"&\u00FCml;"},
      // The ampersand may lie at most 15 characters before the semicolon.
      {U"&aaaaaaaaaaaaaa;", U"&aaaaaaaaaaaaaa;"},
      {U"&aaaaaaaaaaaaaaaa&lt;", U"&aaaaaaaaaaaaaaaa<"},
  };
  for (const auto& c : cases) EXPECT_EQ(decode(c.first), c.second) << hostrt::fromU32(c.first);
}

TEST_F(Entities, ParameterFaults) {
  struct Case {
    const char* method;
    std::vector<EXTfldval> params;
    const char* detail;
  };
  Case cases[] = {
      {"$encodeEntities", {}, "Parameter count must be exactly 1"},
      {"$decodeEntities", {chr("a"), chr("b")}, "Parameter count must be exactly 1"},
      {"$encodeEntities", {boolean(true)}, "Parameter 1 must be of type character"},
      {"$decodeEntities", {list({{"a"}}, {{"x"}})}, "Parameter 1 must be of type character"},
  };
  for (Case& c : cases) {
    auto r = call(c.method, c.params);
    EXPECT_EQ(r.ret.getLong(), 0);
    ASSERT_EQ(r.errors.size(), 1u) << c.method;
    EXPECT_EQ(r.errors[0].code, -102);
    EXPECT_EQ(r.errors[0].message, "Invalid parameters");
    EXPECT_EQ(r.errors[0].detail, c.detail);
    EXPECT_EQ(r.errors[0].method, c.method);
  }
}

TEST_F(Entities, NumbersAreReadAsText) {
  std::vector<EXTfldval> params{integer(42)};
  auto r = call("$encodeEntities", params);
  EXPECT_TRUE(r.errors.empty());
  EXPECT_EQ(text(r.ret), "42");
}

TEST_F(Entities, OutOfMemoryIsReported) {
  for (const char* method : {"$encodeEntities", "$decodeEntities"}) {
    std::vector<EXTfldval> params{chr(std::string(5000, '<'))};
    hostrt::setAllocFailure(0, 4096);  // the result buffer cannot be had
    auto r = call(method, params);
    hostrt::resetFailures();
    ASSERT_EQ(r.errors.size(), 1u) << method;
    EXPECT_EQ(r.errors[0].code, -103);
    EXPECT_EQ(r.errors[0].message, "Out of memory.");
    EXPECT_EQ(r.ret.getLong(), 0);
  }
}

}  // namespace
