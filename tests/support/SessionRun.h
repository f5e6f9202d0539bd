#pragma once

#include <memory>
#include <optional>
#include <ostream>

#include "app/cli/Commands.h"
#include "app/cli/ConsoleSession.h"
#include "platform/VirtualRunLoop.h"

namespace korvane::testing {

// A command of korvane-cli run on one controller, on virtual time, until it finishes.
struct SessionRun {
    std::unique_ptr<ConsoleSession> session;
    int status = -1;
};

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

}  // namespace korvane::testing
