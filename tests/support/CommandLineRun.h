#pragma once

#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "app/cli/Console.h"
#include "platform/SelectedPortManager.h"
#include "platform/TimerGroup.h"
#include "platform/VirtualRunLoop.h"

namespace korvane::testing {

// What korvane-cli did: its exit status, what it wrote, the questions it asked, and the virtual
// time it took.
struct CommandLineRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> asked;
    Duration took{0};
};

// korvane-cli's console in this process, on virtual time: a question is answered `answer` half a
// second after it is asked; `signalWhen` sends SIGINT the first time it holds.
struct VirtualConsole final : Console {
    explicit VirtualConsole(VirtualRunLoop& runLoop) : loop(runLoop) {}
    std::ostream& out() override { return outText; }
    std::ostream& err() override { return errText; }
    bool canAsk() const override { return true; }
    bool outputIsTerminal() const override { return false; }
    void ask(std::ostream& where, const std::string& question,
             std::function<void(bool)> reply) override {
        where << question << " [Update/Cancel] ";
        asked.push_back(question);
        timers.schedule(Duration{500}, [this, reply] { reply(answer); });
    }
    int run(const FrontEndOptions& options, const std::function<void(Finish)>& start,
            const std::function<int(int)>& interrupted,
            const std::function<void()>& ended) override {
        std::optional<SelectedPortManager> selected;
        std::optional<ORSSerialPortManager::Scope> scope;
        if (!options.ports.empty()) {
            selected.emplace(ORSSerialPortManager::sharedSerialPortManager(), options.ports);
            scope.emplace(*selected);
        }
        std::optional<int> status;
        start([&status](int result) { status = status.value_or(result); });
        const auto signalled = [this] {
            return signalWhen && signalWhen();
        };
        loop.runUntil([&] { return status || signalled(); }, std::chrono::minutes(30));
        if (!status && signalled()) {
            status = interrupted(2);
        }
        ended();
        timers.cancelAll();
        return status.value_or(-1);
    }

    VirtualRunLoop& loop;
    std::ostringstream outText;
    std::ostringstream errText;
    bool answer = true;
    std::vector<std::string> asked;
    std::function<bool()> signalWhen;
    TimerGroup timers;
};

// Runs korvane-cli's `words` through its own entry point on `console`.
inline CommandLineRun runCommandLine(VirtualConsole& console,
                                     const std::vector<std::string>& words) {
    const Duration began = console.loop.now();
    CommandLineRun run;
    run.status = korvane::runCommandLine(words, console);
    run.out = console.outText.str();
    run.err = console.errText.str();
    run.asked = console.asked;
    run.took = console.loop.now() - began;
    return run;
}

}  // namespace korvane::testing
