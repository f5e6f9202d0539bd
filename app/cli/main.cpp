// korvane-cli: the controller from a terminal, for scripts and production lines.
#include <QCoreApplication>
#include <algorithm>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/Fleet.h"
#include "app/cli/Outcome.h"
#include "app/cli/PrefixedOutput.h"
#include "app/cli/Terminal.h"
#include "app/frontend/FrontEnd.h"
#include "platform/qt/InterruptWatch.h"

using namespace korvane;

namespace {

constexpr int kUsageStatus = kUnusable;

struct Invocation {
    FrontEndOptions options;
    std::vector<std::string> words;
    bool help = false;
    bool version = false;
    bool all = false;
    bool json = false;
    FleetOptions fleet;
};

std::size_t expectedCount(const std::string& text) {
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) < 1) {
        throw UsageError{"--expect needs a whole number from 1 to 9999, not \"" + text + "\""};
    }
    return static_cast<std::size_t>(std::stoi(text));
}

Invocation parseOptions(int argc, char** argv) {
    Invocation invocation;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--port") {
            if (i + 1 >= argc) {
                throw UsageError{"--port needs a path"};
            }
            invocation.options.ports.emplace_back(argv[++i]);
        } else if (argument == "--demo") {
            invocation.options.demo = true;
        } else if (argument == "--verbose") {
            invocation.options.verbose = true;
        } else if (argument == "--fast") {
            invocation.options.fast = true;
        } else if (argument == "--all") {
            invocation.all = true;
        } else if (argument == "--expect") {
            if (i + 1 >= argc) {
                throw UsageError{"--expect needs a number"};
            }
            invocation.fleet.expect = expectedCount(argv[++i]);
        } else if (argument == "--help" || argument == "-h") {
            invocation.help = true;
        } else if (argument == "--version") {
            invocation.version = true;
        } else {
            invocation.words.push_back(argument);
        }
    }
    if (invocation.fleet.expect > 0 && !invocation.all) {
        throw UsageError{"--expect works with --all"};
    }
    // Commands that write JSON themselves take --json as their own; for the others it asks for
    // the outcome as one JSON object, or one per controller with --all.
    const auto json = std::find(invocation.words.begin(), invocation.words.end(), "--json");
    const bool ownJson = !invocation.words.empty() && !invocation.all &&
                         (invocation.words[0] == "info" || invocation.words[0] == "check" ||
                          invocation.words[0] == "ports");
    if (json != invocation.words.end() && !ownJson) {
        invocation.json = true;
        invocation.words.erase(json);
    }
    invocation.fleet.json = invocation.json;
    invocation.fleet.fast = invocation.options.fast;
    return invocation;
}

// Runs the run loop until `start`'s command is done or a signal ends it (with 128 + its
// number, after `statement`); returns the exit status.
int runUntilDone(const std::function<void(std::function<void(int)>)>& start,
                 const std::function<std::string()>& statement) {
    std::optional<int> status;
    // Ending the run loop destroys the links with it: nothing more is sent.
    const InterruptWatch interrupts([&](int signal) {
        if (const std::string text = statement(); !text.empty()) {
            std::cerr << text << (text.back() == '\n' ? "" : "\n");
        }
        status = exitStatusForSignal(signal);
        QCoreApplication::exit(*status);
    });
    start([&status](int result) {
        if (!status) {
            status = result;
            QCoreApplication::exit(result);
        }
    });
    // A command may be done before the loop runs, and then there is nothing to wait for.
    return status ? *status : QCoreApplication::exec();
}

bool wantsJson(int argc, char** argv) {
    return std::find(argv + 1, argv + argc, std::string("--json")) != argv + argc;
}

// Wrong usage or an unusable file under --json: the reason as a JSON object on stdout.
int failAsJson(std::string reason) {
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    std::cout << JsonObject().add("result", "failed").add("reason", reason).text() << '\n';
    return kUsageStatus;
}

CommandAction parseCommand(const std::vector<std::string>& words) {
    if (words.empty()) {
        throw UsageError{"no command given"};
    }
    const auto& table = commands();
    const auto found = std::find_if(table.begin(), table.end(), [&](const Command& command) {
        return command.name == words[0];
    });
    if (found == table.end()) {
        throw UsageError{"unknown command \"" + words[0] + "\""};
    }
    return found->parse(std::vector<std::string>(words.begin() + 1, words.end()));
}

}  // namespace

int main(int argc, char** argv) {
    Invocation invocation;
    CommandAction action;
    try {
        invocation = parseOptions(argc, argv);
        if (invocation.help) {
            std::cout << usage();
            return 0;
        }
        if (invocation.version) {
            std::cout << "korvane-cli " KORVANE_VERSION "\n";
            return 0;
        }
        action = parseCommand(invocation.words);
        if (invocation.all && (!action.needsController || !action.forEveryController)) {
            throw UsageError{"--all works with info, set, reset, flash and settings load"};
        }
    } catch (const UsageError& error) {
        if (wantsJson(argc, argv)) {
            return failAsJson("korvane-cli: " + error.reason);
        }
        std::cerr << "korvane-cli: " << error.reason << "\n\n" << usage();
        return kUsageStatus;
    } catch (const InputError& error) {
        if (wantsJson(argc, argv)) {
            return failAsJson(error.reason);
        }
        std::cerr << error.reason << '\n';
        return kUsageStatus;
    }

    ignoreBrokenPipes();
    QCoreApplication application(argc, argv);
    FrontEnd frontEnd(invocation.options, "korvane-cli");
    if (invocation.all) {
        Fleet fleet(action, invocation.fleet, std::cout, std::cerr);
        TerminalQuestion question;
        fleet.setConfirmer([&question](const std::string& text, std::function<void(bool)> answer) {
            question.ask(text, std::move(answer));
        });
        return runUntilDone([&fleet](auto done) { fleet.start(std::move(done)); },
                            [&fleet] { return fleet.interruptStatement(); });
    }
    // Under --json the command's own lines stay off stdout; its outcome is one object.
    PrefixedOutput quietOut(nullptr, "");
    PrefixedOutput quietErr(&std::cerr, "");
    ConsoleSession session(invocation.json ? static_cast<std::ostream&>(quietOut) : std::cout,
                           invocation.json ? static_cast<std::ostream&>(quietErr) : std::cerr);
    session.control().setFastTransfers(invocation.options.fast);
    const int status = runUntilDone(
        [&](auto done) {
            session.setOnFinished(std::move(done));
            action.start(session);
        },
        [&session] { return session.interruptStatement(); });
    if (invocation.json && session.finished()) {
        std::cout
            << describeOutcome(session, action, {status == kSuccess, quietErr.lastLine()}).text()
            << '\n';
    }
    return status;
}
