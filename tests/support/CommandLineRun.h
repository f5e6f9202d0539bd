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
#include "sim/SimulatedPortManager.h"
#include "tests/support/HexImage.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {

// What korvane-cli did: its exit status, what it wrote, and the questions it asked.
struct CommandLineRun {
    int status = -1;
    std::string out;
    std::string err;
    std::vector<std::string> asked;
};

// A machine of its own for korvane-cli's runs, on virtual time: a controller on /dev/ttySIM0
// (auto off, configuration 1, 19 mph) and one on /dev/ttySIM1, silent unless both answer; the
// files the commands take; and the console, where a question is answered `answer` half a second
// after it is asked and `signalWhen` sends SIGINT the first time it holds.
struct Scene final : Console {
    static constexpr const char* kFirst = "/dev/ttySIM0";
    static constexpr const char* kSecond = "/dev/ttySIM1";

    explicit Scene(bool both = false) : two(both) {
        ports.addDevice(kFirst);
        ports.addDevice(kSecond).controller.faults.silent = !both;
    }
    SimulatedDevice& port(const char* path = kFirst) { return *ports.device(path); }
    SimulatedController& device(const char* path = kFirst) { return port(path).controller; }

    // Runs korvane-cli's `words` through its own entry point; "@" stands for the folder of the
    // files, in the words and in what was said ("@fw.hex").
    CommandLineRun cli(std::vector<std::string> words) {
        for (std::string& word : words) {
            word = word.starts_with("@") ? folder.path(word.substr(1)) : word;
        }
        CommandLineRun run{runCommandLine(words, *this), outText.str(), errText.str(), asked};
        const std::string within = folder.path() + "/";
        for (std::string* text : {&run.out, &run.err}) {
            for (auto at = text->find(within); at != std::string::npos; at = text->find(within)) {
                text->replace(at, within.size(), "@");
            }
        }
        return run;
    }

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

    const bool two;
    VirtualRunLoop loop;
    SimulatedPortManager ports;
    LogCapture log;
    RunLoop::Scope loopScope{loop};
    ORSSerialPortManager::Scope portsScope{ports};
    TemporaryFolder folder;
    const HexImage image = realisticImage(4);
    const std::string firmware = folder.write("fw.hex", image.file());
    // Each setting differs from the controller's.
    const std::string saved = folder.write(
        "bike.json",
        R"({"deviceId": "BEEF", "bootloader": "012A", "software": 7, "auto": true, "config": 2, )"
        R"("speedLimitMph": 30, "record": "070203091300A1A2A3A4A5A6"})");
    const std::string fresh = folder.path("fresh.json");
    std::ostringstream outText;
    std::ostringstream errText;
    bool answer = true;
    std::vector<std::string> asked;
    std::function<bool()> signalWhen;
    TimerGroup timers;
    // For "no port at all", and a program holding the controller's port.
    SimulatedPortManager empty;
    std::optional<ORSSerialPortManager::Scope> emptyScope;
    std::unique_ptr<ORSSerialPort> holder;
};

}  // namespace korvane::testing
