// The JSON Lines interface of `zqhost run`: each input is a session of request lines,
// answered by the same code as the command (a fresh session with the component loaded as a
// module). Any line must get one response line, never a crash, a hang or a leak.
//
// A request that may reach the static method that launches programs always gets /bin/true as
// its program, and the trace file that the trace method appends to (zq_trace.txt in the working
// directory) is removed after each input: run the fuzzer in a scratch directory.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzzinput.h"
#include "requests.h"
#include "session.h"

namespace {

const qlong kLaunchMethod = 2006;

// The line itself, or, for a request that may reach the launch method, the same request with
// /bin/true as its only parameter. A static request reaches it by name or number; a call
// request by number, on an instance of an object id the component does not know (the call
// then goes to the static methods).
std::string withoutLaunches(zqhost::Session& session, const std::string& line) {
  zqhost::json req;
  try {
    req = zqhost::json::parse(line);
    if (!req.is_object()) return line;
    bool launch = false;
    if (req.contains("static")) {
      const zqhost::json& method = req.at("static");
      launch = method.is_string() ? session.methodId(0, method.get<std::string>()) == kLaunchMethod
                                  : method.is_number_integer() && method == kLaunchMethod;
    } else if (req.contains("call")) {
      const zqhost::json& method = req.at("call");
      launch = method.is_number_integer() && method == kLaunchMethod;
    }
    if (!launch) return line;
  } catch (const std::exception&) {
    return line;
  }
  req["params"] = zqhost::json::array({{{"char", "/bin/true"}}});
  return req.dump();
}

const zqhost::Module& module() {
  static const zqhost::Module loaded(ZQ_MODULE_PATH);
  return loaded;
}

}  // namespace

// Loads the module before fuzzing starts, so that its coverage counters are known from the
// first input on.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  module();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  hostrt::setAllocFailure(0, zqfuzz::kAllocationCeiling);
  {
    zqhost::Session session(module());
    std::istringstream lines(input);
    std::string requests, line;
    while (std::getline(lines, line)) requests += withoutLaunches(session, line) + '\n';
    std::istringstream in(requests);
    std::ostringstream out;
    zqhost::runLines(session, in, out);
  }
  hostrt::resetFailures();
  hostrt::clearRecordedCalls();
  unlink("zq_trace.txt");
  return 0;
}
