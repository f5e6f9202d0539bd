#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"
#include "app/cli/Conversation.h"
#include "app/cli/Fleet.h"
#include "app/cli/OneController.h"
#include "platform/VirtualRunLoop.h"

namespace korvane::testing {

// What korvane-cli did: its exit status, what it wrote, and the virtual time it took.
struct CommandLineRun {
    int status = -1;
    std::string out;
    std::string err;
    Duration took{0};
    // The questions it asked.
    std::vector<std::string> asked;
};

// Runs korvane-cli's `words` as main does, in this process on virtual time: parsed, then run on
// one controller or, with --all, on every one; until it is done (or the loop has nothing left).
// A question is answered `answer` after a moment's thought; `asking` runs as it is asked. A
// usage error or an unusable file is status 2 with the reason on `err`.
inline CommandLineRun runCommandLine(VirtualRunLoop& loop, const std::vector<std::string>& words,
                                     bool answer = true, const std::function<void()>& asking = {}) {
    std::vector<std::string> arguments = {"korvane-cli"};
    arguments.insert(arguments.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    CommandLineRun run;
    Invocation invocation;
    try {
        invocation = parseCommandLine(static_cast<int>(argv.size()), argv.data(), true);
    } catch (const UsageError& error) {
        run.err = error.reason;
    } catch (const InputError& error) {
        run.err = error.reason;
    }
    if (!run.err.empty()) {
        run.status = kUnusable;
        return run;
    }
    std::ostringstream out;
    std::ostringstream err;
    std::optional<int> status;
    // An answer that comes after the command ended has nobody to go to.
    const auto running = std::make_shared<bool>(true);
    const auto ask = [&](const std::string& question, std::function<void(bool)> reply) {
        run.asked.push_back(question);
        if (asking) {
            asking();
        }
        RunLoop::current().schedule(Duration{500}, [answer, reply, running] {
            if (*running) {
                reply(answer);
            }
        });
    };
    const auto done = [&status](int result) {
        status = result;
    };
    const Duration began = loop.now();
    if (invocation.all) {
        Fleet fleet(invocation.action, invocation.fleet, out, err);
        fleet.setConfirmer(ask);
        fleet.start(done);
        loop.runUntil([&] { return status.has_value(); });
    } else {
        OneController one(invocation, out, err);
        one.setAsker(ask);
        one.start(done);
        loop.runUntil([&] { return status.has_value(); });
        if (status) {
            one.end(*status, std::nullopt);
        }
    }
    *running = false;
    run.status = status.value_or(-1);
    run.out = out.str();
    run.err = err.str();
    run.took = loop.now() - began;
    return run;
}

}  // namespace korvane::testing
