// zqhost run: the pointer-sized message arguments hold what the build's pointers hold, and a
// number past that is refused, never cut to its low bits.
#include <gtest/gtest.h>

#include "runner.h"

using namespace zqhosttest;

namespace {

TEST(ZqhostRun, MessageArgumentsAreRefusedPastThePointerSize) {
  const bool wide = sizeof(void*) == 8;
  const struct {
    const char* request;
    bool accepted;
  } cases[] = {
      {R"({"message": 589824, "wParam": 4294967295, "lParam": 4294967295})", true},
      {R"({"message": 589824, "wParam": -2147483648, "lParam": -2147483648})", true},
      {R"({"message": 589824, "wParam": 4294967296})", wide},
      {R"({"message": 589824, "lParam": 4294967296})", wide},
      {R"({"message": 589824, "lParam": -2147483649})", wide},
      {R"({"message": 589824, "wParam": 9223372036854775807})", wide},
      {R"({"message": 589824, "wParam": 9223372036854775808})", false},
  };
  std::vector<std::string> requests;
  for (const auto& c : cases) requests.push_back(c.request);
  const Result r = runRequests(requests);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<json> lines = r.lines();
  ASSERT_EQ(lines.size(), requests.size()) << r.out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (cases[i].accepted) {
      EXPECT_EQ(lines[i].value("answer", json()), 1549) << cases[i].request;
    } else {
      ASSERT_TRUE(lines[i].contains("error")) << cases[i].request << " -> " << lines[i].dump();
      EXPECT_NE(lines[i]["error"].get<std::string>().find("out of range"), std::string::npos)
          << lines[i].dump();
    }
  }
}

}  // namespace
