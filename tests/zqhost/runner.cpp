#include "runner.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace zqhosttest {

namespace {

std::string shellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

std::string tempFile(const std::string& content) {
  char name[] = "/tmp/zqhost_test_XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return "/dev/null";
  close(fd);
  std::ofstream(name, std::ios::binary) << content;
  return name;
}

std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::vector<json> Result::lines() const {
  std::vector<json> all;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    json j = json::parse(line, nullptr, false);
    all.push_back(j.is_discarded() ? json{{"unparsed", line}} : j);
  }
  return all;
}

Result runZqhost(const std::vector<std::string>& args, const std::string& input) {
  return runProgram(ZQHOST_PATH, args, input);
}

Result runProgram(const std::string& program, const std::vector<std::string>& args,
                  const std::string& input) {
  const std::string inFile = tempFile(input);
  const std::string errFile = tempFile("");
  std::string command = shellQuote(program);
  for (const std::string& a : args) command += " " + shellQuote(a);
  command += " <" + shellQuote(inFile) + " 2>" + shellQuote(errFile);
  Result r;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  r.err = slurp(errFile);
  std::remove(inFile.c_str());
  std::remove(errFile.c_str());
  return r;
}

Result runRequests(const std::vector<std::string>& requests) {
  std::string input;
  for (std::string r : requests) {
    for (char& c : r)
      if (c == '\n') c = ' ';  // requests written over several source lines
    input += r + "\n";
  }
  return runZqhost({"run"}, input);
}

}  // namespace zqhosttest
