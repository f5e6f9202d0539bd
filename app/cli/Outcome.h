#pragma once

#include <string>

#include "app/cli/Commands.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/JsonObject.h"

namespace korvane {

// How a command ended on one controller, as the summaries tell it.
struct Outcome {
    bool ok = false;
    // The last line the command wrote to its error output.
    std::string reason;
};

// One JSON object: the controller (as `info --json` shows it, when one was found and its
// settings still stand), for flash the records written and the version after, the result, and
// the time it took.
JsonObject describeOutcome(const ConsoleSession& session, const CommandAction& action,
                           const Outcome& outcome);

// "Summary: /dev/ttyACM0, device BEEF, software 07 -> 08, ok, 43.95 s"
std::string summaryLine(const ConsoleSession& session, const CommandAction& action,
                        const Outcome& outcome);

}  // namespace korvane
