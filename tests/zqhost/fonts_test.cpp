// The families the host layer finds without loading fontconfig's configuration give the same
// images as fontconfig's own choice: each barcode is drawn once the quick way and once with
// fontconfig forced (FONTCONFIG_FILE set turns the quick way off), byte for byte the same.
#include <gtest/gtest.h>

#include "runner.h"

using namespace zqhosttest;

namespace {

std::string request(const std::string& family) {
  return R"({"call": "$barcode39", "params": [{"bin": ""}, {"char": "*AB12*"}, {"int": 300},)"
         R"( {"int": 2}, {"int": 5}, {"int": 2}, {"int": 100}, {"int": 0}, {"bool": true},)"
         R"( {"char": ")" +
         family + R"("}, {"int": 12}]})";
}

TEST(ZqhostFonts, WellKnownFamiliesDrawAsFontconfigChoosesThem) {
  const char* families[] = {
      "Arial",       "arial",           "Liberation Sans", "Times New Roman", "Liberation Serif",
      "Courier New", "Liberation Mono", "DejaVu Sans"};
  std::string requests;
  for (const char* f : families) requests += request(f) + "\n";
  const std::string dir = makeTempDir();
  const Result quick = runShell("zqhost run", dir, requests);
  const Result forced = runShell("FONTCONFIG_FILE=/etc/fonts/fonts.conf zqhost run", dir, requests);
  removeTree(dir);
  ASSERT_EQ(quick.status, 0) << quick.err;
  ASSERT_EQ(forced.status, 0) << forced.err;
  const std::vector<json> a = quick.lines(), b = forced.lines();
  ASSERT_EQ(a.size(), std::size(families));
  ASSERT_EQ(b.size(), std::size(families));
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i]["errors"], json::array()) << families[i];
    EXPECT_EQ(a[i]["params"][0], b[i]["params"][0]) << families[i];
  }
  // The family matters: sans, serif and mono faces draw different images.
  EXPECT_NE(a[0]["params"][0], a[3]["params"][0]);
  EXPECT_NE(a[0]["params"][0], a[5]["params"][0]);
  EXPECT_EQ(a[0]["params"][0], a[1]["params"][0]);
  EXPECT_EQ(a[0]["params"][0], a[2]["params"][0]);
}

}  // namespace
