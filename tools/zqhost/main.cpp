// zqhost: a command-line host for the zqtools component. It loads the module, performs the
// registration handshake as a host does, and lists what was registered (info), calls one
// method (call) or answers JSON Lines requests (run).
#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>

#include "arguments.h"
#include "files.h"
#include "requests.h"
#include "zqversion.h"

using namespace zqhost;

namespace {

// Exit statuses, as documented in --help and the manual page.
const int kExitOk = 0;
const int kExitFailed = 1;   // the method reported an error, or a result could not be given
const int kExitUsage = 2;    // bad command line, or the module could not be loaded
const int kExitIo = 3;       // a file or standard output could not be read or written
const int kExitRefused = 4;  // run --strict: some request was refused with {"error": ...}

const char kArgumentsHelp[] =
    "Arguments of call are character text unless prefixed:\n"
    "  int:N, int64:N        an integer; N may be a constant's name (int:kZQCipherAES128)\n"
    "  num:X                 a number\n"
    "  bool:true|false       a boolean (also 1, 0, yes, no)\n"
    "  bin:HEX               binary from hexadecimal\n"
    "  file:PATH             binary, the bytes of a file ('-': standard input)\n"
    "  textfile:PATH         character, the UTF-8 text of a file ('-': standard input)\n"
    "  char:TEXT             character text that itself starts with a prefix\n"
    "  json:VALUE            any value in the JSON form of run, e.g. a list\n";

const char kExitHelp[] =
    "Exit status:\n"
    "  0  success\n"
    "  1  the method reported an error, or a chosen value could not be given\n"
    "  2  bad command line, or the module could not be loaded\n"
    "  3  a file or standard output could not be read or written\n"
    "  4  run --strict: at least one request was refused with {\"error\": ...}\n";

std::string compact(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

// ------------------------------------------------------------------------------------------
// info and --version

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
  std::cout << "note      types and optional flags are as registered; several parameters accept\n"
               "          more (a number as text, a list's name) or may be left out: see the\n"
               "          README, \"Registered types and accepted values\"\n";
}

// ------------------------------------------------------------------------------------------
// call

struct CallOptions {
  bool isStatic = false;
  bool quiet = false;
  std::vector<std::string> saves;  // N=PATH
  std::string print;               // "return" or a parameter number; empty: the report
  std::string method;
  std::vector<std::string> args;
};

struct Save {
  qlong param;
  std::string path;
};

qlong parameterNumber(const std::string& text, const std::string& what) {
  long long n = 0;
  if (!parseInteger(text, n) || n < 1 || n > 65535)
    throw UsageError(what + ": a parameter number is 1 to 65535, not \"" + text + "\"");
  return static_cast<qlong>(n);
}

std::vector<Save> parseSaves(const std::vector<std::string>& options) {
  std::vector<Save> saves;
  for (const std::string& option : options) {
    const size_t eq = option.find('=');
    if (eq == std::string::npos || eq + 1 == option.size())
      throw UsageError("--save needs N=PATH, not " + option);
    saves.push_back(
        {parameterNumber(option.substr(0, eq), "--save " + option), option.substr(eq + 1)});
  }
  return saves;
}

// Binary values longer than this are summarised in a report shown on a terminal: a barcode
// image would be tens of thousands of hexadecimal digits.
const qlong kTerminalBytes = 64;

bool isByteType(ffttype t) { return t == fftBinary || t == fftPicture || t == fftObject; }

std::string terminalHint(const std::string& what, qlong param) {
  const std::string target = param ? std::to_string(param) : std::string("N");
  return what +
         " is binary: not written to a terminal; redirect standard output (> FILE) or "
         "use --save " +
         target + "=FILE";
}

// Prints a value bare: text as UTF-8 and a line break, binary as its bytes, other values as
// their JSON text and a line break (a null value as an empty line).
void printBare(const EXTfldval& v, const std::string& what, qlong param) {
  const ffttype t = v.getType();
  if (isByteType(t)) {
    if (standardOutputIsTerminal()) throw UsageError(terminalHint(what, param));
    const qHandleInfo* h = v.getHandle();
    writeStandardOutput(h ? h->mData : nullptr, h ? static_cast<size_t>(v.getBinLen()) : 0);
    return;
  }
  if (v.isNull()) {
    std::cout << '\n';
  } else if (t == fftCharacter) {
    std::cout << hostrt::toUtf8(v) << '\n';
  } else {
    const json j = valueToJson(v);
    const json& inner = j.begin().value();
    std::cout << (inner.is_string() ? inner.get<std::string>() : compact(inner)) << '\n';
  }
}

int callCommand(Session& session, const CallOptions& o) {
  const std::vector<Save> saves = parseSaves(o.saves);
  const bool printReturn = o.print == "return";
  const qlong printParam = o.print.empty() || printReturn ? 0 : parameterNumber(o.print, "--print");
  bool toStandardOutput = !o.print.empty();
  for (const Save& s : saves) {
    if (s.path != "-") continue;
    if (standardOutputIsTerminal())
      throw UsageError("--save " + std::to_string(s.param) +
                       "=-: standard output is a terminal; redirect it (> FILE) or name a file");
    if (toStandardOutput) throw UsageError("only one value can go to standard output");
    toStandardOutput = true;
  }

  qlong objectId = o.isStatic ? 0 : kMainObject;
  qlong id = 0;
  long long number = 0;
  if (parseInteger(o.method, number)) {
    if (number < 0 || number > 65535)
      throw UsageError("a method number is 0 to 65535, not " + o.method);
    id = static_cast<qlong>(number);
  } else if (!o.isStatic && session.host().methodId(kMainObject, o.method) == 0 &&
             session.host().methodId(0, o.method) != 0) {
    objectId = 0;  // a static method's name
    id = session.methodId(0, o.method);
  } else {
    id = session.methodId(objectId, o.method);
  }
  std::vector<EXTfldval> params(o.args.size());
  for (size_t i = 0; i < o.args.size(); ++i) {
    const std::string& arg = o.args[i];
    // Everything after METHOD is the method's; an option written there is most likely meant
    // for zqhost, so say where it went.
    const std::string name = arg.substr(0, arg.find('='));
    for (const char* option :
         {"--save", "--print", "-p", "-r", "-q", "--quiet", "--static", "--module", "--help", "-h"})
      if (name == option && !o.quiet)
        std::cerr << "zqhost: warning: " << arg << " follows METHOD and goes to the method as "
                  << "text; options go before METHOD (char:" << arg << " says text)\n";
    setArgumentValue(arg, session.registry(), params[i]);
  }
  for (const Save& s : saves)
    if (static_cast<size_t>(s.param) > params.size())
      throw UsageError("--save " + std::to_string(s.param) + ": no such parameter");
  if (static_cast<size_t>(printParam) > params.size())
    throw UsageError("--print " + o.print + ": no such parameter");

  const Session::Instance* main = session.find("main");
  const hostrt::CallOutcome r =
      session.host().call(objectId, objectId ? main->inst : 0, id, params);
  const bool failed = !r.errors.empty();
  int status = failed ? kExitFailed : kExitOk;

  // The report goes to standard output unless a value goes there; the method's errors are
  // always shown, on standard error then.
  const bool report = !o.quiet && !toStandardOutput;
  const bool terminal = report && standardOutputIsTerminal();
  if (report) {
    std::cout << "return  " << (r.hasReturn ? compact(valueToJson(r.ret)) : "none") << '\n';
    for (qlong n : r.changed) {
      if (n < 1 || static_cast<size_t>(n) > params.size()) continue;
      const EXTfldval& p = params[static_cast<size_t>(n - 1)];
      bool saved = false;
      for (const Save& s : saves) saved = saved || s.param == n;
      if (saved)
        std::cout << "param " << n << " " << p.getBinLen() << " bytes\n";
      else if (isByteType(p.getType()) && p.getBinLen() > kTerminalBytes && terminal)
        std::cout << "param " << n << " " << p.getBinLen() << " bytes (not shown on a terminal; "
                  << "--save " << n << "=FILE writes them)\n";
      else
        std::cout << "param " << n << " " << compact(valueToJson(p)) << '\n';
    }
  }
  for (const hostrt::ErrorReport& e : r.errors) {
    if (o.quiet) break;
    (report ? std::cout : std::cerr) << (report ? "error   " : "zqhost: error ") << e.code << ' '
                                     << e.message << (e.detail.empty() ? "" : ": " + e.detail)
                                     << (e.method.empty() ? "" : " (" + e.method + ")") << '\n';
  }
  if (report) {
    for (const json& c : callsJson(r.calls))
      std::cout << "call    " << c["object"].get<std::string>() << '.'
                << c["method"].get<std::string>() << ' ' << compact(c["params"]) << '\n';
  }

  if (failed) {
    if (!saves.empty() && !o.quiet)
      std::cerr << "zqhost: the call reported an error; nothing saved\n";
    return status;
  }
  if (printReturn) {
    if (!r.hasReturn) {
      std::cerr << "zqhost: the method returned no value\n";
      return kExitFailed;
    }
    printBare(r.ret, "the return value", 0);
  } else if (printParam) {
    printBare(params[static_cast<size_t>(printParam - 1)],
              "parameter " + std::to_string(printParam), printParam);
  }
  for (const Save& s : saves) {
    const EXTfldval& p = params[static_cast<size_t>(s.param - 1)];
    if (!isByteType(p.getType())) {
      std::cerr << "zqhost: parameter " << s.param << " is not binary; " << s.path
                << " not written\n";
      if (status == kExitOk) status = kExitFailed;
      continue;
    }
    const qHandleInfo* h = p.getHandle();
    try {
      replaceFile(s.path, h ? h->mData : nullptr, h ? static_cast<size_t>(p.getBinLen()) : 0);
    } catch (const FileError& e) {
      std::cerr << "zqhost: " << e.what() << '\n';
      status = kExitIo;
      continue;
    }
    if (report) std::cout << "saved   parameter " << s.param << " to " << s.path << '\n';
  }
  return status;
}

// Reports what could not be written to standard output; true when all went out.
bool flushStandardOutput() {
  std::cout.flush();
  if (std::fflush(stdout) == 0 && !std::ferror(stdout) && std::cout) return true;
  std::cerr << "zqhost: standard output: " << std::strerror(errno) << '\n';
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app(
      "zqhost: loads the zqtools component, performs the registration handshake as a "
      "host does, and lists what it registered, calls one method, or answers JSON "
      "Lines requests.",
      "zqhost");
  app.set_help_flag("-h,--help", "print this help and exit");
  app.require_subcommand(0, 1);
  app.footer(std::string("Run 'zqhost COMMAND --help' for the options of a command.\n\n") +
             kExitHelp);
  std::string modulePath;
  bool version = false;
  app.add_option(
         "--module", modulePath,
         "the component to load (default: zqtools.so beside zqhost, else the installed one)")
      ->type_name("PATH");
  app.add_flag("--version", version, "print zqhost's version and the component's, then exit");

  CLI::App* info = app.add_subcommand("info",
                                      "list the library, its objects, methods (with "
                                      "their parameters), static methods and constants");
  bool infoJsonOutput = false;
  info->add_flag("--json", infoJsonOutput, "print the same as JSON");

  CLI::App* call = app.add_subcommand(
      "call", "call one method of a new main instance, or a static method, by name or number");
  CallOptions callOptions;
  call->add_flag("--static", callOptions.isStatic, "take a method number as a static method's");
  call->add_option("--save", callOptions.saves,
                   "after a successful call, write parameter N's bytes to PATH (through a "
                   "temporary file renamed into place; '-': standard output); repeatable")
      ->type_name("N=PATH")
      ->allow_extra_args(false)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  call->add_option("-p,--print", callOptions.print,
                   "print only this value, bare: 'return' or a parameter number N; text as "
                   "UTF-8, binary as raw bytes (not to a terminal)")
      ->type_name("WHICH");
  bool printReturn = false;
  call->add_flag("-r", printReturn, "the same as --print return");
  call->add_flag("-q,--quiet", callOptions.quiet,
                 "print no report; the exit status tells whether the call succeeded");
  call->add_option("METHOD", callOptions.method, "registered name ($replace) or number (2106)")
      ->required();
  call->add_option("ARG", callOptions.args, "the method's parameters, in order (see below)");
  call->positionals_at_end();
  call->footer(std::string(kArgumentsHelp) + "\n" + kExitHelp);

  CLI::App* run =
      app.add_subcommand("run", "answer JSON Lines requests, one response line per request line");
  std::string runFile = "-";
  run->add_option("FILE", runFile, "the requests ('-' or none: standard input)");
  std::string echo = "all";
  run->add_option("--echo", echo,
                  "the parameters each response shows, unless a request says otherwise: all, "
                  "changed or none")
      ->check(CLI::IsMember({"all", "changed", "none"}))
      ->type_name("WHICH");
  bool strict = false;
  run->add_flag("--strict", strict,
                "exit with status 4 when some request was refused with {\"error\": ...}; "
                "without it a session that ran to its end exits with 0");
  run->footer(kExitHelp);

  for (CLI::App* sub : {info, call, run}) {
    sub->fallthrough();  // --module may follow the command
    sub->set_help_flag("-h,--help", "print this help and exit");
  }

  // The first word that is not an option, nor --module's path, names the command.
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--module") {
      ++i;
    } else if (a == "--") {
      break;
    } else if (a.empty() || a[0] != '-') {
      if (a == "info" || a == "call" || a == "run") break;
      std::cerr << "zqhost: unknown command " << a
                << ": info, call or run\nRun 'zqhost --help' "
                   "for more information.\n";
      return kExitUsage;
    }
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    // Help of the command that asked for it.
    const CLI::App* asked = &app;
    for (CLI::App* sub : {info, call, run})
      if (sub->parsed()) asked = sub;
    std::cout << asked->help(asked == &app ? "" : "zqhost");
    return flushStandardOutput() ? kExitOk : kExitIo;
  } catch (const CLI::ParseError& e) {
    std::cerr << "zqhost: " << e.what()
              << "\nRun 'zqhost --help' or 'zqhost COMMAND --help' "
                 "for more information.\n";
    return kExitUsage;
  }
  if (printReturn) {
    if (!callOptions.print.empty() && callOptions.print != "return") {
      std::cerr << "zqhost: -r and --print " << callOptions.print << " choose different values\n";
      return kExitUsage;
    }
    callOptions.print = "return";
  }
  if (!version && app.get_subcommands().empty()) {
    std::cerr << "zqhost: no command: info, call or run\nRun 'zqhost --help' for more "
                 "information.\n";
    return kExitUsage;
  }

  int status = kExitOk;
  try {
    const std::string module = modulePath.empty() ? Module::defaultPath() : modulePath;
    if (version) {
      printVersion(module);
      return flushStandardOutput() ? kExitOk : kExitIo;
    }
    Module loaded(module);
    Session session(loaded);
    warnAboutResources(session);
    if (info->parsed()) {
      if (infoJsonOutput)
        std::cout << infoJson(session).dump(2, ' ', false, json::error_handler_t::replace) << '\n';
      else
        printInfo(session);
    } else if (run->parsed()) {
      InputFile requests(runFile);
      std::istream in(&requests);
      RunOptions options;
      options.echo = echoMode(echo);
      const RunTotals totals = runLines(session, in, std::cout, options);
      requests.check();
      status = strict && totals.refused ? kExitRefused : kExitOk;
    } else {
      status = callCommand(session, callOptions);
    }
  } catch (const FileError& e) {
    std::cerr << "zqhost: " << e.what() << '\n';
    status = kExitIo;
  } catch (const UsageError& e) {
    std::cerr << "zqhost: " << e.what() << '\n';
    status = kExitUsage;
  } catch (const std::bad_alloc&) {
    std::cerr << "zqhost: out of memory\n";
    status = kExitUsage;
  } catch (const std::exception& e) {
    // Loading the module and unknown methods.
    std::cerr << "zqhost: " << e.what() << '\n';
    status = kExitUsage;
  }
  if (!flushStandardOutput() && status == kExitOk) status = kExitIo;
  return status;
}
