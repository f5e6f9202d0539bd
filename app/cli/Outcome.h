#pragma once

#include <string>

#include "app/cli/Commands.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/JsonObject.h"

namespace korvane {

// How a command ended on one controller, as the summaries tell it.
struct Outcome {
    bool ok = false;
    // The last line the command wrote to its error output, or what an interruption left.
    std::string reason;
    // A signal ended the command before it was done.
    bool interrupted = false;
};

// How a command that a signal ended stands: ok when its work was done by then.
Outcome interruptedOutcome(const Interruption& interruption);

// One JSON object: the controller (as `info --json` shows it, when one was found and its
// settings still stand), for flash the file's software version and its data records written and
// skipped, the result (ok, failed or interrupted, with the reason), and the time it took.
JsonObject describeOutcome(const ConsoleSession& session, const CommandAction& action,
                           const Outcome& outcome);

// "Summary: /dev/ttyACM0, device BEEF, software 07, file's software 08, ok, 43.95 s"
std::string summaryLine(const ConsoleSession& session, const CommandAction& action,
                        const Outcome& outcome);

}  // namespace korvane
