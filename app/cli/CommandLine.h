#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "app/cli/Fleet.h"
#include "app/cli/History.h"
#include "app/frontend/FrontEndOptions.h"

namespace korvane {

// What the command line asks for.
struct Invocation {
    FrontEndOptions options;
    bool all = false;
    // The outcome as JSON (set, reset, flash, settings; every command with --all).
    bool json = false;
    // The command writes JSON of its own (info --json) on success; a failure is JSON too.
    bool ownJson = false;
    FleetOptions fleet;
    CommandAction action;
    // --history FILE, opened: a line for each controller's outcome.
    std::shared_ptr<History> history;
    // Already answered: --help or --version; the text to print.
    std::string answered;
};

// Reads the arguments (with CLI11): the options, anywhere, and the command with its arguments,
// checked by the command. `canAsk`: somebody can answer a question (standard input is a
// terminal); a command that would ask is refused otherwise. Throws UsageError or InputError.
Invocation parseCommandLine(int argc, char** argv, bool canAsk);

}  // namespace korvane
