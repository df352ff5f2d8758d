// A small host program built against the installed host layer: it loads the zqtools
// component, performs the registration handshake, calls $replace on a main instance and
// prints the result.
//   replace_host [MODULE [TEXT SEARCH REPLACEMENT]]
// MODULE defaults to the installed component (ZQTOOLS_MODULE, set by the build).
#include <dlfcn.h>
#include <hostruntime.h>

#include <cstdio>
#include <string>
#include <vector>

#ifndef ZQTOOLS_MODULE
#define ZQTOOLS_MODULE "zqtools.so"
#endif

namespace {

const qlong kMainObject = 1001;  // the component's main object, ZQObj

EXTfldval integer(qlong n) {
  EXTfldval v;
  v.setLong(n);
  return v;
}

// Loads the module, talks to it, and answers the exit status.
int replace(hostrt::WndProc proc, const std::string& text, const std::string& search,
            const std::string& replacement) {
  hostrt::Host host(proc);
  const hostrt::Host::Registry& registry = host.handshake();
  for (const std::string& problem : registry.resourceProblems)
    std::fprintf(stderr, "replace_host: warning: %s\n", problem.c_str());
  std::printf("%s: %s\n", registry.libName.c_str(), registry.libInfo.c_str());

  const qlong method = host.methodId(kMainObject, "$replace");
  if (method == 0) {
    std::fprintf(stderr, "replace_host: the component registers no $replace\n");
    return 1;
  }
  const objinst inst = hostrt::newInstance("main");
  host.construct(kMainObject, inst);
  // Source, SearchChars, Replacement, Result (by reference), StartPosition,
  // MaxReplacements (0: all).
  std::vector<EXTfldval> params = {hostrt::charValue(text),
                                   hostrt::charValue(search),
                                   hostrt::charValue(replacement),
                                   hostrt::charValue(""),
                                   integer(0),
                                   integer(0)};
  const hostrt::CallOutcome outcome = host.call(kMainObject, inst, method, params);
  int status = 0;
  for (const hostrt::ErrorReport& e : outcome.errors) {
    std::fprintf(stderr, "replace_host: %s: %ld %s: %s\n", e.method.c_str(),
                 static_cast<long>(e.code), e.message.c_str(), e.detail.c_str());
    status = 1;
  }
  if (status == 0)
    std::printf("%s (%ld replacements)\n", hostrt::toUtf8(params[3]).c_str(),
                static_cast<long>(outcome.ret.getLong()));
  host.destruct(kMainObject, inst);
  host.send(msgDisconnect, 0, 0, 0);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string path = argc > 1 ? argv[1] : ZQTOOLS_MODULE;
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::fprintf(stderr, "replace_host: %s\n", dlerror());
    return 2;
  }
  auto initialize = reinterpret_cast<void (*)(const char*)>(dlsym(module, "__ExtInitialize"));
  auto terminate = reinterpret_cast<void (*)()>(dlsym(module, "__ExtTerminate"));
  auto proc = reinterpret_cast<hostrt::WndProc>(dlsym(module, "ZQWndProc"));
  if (!initialize || !terminate || !proc) {
    std::fprintf(stderr, "replace_host: %s is not the zqtools component\n", path.c_str());
    return 2;
  }
  initialize(path.c_str());  // the component's resource strings are read from beside path
  const int status = argc > 4 ? replace(proc, argv[2], argv[3], argv[4])
                              : replace(proc, "one, two, one", "one", "three");
  terminate();
  return status;
}
