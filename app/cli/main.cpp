// korvane-cli: the controller from a terminal, for scripts and production lines.
#include <QCoreApplication>
#include <algorithm>
#include <functional>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"
#include "app/cli/Commands.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/Fleet.h"
#include "app/cli/JsonObject.h"
#include "app/cli/OneController.h"
#include "app/cli/Terminal.h"
#include "app/frontend/FrontEnd.h"
#include "platform/qt/InterruptWatch.h"

using namespace korvane;

namespace {

constexpr int kUsageStatus = kUnusable;

// How the run loop ended: the command's exit status, or a signal's with what it left.
struct Ending {
    int status = 0;
    std::optional<Interruption> interruption;
};

// Runs the run loop until `start`'s command is done or a signal ends it. A signal is answered
// with what `interruption` says it leaves, and 128 + its number unless the work was done by then.
Ending runUntilDone(const std::function<void(std::function<void(int)>)>& start,
                    const std::function<Interruption()>& interruption) {
    Ending ending;
    std::optional<int> status;
    // Ending the run loop destroys the links with it: nothing more is sent.
    const InterruptWatch interrupts([&](int signal) {
        if (status) {
            return;
        }
        ending.interruption = interruption();
        if (const std::string& text = ending.interruption->statement; !text.empty()) {
            std::cerr << text << (text.back() == '\n' ? "" : "\n");
        }
        status = ending.interruption->statusWhenDone.value_or(exitStatusForSignal(signal));
        QCoreApplication::exit(*status);
    });
    start([&status](int result) {
        if (!status) {
            status = result;
            QCoreApplication::exit(result);
        }
    });
    // A command may be done before the loop runs, and then there is nothing to wait for.
    ending.status = status ? *status : QCoreApplication::exec();
    return ending;
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

}  // namespace

int main(int argc, char** argv) {
    Invocation invocation;
    try {
        invocation = parseCommandLine(argc, argv, inputIsTerminal());
        if (!invocation.answered.empty()) {
            std::cout << invocation.answered;
            return 0;
        }
    } catch (const UsageError& error) {
        if (wantsJson(argc, argv)) {
            return failAsJson("korvane-cli: " + error.reason);
        }
        // One line and where to read more: the whole usage would bury the reason.
        std::cerr << "korvane-cli: " << error.reason << "\nTry 'korvane-cli --help'\n";
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
    // A question goes where it does not mix with the JSON a script reads.
    TerminalQuestion question(invocation.json ? std::cerr : std::cout);
    const auto ask = [&question](const std::string& text, std::function<void(bool)> answer) {
        question.ask(text, std::move(answer));
    };
    if (invocation.all) {
        Fleet fleet(invocation.action, invocation.fleet, std::cout, std::cerr);
        fleet.setConfirmer(ask);
        const Ending ending = runUntilDone([&fleet](auto done) { fleet.start(std::move(done)); },
                                           [&fleet] { return fleet.interruption(); });
        if (ending.interruption) {
            fleet.interrupted();
        }
        return ending.status;
    }
    OneController one(invocation, std::cout, std::cerr);
    one.setAsker(ask);
    const Ending ending = runUntilDone([&one](auto done) { one.start(std::move(done)); },
                                       [&one] { return one.interruption(); });
    one.end(ending.status, ending.interruption);
    return ending.status;
}
