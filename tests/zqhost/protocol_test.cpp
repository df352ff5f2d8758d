// zqhost run: the JSON Lines requests and responses, driven through the built program.
#include <gtest/gtest.h>

#include "runner.h"

using namespace zqhosttest;

namespace {

// One request, one response.
json ask(const std::string& request) {
  const Result r = runRequests({request});
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<json> lines = r.lines();
  EXPECT_EQ(lines.size(), 1u) << r.out;
  return lines.empty() ? json() : lines[0];
}

TEST(ZqhostRun, HandshakeRegistersTheTables) {
  const json info = ask(R"({"info": true})");
  EXPECT_EQ(info["library"]["connect"], 1549);
  EXPECT_EQ(info["library"]["version"], 131130);
  EXPECT_FALSE(info["library"]["name"].get<std::string>().empty());
  ASSERT_EQ(info["objects"].size(), 2u);
  EXPECT_EQ(info["objects"][0]["id"], 1001);
  EXPECT_EQ(info["objects"][1]["id"], 1002);
  const json& main = info["objects"][0]["methods"];
  EXPECT_EQ(main.size(), 27u);
  EXPECT_EQ(info["objects"][1]["methods"].size(), 2u);
  EXPECT_EQ(info["statics"].size(), 7u);
  ASSERT_EQ(info["constants"].size(), 38u);
  EXPECT_EQ(info["constants"][0]["id"], 5001);
  EXPECT_EQ(info["constants"][37]["id"], 5038);

  int optional = 0;
  for (const json& m : main) {
    EXPECT_NE(m["id"], 2109);
    EXPECT_NE(m["id"], 2110);
    for (const json& p : m["params"]) optional += p["optional"] == true;
    if (m["name"] == "$replace") {
      ASSERT_EQ(m["params"].size(), 6u);
      EXPECT_EQ(m["params"][3]["type"], "char");
      EXPECT_EQ(m["params"][3]["writable"], true);
      EXPECT_EQ(m["params"][3]["flags"], 0x00200000);
    }
    if (m["name"] == "$findPatterns") {
      EXPECT_EQ(m["params"][1]["type"], "char");
    }
    if (m["name"] == "$replacePatterns") {
      EXPECT_EQ(m["params"][0]["type"], "list");
    }
  }
  EXPECT_EQ(optional, 2);
}

TEST(ZqhostRun, MessagesReportTheirAnswers) {
  const struct {
    const char* request;
    long answer;
  } cases[] = {
      {R"({"message": 589824})", 1549},                                   // connect
      {R"({"message": 3014656, "wParam": 7, "lParam": 9})", 131130},      // version
      {R"({"message": 655360})", 1},                                      // disconnect
      {R"({"message": 3211264})", 1},                                     // query yes
      {R"({"message": 917504, "object": 1001, "lParam": "fresh"})", 1},   // construct
      {R"({"message": 983040, "object": 1001, "lParam": "nobody"})", 0},  // destruct
      {R"({"message": 12345})", 0},                                       // default handler
  };
  for (const auto& c : cases) EXPECT_EQ(ask(c.request), json({{"answer", c.answer}})) << c.request;

  const json name = ask(R"({"message": 196608})");
  EXPECT_EQ(name["answer"], 1);
  ASSERT_EQ(name["results"].size(), 1u);
  const std::string library = ask(R"({"info": true})")["library"]["name"];
  EXPECT_EQ(name["results"], json::array({{{"char", library}}}));
}

TEST(ZqhostRun, MethodCallsReportReturnErrorsAndParams) {
  const std::vector<json> lines =
      runRequests({R"({"call": 2129})", R"({"call": 2109, "params": [{"char": "x"}]})",
                   R"({"call": "$ERROR", "params": [{"int": 5}]})",
                   R"({"call": 2100, "on": "main"})"})
          .lines();
  ASSERT_EQ(lines.size(), 4u);
  const json invalid = {{"code", -101},
                        {"message", "Invalid method called. Internal method index error."},
                        {"detail", ""},
                        {"method", ""}};
  EXPECT_EQ(lines[0], json({{"answer", 0},
                            {"return", {{"int", 0}}},
                            {"params", json::array()},
                            {"changed", json::array()},
                            {"errors", {invalid}},
                            {"calls", json::array()}}));
  EXPECT_EQ(lines[1]["errors"][0]["code"], -999);
  EXPECT_EQ(lines[1]["errors"][0]["message"], "Feature not implemented.");
  EXPECT_EQ(lines[1]["errors"][0]["method"], "$encode64");
  EXPECT_EQ(lines[1]["params"], json::parse(R"([{"char": "x"}])"));
  for (size_t i : {2u, 3u}) {
    EXPECT_EQ(lines[i]["return"], json({{"int", 1}})) << i;
    EXPECT_TRUE(lines[i]["errors"].empty()) << i;
  }
}

// Each value goes in as the parameter of a method that fails, so it must come back as given
// (in its canonical form).
TEST(ZqhostRun, ValuesRoundTrip) {
  const struct {
    const char* in;
    const char* out;  // null: same as in
  } cases[] = {
      {R"({"char": "h\u00e9llo \ud83d\ude00"})", nullptr},
      {R"({"char": ""})", nullptr},
      {R"({"int": -2147483648})", nullptr},
      {R"({"int": 2147483647})", nullptr},
      {R"({"int64": -9223372036854775808})", nullptr},
      {R"({"int64": 9223372036854775807})", nullptr},
      {R"({"num": 1.5})", nullptr},
      {R"({"num": 2})", R"({"num": 2.0})"},
      {R"({"bool": true})", nullptr},
      {R"({"bool": false})", nullptr},
      {R"({"bin": "00ff7F"})", R"({"bin": "00ff7f"})"},
      {R"({"bin": ""})", nullptr},
      {R"({"picture": "ab"})", nullptr},
      {R"({"date": "2024-02-29"})", nullptr},
      {R"({"date": ""})", nullptr},
      {R"({"null": "int"})", nullptr},
      {R"({"null": "char"})", nullptr},
      {R"({"null": "list"})", nullptr},
      {R"({"objref": "o1"})", nullptr},
      {R"({"objref": ""})", nullptr},
      {R"({"list": {"cols": [{"name": "a", "type": "char"}, {"name": "n", "type": "int"}],
                    "rows": [["x", 1], ["y", "2"], [null]], "line": 2, "selected": [1, 3]}})",
       R"({"list": {"cols": [{"name": "a", "type": "char", "subtype": 0, "maxlen": 10000000},
                             {"name": "n", "type": "int", "subtype": 0, "maxlen": 10000000}],
                    "rows": [[{"char": "x"}, {"int": 1}], [{"char": "y"}, {"int": 2}],
                             [{"null": "char"}, {"int": 0}]],
                    "line": 2, "selected": [1, 3]}})"},
      {R"({"list": {"cols": [{"name": "d", "type": "date", "subtype": 3, "maxlen": 8},
                             {"name": "b", "type": "bin"}, {"name": "f", "type": "num"},
                             {"name": "t", "type": "bool"}, {"name": "o", "type": "objref"},
                             {"name": "l", "type": "list"}],
                    "rows": [["2026-12-08", "0a0B", 3, true, "o2",
                              {"list": {"cols": [{"name": "z"}], "rows": [["in"]]}}]]}})",
       R"({"list": {"cols": [{"name": "d", "type": "date", "subtype": 3, "maxlen": 8},
                             {"name": "b", "type": "bin", "subtype": 0, "maxlen": 10000000},
                             {"name": "f", "type": "num", "subtype": 0, "maxlen": 10000000},
                             {"name": "t", "type": "bool", "subtype": 0, "maxlen": 10000000},
                             {"name": "o", "type": "objref", "subtype": 0, "maxlen": 10000000},
                             {"name": "l", "type": "list", "subtype": 0, "maxlen": 10000000}],
                    "rows": [[{"date": "2026-12-08"}, {"bin": "0a0b"}, {"num": 3.0},
                              {"bool": true}, {"objref": "o2"},
                              {"list": {"cols": [{"name": "z", "type": "char", "subtype": 0,
                                                  "maxlen": 10000000}],
                                        "rows": [[{"char": "in"}]], "line": 0,
                                        "selected": []}}]],
                    "line": 0, "selected": []}})"},
      {R"({"row": {"cols": [{"name": "a"}]}})",
       R"({"row": {"cols": [{"name": "a", "type": "char", "subtype": 0, "maxlen": 10000000}],
                   "rows": [[{"char": ""}]], "line": 1, "selected": []}})"},
      {R"({"row": {"cols": [{"name": "a", "type": "int"}], "rows": [[{"char": "typed"}]]}})",
       R"({"row": {"cols": [{"name": "a", "type": "int", "subtype": 0, "maxlen": 10000000}],
                   "rows": [[{"char": "typed"}]], "line": 1, "selected": []}})"},
  };
  std::vector<std::string> requests;
  for (const auto& c : cases)
    requests.push_back(R"({"call": 2109, "params": [)" + std::string(c.in) + "]}");
  const Result r = runRequests(requests);
  const std::vector<json> lines = r.lines();
  ASSERT_EQ(lines.size(), std::size(cases)) << r.out << r.err;
  for (size_t i = 0; i < lines.size(); ++i) {
    const json expected = json::parse(cases[i].out ? cases[i].out : cases[i].in);
    ASSERT_EQ(lines[i]["params"].size(), 1u) << cases[i].in << " -> " << lines[i].dump();
    EXPECT_EQ(lines[i]["params"][0], expected) << cases[i].in;
  }
}

TEST(ZqhostRun, ObjectScopeCleansUpItsReferencesInOrder) {
  const Result r = runRequests({
      R"({"new": "scope", "as": "s1"})",
      R"({"call": "$addref", "on": "s1", "params": [{"objref": "o1"}]})",
      R"({"call": 7001, "on": "s1", "params": [{"objref": "o2"}]})",
      R"({"call": "$addref", "on": "s1", "params": [{"objref": "o1"}]})",
      R"({"call": "$addref", "on": "s1", "params": [{"int": 3}]})",
      R"({"delete": "s1"})",
      R"({"call": "$addref", "on": "s1", "params": [{"objref": "o1"}]})",
      R"({"delete": "main"})",
  });
  const std::vector<json> lines = r.lines();
  ASSERT_EQ(lines.size(), 8u) << r.out;
  EXPECT_EQ(lines[0], json({{"answer", 1}}));
  EXPECT_EQ(lines[1]["return"], json({{"objref", "o1"}}));
  EXPECT_EQ(lines[2]["return"], json({{"objref", "o2"}}));
  EXPECT_EQ(lines[4]["errors"][0]["code"], -102);
  EXPECT_EQ(lines[4]["errors"][0]["method"], "");
  json cleanups = json::array();
  for (const char* o : {"o1", "o2", "o1"})
    cleanups.push_back({{"object", o}, {"method", "$cleanupRef"}, {"params", json::array()}});
  EXPECT_EQ(lines[5], json({{"answer", 0}, {"calls", cleanups}}));
  EXPECT_EQ(lines[6], json({{"error", "unknown instance \"s1\""}}));
  EXPECT_EQ(lines[7], json({{"answer", 0}, {"calls", json::array()}}));
}

TEST(ZqhostRun, CopyMakesADuplicateInstance) {
  const std::vector<json> lines =
      runRequests({
                      R"({"copy": {"from": "main", "to": "m2"}})",
                      R"({"call": "$error", "on": "m2"})",
                      R"({"new": "scope", "as": "s1"})",
                      R"({"copy": {"from": "s1", "to": "m2"}})",
                      R"({"copy": {"from": "nobody", "to": "m3"}})",
                      R"({"message": 3735552, "lParam": ["main", "m4"]})",
                  })
          .lines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], json({{"answer", 0}}));
  EXPECT_EQ(lines[1]["return"], json({{"int", 1}}));
  EXPECT_EQ(lines[3], json({{"answer", 0}}));
  EXPECT_EQ(lines[4], json({{"error", "unknown instance \"nobody\""}}));
  EXPECT_EQ(lines[5], json({{"answer", 0}}));
}

// Instances made or removed by messages sent as such become (or stop being) named instances.
TEST(ZqhostRun, MessagesKeepTheInstancesInStep) {
  const std::vector<json> lines =
      runRequests({
                      R"({"message": 917504, "object": 1002, "lParam": "raw"})",
                      R"({"call": "$addref", "on": "raw", "params": [{"objref": "o1"}]})",
                      R"({"message": 3735552, "object": 1002, "lParam": ["raw", "dup"]})",
                      R"({"delete": "raw"})",
                      R"({"message": 983040, "object": 1001, "lParam": "main"})",
                      R"({"call": 2100})",
                      R"({"new": "main", "as": "main"})",
                      R"({"message": 917504, "object": 1001, "lParam": 77})",
                      R"({"call": 2100, "on": "#77"})",
                  })
          .lines();
  ASSERT_EQ(lines.size(), 9u);
  EXPECT_EQ(lines[1]["return"], json({{"objref", "o1"}}));
  EXPECT_EQ(lines[3]["calls"][0]["method"], "$cleanupRef");
  EXPECT_EQ(lines[5], json({{"error", "unknown instance \"main\""}}));
  EXPECT_EQ(lines[6], json({{"answer", 1}}));
  EXPECT_EQ(lines[8]["return"], json({{"int", 1}}));
}

TEST(ZqhostRun, VariablesAndCinstPersistAndAreShown) {
  const std::vector<json> lines =
      runRequests(
          {
              R"({"call": 2100, "vars": {"v": {"int": 3}, "L": {"list": {"cols": [{"name": "c"}]}}},
          "cinst": {"row": {"cols": [{"name": "C1"}], "rows": [["q"]]}}})",
              R"({"call": 2100})",
              R"({"static": 2003, "vars": {"w": {"char": "x"}}})",
              R"({"call": 2100, "cinst": {"row": {"cols": [{"name": "k", "type": "int"}], "rows": [[4]]}}})",
          })
          .lines();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0]["vars"]["v"], json({{"int", 3}}));
  EXPECT_EQ(lines[0]["vars"]["L"]["list"]["cols"][0]["name"], "c");
  EXPECT_EQ(lines[0]["cinst"]["row"]["rows"][0][0], json({{"char", "q"}}));
  EXPECT_FALSE(lines[1].contains("vars"));
  EXPECT_FALSE(lines[1].contains("cinst"));
  // Variables set earlier are still there.
  EXPECT_EQ(lines[2]["vars"], json::parse(R"({"v": {"int": 3},
      "L": {"list": {"cols": [{"name": "c", "type": "char", "subtype": 0, "maxlen": 10000000}],
                     "rows": [], "line": 0, "selected": []}},
      "w": {"char": "x"}})"));
  EXPECT_EQ(lines[3]["cinst"]["row"]["rows"][0][0], json({{"int", 4}}));
}

TEST(ZqhostRun, StaticMethodsByNameAndNumber) {
  const std::vector<json> lines = runRequests({
                                                  R"({"static": "$is64Bit"})",
                                                  R"({"static": 2003})",
                                                  R"({"static": "$GETPROCESSID"})",
                                                  R"({"static": 2005})",
                                                  R"({"static": 2007})",
                                                  R"({"static": "$replace"})",
                                                  R"({"static": 2003, "on": "main"})",
                                              })
                                      .lines();
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], lines[1]);
  EXPECT_EQ(lines[2], lines[3]);
  EXPECT_NE(lines[0]["return"], nullptr);
  EXPECT_EQ(lines[4]["return"], json({{"int", -101}}));
  EXPECT_TRUE(lines[4]["errors"].empty());
  EXPECT_EQ(lines[5], json({{"error", "unknown static method \"$replace\""}}));
  EXPECT_TRUE(lines[6].contains("error"));
}

// Bad requests get {"error": ...}; the session goes on.
TEST(ZqhostRun, BadRequestsGetAnErrorAndTheSessionGoesOn) {
  const struct {
    const char* request;
    const char* complaint;
  } bad[] = {
      {"{", "not JSON"},
      {"[]", "must be a JSON object"},
      {"42", "must be a JSON object"},
      {"null", "must be a JSON object"},
      {R"("call")", "must be a JSON object"},
      {"{\"call\": \"\xff\xfe\"}", "not JSON"},
      {R"({})", "no request"},
      {R"({"call": 2100, "new": "scope"})", "one request a line"},
      {R"({"call": 2100, "param": []})", "\"param\" is not a key"},
      {R"({"call": 1.5})", "by name or number"},
      {R"({"call": true})", "by name or number"},
      {R"({"call": 4294967296})", "out of range"},
      {R"({"call": 67636})", "out of range"},
      {R"({"call": -1})", "out of range"},
      {R"({"call": "$nope"})", "unknown method"},
      {R"({"call": "$encode64"})", "unknown method"},
      {R"({"call": 2100, "on": "nowhere"})", "unknown instance"},
      {R"({"call": 2100, "on": 5})", "\"on\" must be"},
      {R"({"call": 2100, "params": {"int": 1}})", "\"params\" must be an array"},
      {R"({"call": 2100, "params": [1]})", "one key naming its type"},
      {R"({"call": 2100, "params": [{}]})", "one key naming its type"},
      {R"({"call": 2100, "params": [{"int": 1, "char": "x"}]})", "one key naming its type"},
      {R"({"call": 2100, "params": [{"text": "x"}]})", "unknown type"},
      {R"({"call": 2100, "params": [{"int": "1"}]})", "must be an integer"},
      {R"({"call": 2100, "params": [{"int": 2147483648}]})", "out of range"},
      {R"({"call": 2100, "params": [{"int64": 9223372036854775808}]})", "out of range"},
      {R"({"call": 2100, "params": [{"num": "1"}]})", "must be a number"},
      {R"({"call": 2100, "params": [{"bool": 1}]})", "true or false"},
      {R"({"call": 2100, "params": [{"bin": "abc"}]})", "hexadecimal"},
      {R"({"call": 2100, "params": [{"bin": "zz"}]})", "hexadecimal"},
      {R"({"call": 2100, "params": [{"date": "2023-02-29"}]})", "YYYY-MM-DD"},
      {R"({"call": 2100, "params": [{"date": "2023-1-01"}]})", "YYYY-MM-DD"},
      {R"({"call": 2100, "params": [{"objref": 3}]})", "must be a string"},
      {R"({"call": 2100, "params": [{"null": "nothing"}]})", "unknown type"},
      {R"({"call": 2100, "params": [{"list": []}]})", "with \"cols\" and \"rows\""},
      {R"({"call": 2100, "params": [{"list": {"cols": [{"name": "a", "type": "text"}]}}]})",
       "unknown type"},
      {R"({"call": 2100, "params": [{"list": {"cols": [{"name": "a"}], "rows": [["x", "y"]]}}]})",
       "2 cells for 1 columns"},
      {R"({"call": 2100, "params": [{"list": {"cols": [{"name": "a", "type": "int"}], "rows": [["x"]]}}]})",
       "cannot be converted to int"},
      {R"({"call": 2100, "params": [{"list": {"cols": [{"name": "a"}], "rows": [["x"]], "line": 2}}]})",
       "\"line\" 2 is out of range"},
      {R"({"call": 2100, "params": [{"list": {"cols": [{"name": "a"}], "rows": [["x"]], "selected": [0]}}]})",
       "selected line 0"},
      {R"({"call": 2100, "params": [{"list": {"cols": [], "rows": [], "sorted": true}}]})",
       "unknown key \"sorted\""},
      {R"({"call": 2100, "params": [{"list": {"cols": [{"name": "a"}], "rows": [[[1]]]}}]})",
       "typed value or a JSON scalar"},
      {R"({"call": 2100, "params": [{"row": {"cols": [{"name": "a"}], "rows": [["x"], ["y"]]}}]})",
       "one line, not 2"},
      {R"({"call": 2100, "vars": []})", "\"vars\" must be"},
      {R"({"call": 2100, "vars": {"": {"int": 1}}})", "needs a name"},
      {R"({"call": 2100, "cinst": {"list": {"cols": []}}})", "must be a row"},
      {R"({"static": 2003, "on": "main"})", "\"on\" is not a key"},
      {R"({"new": "widget", "as": "w"})", "unknown object"},
      {R"({"new": "scope"})", "needs a name"},
      {R"({"new": "main", "as": "main"})", "exists already"},
      {R"({"delete": "nobody"})", "unknown instance"},
      {R"({"delete": 1})", "\"delete\" must be"},
      {R"({"copy": {"from": "main"}})", "\"copy\" must be"},
      {R"({"copy": "main"})", "\"copy\" must be"},
      {R"({"message": "connect"})", "must be an integer"},
      {R"({"message": 3735552, "lParam": 4096})", "[source, destination]"},
      {R"({"message": 589824, "lParam": [1, 2]})", "must be an integer"},
      {R"({"info": false})", "must be true"},
  };
  std::vector<std::string> requests;
  for (const auto& b : bad) requests.push_back(b.request);
  requests.push_back(R"({"message": 589824})");
  const Result r = runRequests(requests);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<json> lines = r.lines();
  ASSERT_EQ(lines.size(), requests.size()) << r.out;
  for (size_t i = 0; i + 1 < lines.size(); ++i) {
    ASSERT_TRUE(lines[i].is_object()) << bad[i].request;
    EXPECT_EQ(lines[i].size(), 1u) << bad[i].request << " -> " << lines[i].dump();
    ASSERT_TRUE(lines[i].contains("error") && lines[i]["error"].is_string())
        << bad[i].request << " -> " << lines[i].dump();
    EXPECT_NE(lines[i]["error"].get<std::string>().find(bad[i].complaint), std::string::npos)
        << bad[i].request << " -> " << lines[i].dump();
  }
  EXPECT_EQ(lines.back(), json({{"answer", 1549}}));
}

TEST(ZqhostRun, DeepNestingIsRefusedNotWalked) {
  std::string deep = R"({"char": "x"})";
  for (int i = 0; i < 200; ++i)
    deep = R"({"list": {"cols": [{"name": "l", "type": "list"}], "rows": [[)" + deep + "]]}}";
  const json answer = ask(R"({"call": 2100, "params": [)" + deep + "]}");
  EXPECT_EQ(answer, json({{"error", "values are nested too deeply"}}));
}

// Requests damaged byte by byte: every line still gets one JSON object back.
TEST(ZqhostRun, DamagedRequestsNeverStopTheSession) {
  const std::string seeds[] = {
      R"({"call": "$addref", "on": "s1", "params": [{"objref": "o1"}]})",
      R"({"call": 2109, "params": [{"list": {"cols": [{"name": "a", "type": "int"}], "rows": [[1], ["2"]], "line": 1, "selected": [2]}}]})",
      R"({"static": "$trace", "vars": {"v": {"date": "2024-01-31"}}, "cinst": {"row": {"cols": [{"name": "c", "type": "bin"}], "rows": [["00ff"]]}}})",
      R"({"copy": {"from": "main", "to": "m2"}})",
      R"({"message": 983040, "object": 1002, "lParam": "s1"})",
  };
  std::vector<std::string> requests = {R"({"new": "scope", "as": "s1"})"};
  uint32_t state = 12345;
  auto next = [&state] { return state = state * 1103515245u + 12345u; };
  for (int i = 0; i < 400; ++i) {
    std::string line = seeds[i % std::size(seeds)];
    for (int k = 0; k < 1 + i % 4; ++k) {
      const size_t at = next() % line.size();
      char c = static_cast<char>(next() >> 16);
      if (c == '\n' || c == '\r' || c == 0) c = '?';
      if (next() % 3 == 0)
        line.erase(at, 1);
      else
        line[at] = c;
    }
    if (line.find_first_not_of(" \t\r") == std::string::npos) line = "x";
    requests.push_back(line);
  }
  const Result r = runRequests(requests);
  EXPECT_EQ(r.status, 0) << r.err;
  const std::vector<json> lines = r.lines();
  ASSERT_EQ(lines.size(), requests.size());
  for (size_t i = 0; i < lines.size(); ++i)
    EXPECT_FALSE(lines[i].contains("unparsed")) << requests[i];
}

}  // namespace
