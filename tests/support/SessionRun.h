#pragma once

#include <algorithm>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/Fleet.h"
#include "platform/VirtualRunLoop.h"

namespace korvane::testing {

// A command of korvane-cli run on one controller, on virtual time, until it finishes.
struct SessionRun {
    std::unique_ptr<ConsoleSession> session;
    int status = -1;
};

// A command of korvane-cli from its words after the program's name, checked as main checks it.
inline CommandAction parseCommand(const std::vector<std::string>& words) {
    const auto& table = commands();
    const auto command = std::find_if(
        table.begin(), table.end(), [&](const Command& each) { return each.name == words.at(0); });
    if (command == table.end()) {
        throw UsageError{"no command " + words[0]};
    }
    return command->parse(std::vector<std::string>(words.begin() + 1, words.end()));
}

inline SessionRun runSession(VirtualRunLoop& loop, const CommandAction& action, std::ostream& out,
                             std::ostream& err, bool fast = false) {
    SessionRun run{std::make_unique<ConsoleSession>(out, err)};
    run.session->control().setFastTransfers(fast);
    std::optional<int> status;
    run.session->setOnFinished([&](int result) { status = result; });
    action.start(*run.session);
    loop.runUntil([&] { return status.has_value(); });
    run.status = status.value_or(-1);
    return run;
}

// A command of korvane-cli run on every controller, as --all does, until it finishes; the exit
// status.
inline int runFleet(VirtualRunLoop& loop, const CommandAction& action, const FleetOptions& options,
                    std::ostream& out, std::ostream& err) {
    Fleet fleet(action, options, out, err);
    std::optional<int> status;
    fleet.start([&](int result) { status = result; });
    loop.runUntil([&] { return status.has_value(); });
    return status.value_or(-1);
}

}  // namespace korvane::testing
