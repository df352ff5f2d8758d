// Runs the built zqhost program with arguments and standard input, and collects its output.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace zqhosttest {

using json = nlohmann::ordered_json;

struct Result {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out, err;
  // Standard output as JSON lines (a line that is not JSON becomes {"unparsed": text}).
  std::vector<json> lines() const;
};

Result runZqhost(const std::vector<std::string>& args, const std::string& input = "");
// The same for another program (an installed zqhost, a tool).
Result runProgram(const std::string& program, const std::vector<std::string>& args,
                  const std::string& input = "");

// Answers of `zqhost run` to the given requests, one a line (line breaks inside a request
// become spaces).
Result runRequests(const std::vector<std::string>& requests);

}  // namespace zqhosttest
