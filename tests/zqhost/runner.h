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

// Runs a bash script in directory dir (made when missing) with the built zqhost first on
// PATH; its standard output and error are collected.
Result runShell(const std::string& script, const std::string& dir, const std::string& input = "");

// Runs zqhost with its standard output on a terminal (a pseudo-terminal); out holds what the
// terminal received.
Result runOnTerminal(const std::vector<std::string>& args);

// A new empty directory under /tmp, removed with everything in it by removeTree.
std::string makeTempDir();
void removeTree(const std::string& dir);

// Answers of `zqhost run` to the given requests, one a line (line breaks inside a request
// become spaces).
Result runRequests(const std::vector<std::string>& requests);

}  // namespace zqhosttest
