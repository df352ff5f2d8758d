// The JSON Lines interface: one request object a line in, one response object a line out.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "jsonvalues.h"
#include "session.h"

namespace zqhost {

// The response to one request line. Never throws: a line that cannot be parsed or carried
// out gets {"error": "..."}.
json respond(Session& session, const std::string& line);

// Answers every non-blank line of in with one response line on out, in order.
void runLines(Session& session, std::istream& in, std::ostream& out);

// What the handshake registered (and the library's version), as JSON.
json infoJson(Session& session);

// The parts of a response shared by requests and the command line.
json callsJson(const std::vector<hostrt::RecordedCall>& calls);
json errorsJson(const std::vector<hostrt::ErrorReport>& errors);

}  // namespace zqhost
