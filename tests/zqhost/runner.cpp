#include "runner.h"

#include <fcntl.h>
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

Result runShell(const std::string& script, const std::string& dir, const std::string& input) {
  const std::string zqhost = ZQHOST_PATH;
  const std::string bin = zqhost.substr(0, zqhost.find_last_of('/'));
  const std::string scriptFile = tempFile(script);
  const std::string inFile = tempFile(input);
  const std::string errFile = tempFile("");
  const std::string command = "mkdir -p " + shellQuote(dir) + " && cd " + shellQuote(dir) +
                              " && PATH=" + shellQuote(bin) + ":\"$PATH\" bash " +
                              shellQuote(scriptFile) + " <" + shellQuote(inFile) + " 2>" +
                              shellQuote(errFile);
  Result r;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    const int status = pclose(p);
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  r.err = slurp(errFile);
  for (const std::string& f : {scriptFile, inFile, errFile}) std::remove(f.c_str());
  return r;
}

Result runOnTerminal(const std::vector<std::string>& args) {
  Result r;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return r;
  const std::string slave = ptsname(master);
  const std::string errFile = tempFile("");
  const pid_t pid = fork();
  if (pid == 0) {
    setsid();
    const int fd = open(slave.c_str(), O_RDWR);
    const int err = open(errFile.c_str(), O_WRONLY | O_TRUNC);
    const int nul = open("/dev/null", O_RDONLY);
    if (fd < 0 || err < 0 || nul < 0) _exit(127);
    dup2(nul, 0);
    dup2(fd, 1);
    dup2(err, 2);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(ZQHOST_PATH));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(ZQHOST_PATH, argv.data());
    _exit(127);
  }
  // Read until the child has closed the terminal (EIO once no slave is open).
  char buf[4096];
  for (;;) {
    const ssize_t n = read(master, buf, sizeof buf);
    if (n <= 0) break;
    r.out.append(buf, static_cast<size_t>(n));
  }
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.err = slurp(errFile);
  std::remove(errFile.c_str());
  return r;
}

std::string makeTempDir() {
  char name[] = "/tmp/zqhost_dir_XXXXXX";
  return mkdtemp(name) ? name : "/tmp";
}

void removeTree(const std::string& dir) {
  if (dir.rfind("/tmp/zqhost_", 0) == 0)
    if (std::system(("rm -rf " + shellQuote(dir)).c_str()) != 0) return;
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
