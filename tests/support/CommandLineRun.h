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

// What korvane-cli did: its exit status, what it wrote, and the questions it asked.
struct CommandLineRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> asked;
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
        SelectedPortManager selected(ORSSerialPortManager::sharedSerialPortManager(),
                                     options.ports);
        std::optional<ORSSerialPortManager::Scope> scope;
        if (!options.ports.empty()) {
            scope.emplace(selected);
        }
        std::optional<int> status;
        start([&status](int result) { status = status.value_or(result); });
        const auto signalled = [this] {
            return signalWhen && signalWhen();
        };
        loop.runUntil([&] { return status || signalled(); }, std::chrono::minutes(30));
        status = status ? *status : signalled() ? interrupted(2) : -1;
        ended();
        timers.cancelAll();
        return *status;
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
    const int status = korvane::runCommandLine(words, console);
    return {status, console.outText.str(), console.errText.str(), console.asked};
}

}  // namespace korvane::testing
