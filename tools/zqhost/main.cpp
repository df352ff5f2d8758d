// zqhost: a command-line host for the zqtools component. It loads the module, performs the
// registration handshake as a host does, and lists what was registered (info), calls one
// method (call) or answers JSON Lines requests (run).
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "files.h"
#include "requests.h"
#include "zqversion.h"

using namespace zqhost;

namespace {

const char kUsage[] =
    "usage: zqhost [--module PATH] COMMAND ...\n"
    "  info [--json]                   list the library, its objects, methods, static\n"
    "                                  methods and constants\n"
    "  call [--static] [--save N=PATH] METHOD [ARG...]\n"
    "                                  call a method of a new main instance (or a static\n"
    "                                  method) by name or number; an ARG is text unless it is\n"
    "                                  int:N, int64:N, num:X, bool:true|false, bin:HEX,\n"
    "                                  file:PATH, char:TEXT or json:VALUE; --save writes\n"
    "                                  parameter N's bytes to PATH after the call\n"
    "  run [FILE]                      answer JSON Lines requests from FILE or standard input\n"
    "  --module PATH                   the component (default: zqtools.so beside zqhost,\n"
    "                                  else the installed one)\n"
    "  --version                       print zqhost's version and the component's\n";

struct UsageError : std::runtime_error {
  explicit UsageError(const std::string& what) : std::runtime_error(what) {}
};

std::string compact(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

// ------------------------------------------------------------------------------------------
// info

// A registered name, or a mark that the resource strings did not give one.
std::string nameOf(const json& entry) {
  const std::string name = entry["name"].get<std::string>();
  return name.empty() ? "(no name)" : name;
}

// Tells on standard error what is wrong with the component's resource strings, if anything.
void warnAboutResources(const Session& session) {
  for (const std::string& problem : session.registry().resourceProblems)
    std::cerr << "zqhost: warning: " << problem << '\n';
  if (!session.registry().resourceProblems.empty())
    std::cerr << "zqhost: warning: names are missing; methods can still be called by number\n";
}

void printVersion(const std::string& modulePath) {
  std::cout << "zqhost " << ZQ_VERSION_STRING << '\n';
  Module module(modulePath);
  Session session(module);
  const qlong version = session.host().send(msgGetVersion, 0, 0, 0);
  const std::string name = session.registry().libName;
  std::cout << (name.empty() ? "component" : name) << ' ' << (version >> 16) << '.'
            << (version & 0xFFFF) << " (" << module.path() << ")\n";
  warnAboutResources(session);
}

void printInfo(Session& session) {
  const json info = infoJson(session);
  const json& lib = info["library"];
  const qlong version = lib["version"].get<qlong>();
  std::cout << "library   " << nameOf(lib) << " (version " << (version >> 16) << '.'
            << (version & 0xFFFF) << ")\n"
            << "          " << lib["info"].get<std::string>() << '\n';
  auto printMethods = [](const json& methods) {
    for (const json& m : methods) {
      std::cout << "  " << m["id"] << ' ' << nameOf(m) << '(';
      bool first = true;
      for (const json& p : m["params"]) {
        std::cout << (first ? "" : ", ") << nameOf(p) << ' ' << p["type"].get<std::string>();
        if (p["writable"] == true) std::cout << " writable";
        if (p["optional"] == true) std::cout << " optional";
        first = false;
      }
      std::cout << ") -> " << m["returns"].get<std::string>() << '\n';
    }
  };
  for (const json& o : info["objects"]) {
    std::cout << "object    " << o["id"] << ' ' << nameOf(o) << ", " << o["methods"].size()
              << " methods\n";
    printMethods(o["methods"]);
  }
  std::cout << "static    " << info["statics"].size() << " methods\n";
  printMethods(info["statics"]);
  std::cout << "constants " << info["constants"].size() << '\n';
  for (const json& c : info["constants"])
    std::cout << "  " << c["id"] << ' ' << nameOf(c) << " = " << c["value"].get<std::string>()
              << '\n';
}

// ------------------------------------------------------------------------------------------
// call

bool isNumber(const std::string& s) {
  size_t i = s.size() > 1 && s[0] == '-' ? 1 : 0;
  if (i == s.size()) return false;
  for (; i < s.size(); ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  return true;
}

// A command-line argument as a host value.
EXTfldval argValue(const std::string& arg) {
  const size_t colon = arg.find(':');
  const std::string prefix = colon == std::string::npos ? "" : arg.substr(0, colon);
  const std::string rest = colon == std::string::npos ? arg : arg.substr(colon + 1);
  EXTfldval v;
  if (prefix == "int" || prefix == "int64") {
    errno = 0;
    char* end = nullptr;
    const long long n = std::strtoll(rest.c_str(), &end, 10);
    if (rest.empty() || *end || errno) throw UsageError("not an integer: " + arg);
    if (prefix == "int64") {
      v.setLong64(n);
    } else {
      if (n < -2147483648LL || n > 2147483647LL) throw UsageError("out of range: " + arg);
      v.setLong(static_cast<qlong>(n));
    }
  } else if (prefix == "num") {
    char* end = nullptr;
    const double x = std::strtod(rest.c_str(), &end);
    if (rest.empty() || *end) throw UsageError("not a number: " + arg);
    v.setNum(x);
  } else if (prefix == "bool") {
    if (rest == "true" || rest == "1" || rest == "yes") {
      v.setBool(qboolTrue);
    } else if (rest == "false" || rest == "0" || rest == "no") {
      v.setBool(qboolFalse);
    } else {
      throw UsageError("not a boolean: " + arg);
    }
  } else if (prefix == "file") {
    v = fileValue(rest);
  } else if (prefix == "bin") {
    std::string bytes;
    if (!hexToBytes(rest, bytes)) throw UsageError("not hexadecimal: " + arg);
    v.setBinary(fftBinary, reinterpret_cast<const qbyte*>(bytes.data()),
                static_cast<qlong>(bytes.size()));
  } else if (prefix == "json") {
    try {
      v = valueFromJson(parseLine(rest));
    } catch (const std::exception& e) {
      throw UsageError("not a JSON value: " + arg + ": " + e.what());
    }
  } else if (prefix == "char") {
    v = hostrt::charValue(rest);
  } else {
    v = hostrt::charValue(arg);
  }
  return v;
}

int callCommand(Session& session, const std::vector<std::string>& args, bool isStatic,
                const std::vector<std::pair<qlong, std::string>>& saves) {
  if (args.empty()) throw UsageError("call needs a method");
  const std::string& method = args[0];
  qlong objectId = isStatic ? 0 : kMainObject;
  qlong id = 0;
  if (isNumber(method)) {
    const long n = std::strtol(method.c_str(), nullptr, 10);
    if (n < 0 || n > 65535) throw UsageError("a method number is 0 to 65535, not " + method);
    id = static_cast<qlong>(n);
  } else if (!isStatic && session.host().methodId(kMainObject, method) == 0 &&
             session.host().methodId(0, method) != 0) {
    objectId = 0;  // a static method's name
    id = session.methodId(0, method);
  } else {
    id = session.methodId(objectId, method);
  }
  std::vector<EXTfldval> params;
  for (size_t i = 1; i < args.size(); ++i) params.push_back(argValue(args[i]));
  for (const auto& s : saves)
    if (s.first < 1 || static_cast<size_t>(s.first) > params.size())
      throw UsageError("--save " + std::to_string(s.first) + ": no such parameter");

  const Session::Instance* main = session.find("main");
  const hostrt::CallOutcome r =
      session.host().call(objectId, objectId ? main->inst : 0, id, params);
  int status = r.errors.empty() ? 0 : 1;
  std::cout << "return  " << (r.hasReturn ? compact(valueToJson(r.ret)) : "none") << '\n';
  for (qlong n : r.changed) {
    if (n < 1 || static_cast<size_t>(n) > params.size()) continue;
    const EXTfldval& p = params[static_cast<size_t>(n - 1)];
    bool saved = false;
    for (const auto& s : saves) saved = saved || s.first == n;
    if (saved)
      std::cout << "param " << n << " " << p.getBinLen() << " bytes\n";
    else
      std::cout << "param " << n << " " << compact(valueToJson(p)) << '\n';
  }
  for (const hostrt::ErrorReport& e : r.errors)
    std::cout << "error   " << e.code << ' ' << e.message
              << (e.detail.empty() ? "" : ": " + e.detail)
              << (e.method.empty() ? "" : " (" + e.method + ")") << '\n';
  for (const json& c : callsJson(r.calls))
    std::cout << "call    " << c["object"].get<std::string>() << '.'
              << c["method"].get<std::string>() << ' ' << compact(c["params"]) << '\n';

  for (const auto& s : saves) {
    const EXTfldval& p = params[static_cast<size_t>(s.first - 1)];
    const ffttype t = p.getType();
    if (t != fftBinary && t != fftPicture && t != fftObject) {
      std::cerr << "zqhost: parameter " << s.first << " is not binary; " << s.second
                << " not written\n";
      status = 1;
      continue;
    }
    std::ofstream out(s.second, std::ios::binary | std::ios::trunc);
    const qHandleInfo* h = p.getHandle();
    if (h) out.write(reinterpret_cast<const char*>(h->mData), p.getBinLen());
    if (!out.flush()) {
      std::cerr << "zqhost: cannot write " << s.second << '\n';
      status = 1;
      continue;
    }
    std::cout << "saved   parameter " << s.first << " to " << s.second << '\n';
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::string modulePath;
  bool json = false, isStatic = false, version = false;
  std::vector<std::pair<qlong, std::string>> saves;
  std::vector<std::string> args;
  try {
    bool options = true;
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      if (options && a == "--") {
        options = false;
      } else if (options && (a == "--help" || a == "-h")) {
        std::cout << kUsage;
        return 0;
      } else if (options && a == "--module") {
        if (++i == argc) throw UsageError("--module needs a path");
        modulePath = argv[i];
      } else if (options && a == "--save") {
        if (++i == argc) throw UsageError("--save needs N=PATH");
        const std::string saveArg = argv[i];
        const size_t eq = saveArg.find('=');
        if (eq == std::string::npos || !isNumber(saveArg.substr(0, eq)) || eq + 1 == saveArg.size())
          throw UsageError("--save needs N=PATH, not " + saveArg);
        const long n = std::strtol(saveArg.substr(0, eq).c_str(), nullptr, 10);
        saves.emplace_back(n < 0 || n > 65535 ? 0 : static_cast<qlong>(n), saveArg.substr(eq + 1));
      } else if (options && a == "--version") {
        version = true;
      } else if (options && a == "--json") {
        json = true;
      } else if (options && a == "--static") {
        isStatic = true;
      } else if (options && a.size() > 2 && a.compare(0, 2, "--") == 0) {
        throw UsageError("unknown option " + a);
      } else {
        args.push_back(a);
      }
    }
    const std::string module = modulePath.empty() ? Module::defaultPath() : modulePath;
    if (version) {
      printVersion(module);
      return 0;
    }
    if (args.empty()) throw UsageError("no command");
    const std::string command = args[0];
    args.erase(args.begin());
    if (command != "info" && command != "call" && command != "run")
      throw UsageError("unknown command " + command);
    if (command != "call" && (!saves.empty() || isStatic))
      throw UsageError("--save and --static belong to call");
    if (command == "info" && !args.empty()) throw UsageError("info takes no arguments");
    if (command == "run" && args.size() > 1) throw UsageError("run takes at most one file");

    std::ifstream file;
    if (command == "run" && !args.empty()) {
      file.open(args[0]);
      if (!file) {
        std::cerr << "zqhost: cannot read " << args[0] << '\n';
        return 2;
      }
    }

    Module loaded(module);
    Session session(loaded);
    warnAboutResources(session);
    if (command == "info") {
      if (json)
        std::cout << infoJson(session).dump(2, ' ', false, json::error_handler_t::replace) << '\n';
      else
        printInfo(session);
      return 0;
    }
    if (command == "run") {
      runLines(session, args.empty() ? std::cin : file, std::cout);
      return 0;
    }
    return callCommand(session, args, isStatic, saves);
  } catch (const UsageError& e) {
    std::cerr << "zqhost: " << e.what() << '\n' << kUsage;
    return 2;
  } catch (const std::exception& e) {
    std::cerr << "zqhost: " << e.what() << '\n';
    return 2;
  }
}
