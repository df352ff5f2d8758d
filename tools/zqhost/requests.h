// The JSON Lines interface: one request object a line in, one response object a line out.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "jsonvalues.h"
#include "session.h"

namespace zqhost {

// Which parameters a call's response shows in "params": all of them, only those the method
// marked changed (null in the places of the others), or none (all null).
enum class Echo { All, Changed, None };
// "all", "changed" or "none"; throws RequestError otherwise.
Echo echoMode(const std::string& name);

struct RunOptions {
  Echo echo = Echo::All;  // for requests without an "echo" key
};

// The response to one request line. Never throws: a line that cannot be parsed or carried
// out gets {"error": "..."}.
json respond(Session& session, const std::string& line, const RunOptions& options = {});

struct RunTotals {
  size_t requests = 0;
  size_t refused = 0;  // answered with {"error": ...}
};

// Answers every non-blank line of in with one response line on out, in order.
RunTotals runLines(Session& session, std::istream& in, std::ostream& out,
                   const RunOptions& options = {});

// What the handshake registered (and the library's version), as JSON.
json infoJson(Session& session);

// The parts of a response shared by requests and the command line.
json callsJson(const std::vector<hostrt::RecordedCall>& calls);
json errorsJson(const std::vector<hostrt::ErrorReport>& errors);

}  // namespace zqhost
