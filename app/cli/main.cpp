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
#include "app/cli/Outcome.h"
#include "app/cli/PrefixedOutput.h"
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
        invocation = parseCommandLine(argc, argv);
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
    std::ostream& questions = invocation.json ? std::cerr : std::cout;
    if (invocation.all) {
        Fleet fleet(invocation.action, invocation.fleet, std::cout, std::cerr);
        TerminalQuestion question(questions);
        fleet.setConfirmer([&question](const std::string& text, std::function<void(bool)> answer) {
            question.ask(text, std::move(answer));
        });
        const Ending ending = runUntilDone([&fleet](auto done) { fleet.start(std::move(done)); },
                                           [&fleet] { return fleet.interruption(); });
        if (ending.interruption) {
            fleet.interrupted();
        }
        return ending.status;
    }
    // Under --json the command's own lines stay off stdout; its outcome is one object.
    PrefixedOutput quietOut(nullptr, "");
    PrefixedOutput errLines(&std::cerr, "");
    ConsoleSession session(invocation.json ? static_cast<std::ostream&>(quietOut) : std::cout,
                           errLines);
    session.setQuestions(questions);
    session.control().setFastTransfers(invocation.options.fast);
    const Ending ending = runUntilDone(
        [&](auto done) {
            session.setOnFinished(std::move(done));
            invocation.action.start(session);
        },
        [&session] { return session.interruption(); });
    const Outcome outcome = ending.interruption
                                ? interruptedOutcome(*ending.interruption)
                                : finishedOutcome(ending.status, errLines.lastLine());
    // Kept before the result is reported.
    if (invocation.history) {
        if (const std::string problem =
                invocation.history->recordController(session, invocation.action, outcome);
            !problem.empty()) {
            std::cerr << problem << '\n';
        }
    }
    // A script reading JSON always gets some: the outcome, or a failure where the command's
    // own JSON (info --json) did not come.
    if (invocation.json || (invocation.ownJson && ending.status != kSuccess)) {
        std::cout << describeOutcome(session, invocation.action, outcome).text() << '\n';
    }
    return ending.status;
}
