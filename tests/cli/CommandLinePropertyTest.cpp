// Every command of korvane-cli against every way the ports or the controller can fail, with and
// without --json, --fast and --all: status 0 and "result":"ok" only when the controller holds
// what the command asked for; otherwise status 1 and a reason, in the JSON too. A controller that
// is never found, or an update answered no, is sent nothing that changes it.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <limits>
#include <regex>

#include "app/frontend/SettingsFile.h"
#include "tests/support/CommandLineRun.h"
#include "tests/support/FaultCampaign.h"
#include "tests/support/HexImage.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {
namespace {

// A fault on every request from `first` on: a controller that goes quiet or babbles partway.
RequestFault fromOn(ExchangeFault kind, std::uint64_t first) {
    return {kind, first, std::numeric_limits<std::uint64_t>::max()};
}

const std::vector<CommandCode> kCodes = {
    CommandCode::Identify,   CommandCode::WriteProgram, CommandCode::Erase, CommandCode::ReadEprom,
    CommandCode::WriteEprom, CommandCode::Verify,       CommandCode::Reset};

// One run: the command and the fault (indexes into the tables below), and the options.
struct Scenario {
    std::size_t command = 0;
    std::size_t fault = 0;
    std::uint64_t at = 1;
    CommandCode code = CommandCode::Identify;
    bool json = false;
    bool fast = false;
    bool all = false;
    // To the question, when there is one.
    bool answer = true;
};

// A controller on a simulated port, on virtual time, with the files the commands take. It starts
// with auto off, configMode 1 and 19 mph; the saved settings differ in each.
struct Scene : FaultWorld {
    SimulatedDevice& port = FaultWorld::device();
    SimulatedController& device = port.controller;
    const HexImage image = realisticImage(3);
    TemporaryFolder folder;
    const std::string firmware = folder.write("fw.hex", image.file());
    const std::string saved =
        folder.write("saved.json", R"({"deviceId": "BEEF", "bootloader": "012A", "software": 7, )"
                                   R"("auto": true, "config": 2, "speedLimitMph": 12, )"
                                   R"("record": "070203091300A1A2A3A4A5A6"})");
    const std::string fresh = folder.path("fresh.json");
    // No port at all, or the controller's held by another program.
    SimulatedPortManager empty;
    std::optional<ORSSerialPortManager::Scope> emptyScope;
    std::unique_ptr<ORSSerialPort> holder;

    std::uint8_t field(std::size_t index) const { return device.settingsRecord()[index]; }
    bool received(CommandCode code) const {
        return std::any_of(device.requests().begin(), device.requests().end(),
                           [code](const Bytes& r) { return r.at(1) == static_cast<int>(code); });
    }
    // Anything but the search's identify and settings read, from request `from` on.
    bool changeSent(std::size_t from = 0) const {
        const auto& sent = device.requests();
        return std::any_of(sent.begin() + static_cast<std::ptrdiff_t>(from), sent.end(),
                           [](const Bytes& r) {
                               return r.at(1) != static_cast<int>(CommandCode::Identify) &&
                                      r.at(1) != static_cast<int>(CommandCode::ReadEprom);
                           });
    }
    bool holdsImage() const { return image.heldIn(device.programMemory, device.eprom); }
};

struct Command {
    std::vector<std::string> words;
    // Runs with --all too.
    bool everyController;
    // The controller holds what a success says (the command's output given).
    std::function<bool(const Scene&, const std::string& out)> held;
};

// The settings record holds these values at these places.
std::function<bool(const Scene&, const std::string&)> fieldsAre(
    std::vector<std::pair<std::size_t, int>> fields) {
    return [fields](const Scene& scene, const std::string&) {
        return std::all_of(fields.begin(), fields.end(), [&](const auto& each) {
            return scene.field(each.first) == each.second;
        });
    };
}

std::vector<Command> commands(const Scene& scene) {
    const auto speedShown = [](const Scene& s, const std::string& out) {
        const std::string mph = std::to_string(s.field(4));
        return std::regex_search(
            out, std::regex("Speed limit: " + mph + " mph|\"speedLimitMph\":" + mph + "\\b"));
    };
    const auto flashed = [](const Scene& s, const std::string&) {
        return s.holdsImage();
    };
    const auto resetSent = [](const Scene& s, const std::string&) {
        return s.received(CommandCode::Reset);
    };
    const auto saved = [](const Scene& s, const std::string&) {
        const SettingsFileReading reading = readSettingsFile(s.fresh);
        return reading.settings && reading.settings->speedLimitMph == s.field(4) &&
               reading.settings->autoMode == (s.field(5) != 0);
    };
    return {
        {{"info"}, true, speedShown},
        {{"info", "--json"}, true, speedShown},
        {{"set", "auto", "on"}, true, fieldsAre({{5, 1}})},
        {{"set", "config", "3"}, true, fieldsAre({{1, 4}})},
        {{"set", "speed", "25"}, true, fieldsAre({{4, 25}})},
        {{"set", "speed", "40", "--kmh"}, true, fieldsAre({{4, 25}})},
        {{"reset"}, true, resetSent},
        {{"flash", scene.firmware, "--yes"}, true, flashed},
        {{"flash", scene.firmware}, true, flashed},
        {{"settings", "save", scene.fresh}, false, saved},
        {{"settings", "load", scene.saved}, true, fieldsAre({{5, 1}, {1, 2}, {4, 12}})},
    };
}

// A way to fail: whether the search then finds no controller (never, always, or when the fault
// comes at a request of the search's or to one of its commands), and what it does to the scene,
// given a request number and a command code.
enum class Hides { never, always, inSearch, toSearch };
struct Fault {
    std::string name;
    Hides hides;
    std::function<void(Scene&, std::uint64_t at, CommandCode code)> apply;

    bool hidesController(std::uint64_t at, CommandCode code) const {
        return hides == Hides::always || (hides == Hides::inSearch && at <= 2) ||
               (hides == Hides::toSearch &&
                (code == CommandCode::Identify || code == CommandCode::ReadEprom));
    }
};

Fault fault(std::string name, Hides hides, decltype(Fault::apply) apply) {
    return {std::move(name), hides, std::move(apply)};
}

const std::vector<Fault>& faults() {
    using H = Hides;
    static const std::vector<Fault> table = {
        fault("none", H::never, [](auto&, auto, auto) {}),
        fault("no port at all", H::always,
              [](Scene& s, auto, auto) { s.emptyScope.emplace(s.empty); }),
        fault("port never opens", H::always,
              [](Scene& s, auto, auto) { s.port.portFaults.neverOpens = true; }),
        fault("no access", H::always,
              [](Scene& s, auto, auto) { s.port.portFaults.noAccess = true; }),
        fault("in use", H::always,
              [](Scene& s, auto, auto) {
                  s.holder = s.ports.portWithPath(s.port.path());
                  s.holder->open();
                  s.loop.runUntilIdle();
              }),
        fault("silent", H::always, [](Scene& s, auto, auto) { s.device.faults.silent = true; }),
        fault("garbage", H::always, [](Scene& s, auto, auto) { s.device.faults.garbage = true; }),
        fault("wrong headers", H::always,
              [](Scene& s, auto, auto) { s.device.faults.wrongHeader = true; }),
        fault("short replies", H::always,
              [](Scene& s, auto, auto) { s.device.faults.replyLengthDelta = -1; }),
        fault("long replies", H::always,
              [](Scene& s, auto, auto) { s.device.faults.replyLengthDelta = 1; }),
        fault("unplugged at", H::inSearch,
              [](Scene& s, auto at, auto) { s.device.faults.unplugAtRequest = at; }),
        fault("silent from", H::inSearch,
              [](Scene& s, auto at, auto) {
                  s.device.faults.atRequests.push_back(fromOn(ExchangeFault::silence, at));
              }),
        fault("garbage from", H::inSearch,
              [](Scene& s, auto at, auto) {
                  s.device.faults.atRequests.push_back(fromOn(ExchangeFault::garbage, at));
              }),
        fault("write refused at", H::never,
              [](Scene& s, auto at, auto) { s.device.faults.refuseRequest = at; }),
        fault("unanswered", H::toSearch,
              [](Scene& s, auto, auto code) { s.device.faults.unanswered = {code}; }),
        fault("wrong header to", H::toSearch,
              [](Scene& s, auto, auto code) { s.device.faults.wrongHeaderTo = {code}; }),
        fault("writes refused", H::never,
              [](Scene& s, auto, auto) { s.device.faults.refuseWrites = true; }),
        fault("wrong verify sums", H::never,
              [](Scene& s, auto, auto) { s.device.faults.wrongVerifySum = true; }),
        fault("another device id", H::never,
              [](Scene& s, auto, auto) {
                  s.device.deviceId = {0x12, 0x34};
              }),
        // A configMode the window does not offer, which connecting writes as the first choice:
        // the write is echoed, then the controller falls silent.
        fault("uncertain, then silent", H::never,
              [](Scene& s, auto, auto) {
                  const std::uint8_t unoffered[] = {7, 3, 3, 9, 19, 0};
                  s.device.setSettingsRecord(unoffered);
                  s.device.faults.atRequests.push_back(fromOn(ExchangeFault::silence, 4));
              }),
    };
    return table;
}

// Runs the scenario on a scene of its own; the rule the run broke, with what it said, or empty.
std::string brokenRule(const Scenario& scenario) {
    Scene scene;
    const std::vector<Command> table = commands(scene);
    const Command& command = table.at(scenario.command);
    const Fault& fault = faults().at(scenario.fault);
    fault.apply(scene, scenario.at, scenario.code);
    // info takes --json as its own.
    const bool ownJson = command.words.back() == "--json";
    const bool json = scenario.json || ownJson;
    const bool all = scenario.all && command.everyController;
    std::vector<std::string> words = command.words;
    for (const auto& [on, option] : {std::pair{scenario.json && !ownJson, "--json"},
                                     std::pair{scenario.fast, "--fast"}, std::pair{all, "--all"}}) {
        if (on) {
            words.insert(words.begin(), option);
        }
    }
    // A connect may write an unoffered configuration as the first choice before the question:
    // "no" holds for what comes after it.
    std::size_t sentWhenAsked = 0;
    const CommandLineRun run = runCommandLine(scene.loop, words, scenario.answer, [&] {
        sentWhenAsked = scene.device.requests().size();
    });
    std::string said;
    for (const std::string& word : words) {
        said += " " + word;
    }
    said += "\nstatus " + std::to_string(run.status) + "\nout:\n" + run.out + "err:\n" + run.err;
    const auto broken = [&](const std::string& rule) {
        return rule + " (" + fault.name + ")\nkorvane-cli" + said;
    };

    // 3: a flash written and verified, its controller not seen back after the restart.
    const bool notBack = run.status == kNotBack && command.words[0] == "flash";
    if (run.status != kSuccess && run.status != kFailure && !notBack) {
        return broken("ended with neither 0 nor 1, nor 3 after a flash");
    }
    if ((run.status == kSuccess || notBack) && !command.held(scene, run.out)) {
        return broken("success, but the controller does not hold it");
    }
    if (run.status == kFailure && run.err.empty()) {
        return broken("failed without a reason");
    }
    const bool asks = command.words.back() == scene.firmware;
    if (fault.hidesController(scenario.at, scenario.code)) {
        if (run.status != kFailure || !run.err.starts_with("Please connect the USB device\n")) {
            return broken("no controller, not said so with status 1");
        }
        if (scene.changeSent() || !run.asked.empty()) {
            return broken("no controller, but something was asked or sent");
        }
    } else if (run.asked.size() != (asks ? 1u : 0u)) {
        return broken("asked " + std::to_string(run.asked.size()) + " times");
    } else if (asks && !scenario.answer &&
               (run.status != kFailure || scene.changeSent(sentWhenAsked) ||
                run.err.find("Firmware update cancelled\n") == std::string::npos)) {
        return broken("answered no, but not cancelled with status 1 and nothing sent");
    }
    if (!json) {
        return {};
    }
    // One line of JSON (info's own, without a result, when it succeeds alone), whose result
    // agrees with the status.
    const std::size_t end = run.out.find('\n');
    if (end == std::string::npos || end + 1 != run.out.size()) {
        return broken("not one line on stdout");
    }
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray::fromStdString(run.out.substr(0, end)));
    const QJsonObject object = document.object();
    const std::string result = object.value("result").toString().toStdString();
    const std::string reason = object.value("reason").toString().toStdString();
    if (!document.isObject() || result != (run.status == kFailure               ? "failed"
                                           : notBack                            ? "notBack"
                                           : command.words[0] == "info" && !all ? ""
                                                                                : "ok")) {
        return broken("JSON result does not agree with the status");
    }
    if (run.status != kSuccess && (reason.empty() || run.err.find(reason) == std::string::npos)) {
        return broken("JSON reason is not what was said");
    }
    return {};
}

std::ostream& operator<<(std::ostream& out, const Scenario& s) {
    return out << "command " << s.command << ", fault " << faults().at(s.fault).name << ", at "
               << s.at << ", code " << static_cast<int>(s.code) << ", json " << s.json << ", fast "
               << s.fast << ", all " << s.all << ", answer " << s.answer;
}

// Every command meets every fault, deterministically; the options and a fault's request or
// command vary from one to the next.
TEST(CommandLineProperty, EveryCommandMeetsEveryFault) {
    const std::size_t commandCount = commands(Scene()).size();
    std::size_t n = 0;
    for (std::size_t command = 0; command < commandCount; ++command) {
        for (std::size_t fault = 0; fault < faults().size(); ++fault, ++n) {
            const Scenario scenario{command,    fault,      3 + n % 14, kCodes[n % kCodes.size()],
                                    n % 2 == 0, n % 3 == 0, n % 5 < 2,  n % 4 != 1};
            EXPECT_EQ(brokenRule(scenario), "") << scenario;
        }
    }
}

// The same, with everything drawn.
RC_GTEST_PROP(CommandLineProperty, SuccessOnlyWhenTheControllerHoldsIt, ()) {
    static const std::size_t commandCount = commands(Scene()).size();
    Scenario scenario;
    scenario.command = *rc::gen::inRange<std::size_t>(0, commandCount);
    scenario.fault = *rc::gen::inRange<std::size_t>(0, faults().size());
    scenario.at = *rc::gen::inRange<std::uint64_t>(1, 20);
    scenario.code = kCodes[*rc::gen::inRange<std::size_t>(0, kCodes.size())];
    scenario.json = *rc::gen::arbitrary<bool>();
    scenario.fast = *rc::gen::arbitrary<bool>();
    scenario.all = *rc::gen::arbitrary<bool>();
    scenario.answer = *rc::gen::arbitrary<bool>();
    const std::string rule = brokenRule(scenario);
    RC_LOG() << rule;
    RC_ASSERT(rule.empty());
}

}  // namespace
}  // namespace korvane::testing
