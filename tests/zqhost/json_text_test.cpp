// zqhost's JSON text: request lines read through simdjson give the value nlohmann's parser
// gives (or its very error), and responses written without a document are byte for byte
// nlohmann's compact dump.
#include <dirent.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "files.h"
#include "jsonvalues.h"
#include "jsonwriter.h"

using zqhost::json;

namespace {

// parseLine and nlohmann's parser agree: the same value (and dump), or the same error.
void expectSameParse(const std::string& line) {
  std::string ours, theirs;
  try {
    ours = zqhost::parseLine(line).dump(-1, ' ', false, json::error_handler_t::replace);
  } catch (const std::exception& e) {
    ours = std::string("error: ") + e.what();
  }
  try {
    theirs = json::parse(line).dump(-1, ' ', false, json::error_handler_t::replace);
  } catch (const std::exception& e) {
    theirs = std::string("error: ") + e.what();
  }
  EXPECT_EQ(ours, theirs) << line;
}

TEST(ZqhostJsonText, LinesParseAsNlohmannParsesThem) {
  const char* lines[] = {
      R"({"call": "$trim", "params": [{"char": "  a  "}, {"char": " "}]})",
      R"({"a": 1, "b": 2, "a": 3})",  // a repeated key: the last value, the first place
      R"({"z": {}, "y": [], "x": [[]], "w": {"v": {"u": null}}})",
      "-0",
      "0",
      "-1",
      "9223372036854775807",
      "9223372036854775808",
      "18446744073709551615",
      "18446744073709551616",
      "-9223372036854775808",
      "-9223372036854775809",
      "1.0",
      "1e2",
      "1E+2",
      "-1.5e-3",
      "1e400",
      "1e-400",
      "0.1",
      "123456789012345678901234567890",
      "true",
      "false",
      "null",
      "tru",
      "[1,]",
      "{\"a\" 1}",
      "{}x",
      " {} ",
      "\t[]\r",
      "",
      R"("\u00e9\u20ac\ud83d\ude00")",
      R"("\ud800")",
      R"("\udc00")",
      R"("\ud800\u0041")",
      R"("\\ud800")",
      R"("a\"b\\c\/d\b\f\n\r\t")",
      "\"\x01\"",
      "\"\x7f\"",
      "\"caf\xc3\xa9\"",
      "\"\xc3\"",
      "\"\xed\xa0\x80\"",
      "\"\xf4\x90\x80\x80\"",
      "\xef\xbb\xbf{}",
      "{\"\":0}",
      "[1, 2.5, \"x\", true, null, {\"k\": [false]}]",
      "{\"call\": 2106}",
      "[[[[[[[[[[]]]]]]]]]]",
  };
  for (const char* line : lines) expectSameParse(line);
}

TEST(ZqhostJsonText, FuzzCorpusLinesParseAsNlohmannParsesThem) {
  const std::string dir = std::string(ZQ_SOURCE_DIR) + "/fuzz/corpus/fuzz_zqhost";
  DIR* d = opendir(dir.c_str());
  ASSERT_NE(d, nullptr) << dir;
  size_t count = 0;
  while (dirent* e = readdir(d)) {
    if (e->d_name[0] == '.') continue;
    std::ifstream in(dir + "/" + e->d_name, std::ios::binary);
    std::string line;
    while (std::getline(in, line)) {
      expectSameParse(line);
      ++count;
    }
  }
  closedir(d);
  EXPECT_GT(count, 20u);
}

// A character value as writeValue writes it, and as nlohmann dumps its UTF-8 text.
void expectSameText(const std::u32string& chars) {
  EXTfldval v;
  v.setChar(reinterpret_cast<const qchar*>(chars.data()), static_cast<qlong>(chars.size()));
  const std::string expected =
      json{{"char", hostrt::toUtf8(v)}}.dump(-1, ' ', false, json::error_handler_t::replace);
  EXPECT_EQ(zqhost::valueText(v), expected) << chars.size() << " characters";
}

TEST(ZqhostJsonText, TextsAreWrittenAsNlohmannDumpsThem) {
  std::u32string every;
  for (char32_t c = 0; c < 0x800; ++c) every += c;  // every control character and escape
  expectSameText(every);
  // Code points that are no characters become U+FFFD as the host's UTF-8 conversion makes them.
  expectSameText(U"a\U0001F600b" + std::u32string(1, char32_t(0xD800)) +
                 std::u32string(1, char32_t(0xDFFF)) + std::u32string(1, char32_t(0x110000)) +
                 std::u32string(1, char32_t(0xFFFFFFFF)) + U"\uFFFF\u00e9\"\\");
  // Long texts are written in parts: characters to escape and wide ones at every boundary.
  std::u32string longText(200000, U'x');
  for (size_t i = 65530; i < longText.size(); i += 65536) {
    longText[i] = U'"';
    longText[i + 5] = U'\u20ac';
    longText[i + 6] = U'\n';
    longText[i + 7] = U'\U0001F600';
  }
  expectSameText(longText);
  expectSameText(U"");
}

TEST(ZqhostJsonText, OtherValuesAreWrittenAsTheirJsonForm) {
  const char* values[] = {
      R"({"int":-5})",
      R"({"int64":9000000000})",
      R"({"num":1.5})",
      R"({"num":100.0})",
      R"({"num":1e+300})",
      R"({"bool":true})",
      R"({"bin":"00ff10"})",
      R"({"date":"2026-12-08"})",
      R"({"date":""})",
      R"({"null":"char"})",
      R"({"list":{"cols":[{"name":"a\u00e9\"","type":"char","subtype":0,"maxlen":10},{"name":"n","type":"int","subtype":0,"maxlen":0}],"rows":[[{"char":"x"},{"int":1}],[{"char":"y\n"},{"null":"int"}]],"line":2,"selected":[1]}})",
      R"({"row":{"cols":[{"name":"r","type":"list","subtype":0,"maxlen":0}],"rows":[[{"list":{"cols":[],"rows":[],"line":0,"selected":[]}}]],"line":1,"selected":[]}})",
  };
  for (const char* text : values) {
    const EXTfldval v = zqhost::valueFromJson(json::parse(text));
    const std::string written = zqhost::valueText(v);
    // Written text reads back as the same value, and is nlohmann's compact dump of it.
    EXPECT_EQ(written, json::parse(written).dump()) << text;
    EXPECT_EQ(zqhost::valueText(zqhost::valueFromJson(json::parse(written))), written) << text;
  }
  EXPECT_EQ(zqhost::valueText(zqhost::valueFromJson(json::parse(R"({"int": 7})"))), R"({"int":7})");
}

// Texts converted straight into a value's handle are the host's conversion of the same bytes:
// ASCII widened directly, other runs (ill-formed ones included) converted by the host.
TEST(ZqhostJsonText, Utf8TextsConvertAsTheHostConvertsThem) {
  std::vector<std::string> texts = {"",
                                    "plain",
                                    "caf\xc3\xa9",
                                    "\xc3",
                                    "a\xc3"
                                    "b",
                                    "\xe2\x82",
                                    "\xe2\x82\xac!",
                                    "\xed\xa0\x80x",
                                    "\xf4\x90\x80\x80y",
                                    "\x80\x80\x80",
                                    "\xff\xfe",
                                    "\xf0\x9f\x98\x80z",
                                    std::string("nul\0inside", 10)};
  std::string longText;  // past the small-text path, with sequences at odd places
  for (int i = 0; i < 5000; ++i) longText += i % 7 ? "abc" : "\xe2\x82\xac\xc3";
  texts.push_back(longText);
  for (const std::string& t : texts) {
    EXTfldval ours;
    zqhost::setUtf8Text(ours, t.data(), t.size());
    const EXTfldval host = hostrt::charValue(t);
    EXPECT_EQ(ours.getType(), fftCharacter);
    EXPECT_EQ(hostrt::toU32(hostrt::toUtf8(ours)), hostrt::toU32(hostrt::toUtf8(host))) << t;
    EXPECT_EQ(ours.getCharLen(), host.getCharLen()) << t;
  }
}

}  // namespace
