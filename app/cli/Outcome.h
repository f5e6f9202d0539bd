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
    // The firmware was written and verified, but the controller was not seen back in time.
    bool notBack = false;
};

// How a command that ended by itself with `status` stands; `reason` its last error line.
Outcome finishedOutcome(int status, std::string reason);

// How a command that a signal ended stands: ok when its work was done by then.
Outcome interruptedOutcome(const Interruption& interruption);

// One JSON object: the controller (as `info --json` shows it, when one was found and its
// settings still stand), for flash the file's software version, its data records written and
// skipped and the software the controller came back with, what the command adds of its own, the
// result (ok, failed, notBack or interrupted, with the reason), and the time it took.
JsonObject describeOutcome(const ConsoleSession& session, const CommandAction& action,
                           const Outcome& outcome);

// "Summary: /dev/ttyACM0, device BEEF, software 07, file's software 08, ok, 43.95 s"
std::string summaryLine(const ConsoleSession& session, const CommandAction& action,
                        const Outcome& outcome);

}  // namespace korvane
