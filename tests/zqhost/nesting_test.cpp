// zqhost and JSON nested far deeper than any value needs: refused with an error that names the
// limit, without walking the nesting, and the session goes on.
#include <gtest/gtest.h>

#include "runner.h"

using namespace zqhosttest;

namespace {

const int kLimit = 1000;  // arrays and objects a request line may nest
const int kFar = 100000;

std::string arrays(int n) {
  return std::string(static_cast<size_t>(n), '[') + std::string(static_cast<size_t>(n), ']');
}
std::string objects(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += R"({"a":)";
  s += "1";
  return s + std::string(static_cast<size_t>(n), '}');
}

const std::string kTooDeep = "arrays and objects are nested more than 1000 deep";

TEST(ZqhostNesting, DeepRequestsAreRefusedAndTheSessionGoesOn) {
  // Each request with its own nesting (counted from the line's outermost brace) and what the
  // answer says; the request line nests 2 more levels than its inner part here.
  struct Case {
    const char* where;
    std::string request;
    std::string error;
  } cases[] = {
      {"a bare array at the limit", arrays(kLimit), "a request must be a JSON object"},
      {"a bare array far past", arrays(kFar), kTooDeep},
      {"a parameter at the limit", R"({"call": "$trim", "params": [)" + arrays(kLimit - 2) + "]}",
       "a value must be an object with one key naming its type, not [[[[["},
      {"a parameter one past", R"({"call": "$trim", "params": [)" + arrays(kLimit - 1) + "]}",
       kTooDeep},
      {"a parameter far past", R"({"call": "$trim", "params": [)" + arrays(kFar) + "]}", kTooDeep},
      {"an object parameter far past", R"({"call": "$trim", "params": [)" + objects(kFar) + "]}",
       kTooDeep},
      {"a variable at the limit",
       R"({"call": "$trim", "vars": {"v": )" + objects(kLimit - 2) + "}}", "unknown type \"a\""},
      {"a variable far past", R"({"call": "$trim", "vars": {"v": )" + objects(kFar) + "}}",
       kTooDeep},
      {"a list cell at the limit",
       R"({"call": "$trim", "params": [{"list": {"cols": [{"name": "c"}], "rows": [[)" +
           arrays(kLimit - 6) + "]]}}]}",
       "a cell must be a typed value or a JSON scalar, not [[[["},
      {"a list cell far past",
       R"({"call": "$trim", "params": [{"list": {"cols": [{"name": "c"}], "rows": [[)" +
           arrays(kFar) + "]]}}]}",
       kTooDeep},
      {"columns at the limit",
       R"({"call": "$trim", "params": [{"list": {"cols": )" + arrays(kLimit - 4) + "}}]}",
       "a column must be an object, not [[[["},
      {"an lParam far past", R"({"message": 5, "lParam": )" + arrays(kFar) + "}", kTooDeep},
      {"an lParam at the limit", R"({"message": 5, "lParam": )" + arrays(kLimit - 1) + "}",
       "\"lParam\" must be an integer, not [[[["},
      // Brackets inside strings are text, not nesting.
      {"brackets in a string",
       R"({"call": "$trim", "params": [{"char": ")" + arrays(kFar) + R"("}]})", ""},
  };
  std::vector<std::string> requests;
  for (const Case& c : cases) requests.push_back(c.request);
  requests.push_back(R"({"call": "$trim", "params": [{"char": " x "}, {"char": " "}]})");
  const Result r = runRequests(requests);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<json> lines = r.lines();
  ASSERT_EQ(lines.size(), requests.size()) << r.out.substr(0, 300);
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    if (c.error.empty()) {
      EXPECT_TRUE(lines[i].contains("answer")) << c.where << ": " << lines[i].dump().substr(0, 200);
      continue;
    }
    ASSERT_TRUE(lines[i].contains("error")) << c.where << ": " << lines[i].dump().substr(0, 200);
    const std::string error = lines[i]["error"].get<std::string>();
    EXPECT_EQ(error.substr(0, c.error.size()), c.error) << c.where;
    EXPECT_LE(error.size(), 200u) << c.where;  // a quotation, not the whole value
  }
  EXPECT_EQ(lines.back()["params"][0], json({{"char", "x"}}));
}

TEST(ZqhostNesting, DeepJsonArgumentsOfCallAreRefused) {
  // A command-line argument is at most 128 KiB on Linux: 60,000 levels fit in one.
  for (int n : {kLimit + 1, 60000}) {
    const Result r = runZqhost({"call", "$trim", "json:" + arrays(n)});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(kTooDeep), std::string::npos) << r.err.substr(0, 200);
  }
  const Result r = runZqhost({"call", "$trim", "json:" + arrays(kLimit)});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("a value must be an object"), std::string::npos) << r.err.substr(0, 200);
}

}  // namespace
