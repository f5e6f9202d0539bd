// One proof of the command line: every command, through korvane-cli's own entry point, against
// every way a run can fail as a whole and a fault at every exchange of its fault-free run (and a
// signal there), with and without --json, --fast and --all. One oracle: what was said is true of
// what the controller holds, and nothing is sent once it is said.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>
#include <regex>

#include "app/SettingsFile.h"
#include "sim/SimulatedPortManager.h"
#include "tests/support/CommandLineRun.h"
#include "tests/support/HexImage.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {
namespace {

constexpr const char* kFirst = "/dev/ttySIM0";
constexpr const char* kSecond = "/dev/ttySIM1";

// A machine of its own for one run: virtual time, a controller on kFirst (and one on kSecond
// for --all), and the files the commands take. The controller starts with auto off, configMode 1
// and 19 mph; the saved settings differ in each.
struct Scene {
    explicit Scene(bool two) {
        ports.addDevice(kFirst);
        if (two) {
            ports.addDevice(kSecond);
        }
    }
    SimulatedDevice& port(const char* path = kFirst) { return *ports.device(path); }
    SimulatedController& device(const char* path = kFirst) { return port(path).controller; }
    std::vector<const char*> paths() const {
        return ports.device(kSecond) ? std::vector{kFirst, kSecond} : std::vector{kFirst};
    }
    std::uint64_t sends() const {
        std::uint64_t sent = 0;
        for (const char* path : paths()) {
            sent += ports.device(path)->sendsAsked();
        }
        return sent;
    }

    VirtualRunLoop loop;
    SimulatedPortManager ports;
    LogCapture log;
    RunLoop::Scope loopScope{loop};
    ORSSerialPortManager::Scope portsScope{ports};
    TemporaryFolder folder;
    const HexImage image = realisticImage(3);
    const std::string firmware = folder.write("fw.hex", image.file());
    const std::string saved =
        folder.write("saved.json", R"({"deviceId": "BEEF", "bootloader": "012A", "software": 7, )"
                                   R"("auto": true, "config": 2, "speedLimitMph": 12, )"
                                   R"("record": "070203091300A1A2A3A4A5A6"})");
    const std::string fresh = folder.path("fresh.json");
    SimulatedPortManager empty;
    std::optional<ORSSerialPortManager::Scope> emptyScope;
    std::unique_ptr<ORSSerialPort> holder;
};

bool changing(const Bytes& request) {
    return request.at(1) != static_cast<int>(CommandCode::Identify) &&
           request.at(1) != static_cast<int>(CommandCode::ReadEprom) &&
           request.at(1) != static_cast<int>(CommandCode::Verify);
}

// A command, and when the controller holds what it asked for (what it said of it given); for set
// and settings load, when the record holds these fields (5 auto, 1 configMode, 4 mph).
using Fields = std::vector<std::pair<std::size_t, int>>;
struct Command {
    std::vector<std::string> words;
    bool everyController;
    std::function<bool(Scene&, const char* path, const std::string& said)> held;
    Fields expects{};
};

// The lines of `text` that name `path`, progress events aside.
std::string linesOf(const std::string& text, const std::string& path) {
    std::istringstream lines(text);
    std::string found;
    for (std::string line; std::getline(lines, line);) {
        const bool event = line.find("\"event\"") != std::string::npos;
        found += line.find(path) != std::string::npos && !event ? line + "\n" : "";
    }
    return found;
}

const std::vector<Command>& commands() {
    const auto speedShown = [](Scene& s, const char* path, const std::string& out) {
        const std::string mph = std::to_string(s.device(path).settingsRecord()[4]);
        return std::regex_search(
            out, std::regex("Speed limit: " + mph + " mph|\"speedLimitMph\":" + mph + "\\b"));
    };
    const auto flashed = [](Scene& s, const char* path, const std::string&) {
        return s.image.heldIn(s.device(path).programMemory, s.device(path).eprom);
    };
    const auto sums = [](Scene& s, const char* path, const std::string&) {
        HexImage program = s.image;
        program.memory.erase(0x00F0);  // a Verify sums program memory alone
        return program.heldIn(s.device(path).programMemory, s.device(path).eprom);
    };
    const auto reset = [](Scene& s, const char* path, const std::string&) {
        const auto& sent = s.device(path).requests();
        return std::any_of(sent.begin(), sent.end(), [](const Bytes& r) { return r[1] == 0x09; });
    };
    const auto saved = [](Scene& s, const char* path, const std::string&) {
        const SettingsFileReading reading = readSettingsFile(s.fresh);
        return reading.settings &&
               reading.settings->settings.speedLimitMph == s.device(path).settingsRecord()[4];
    };
    static const std::vector<Command> table = {
        {{"info"}, true, speedShown},
        {{"info", "--json"}, true, speedShown},
        {{"set", "auto", "on"}, true, nullptr, {{5, 1}}},
        {{"set", "config", "3"}, true, nullptr, {{1, 4}}},
        {{"set", "speed", "40", "--kmh"}, true, nullptr, {{4, 25}}},
        {{"reset"}, true, reset},
        {{"flash", "FIRMWARE", "--yes"}, true, flashed},
        {{"flash", "FIRMWARE"}, true, flashed},
        {{"verify", "FIRMWARE"}, true, sums},
        {{"settings", "save", "FRESH"}, false, saved},
        {{"settings", "load", "SAVED"}, true, nullptr, {{5, 1}, {1, 2}, {4, 12}}},
    };
    return table;
}

// The command's words with the scene's files in place of their names.
std::vector<std::string> wordsIn(const Scene& scene, std::vector<std::string> words) {
    for (std::string& word : words) {
        word = word == "FIRMWARE" ? scene.firmware
               : word == "FRESH"  ? scene.fresh
               : word == "SAVED"  ? scene.saved
                                  : word;
    }
    return words;
}

// A fault of the whole run: whether the search then finds no controller, and what it does.
struct WholeFault {
    const char* name;
    bool hides;
    std::function<void(Scene&)> apply;
};

RequestFault fromOn(ExchangeFault kind, std::uint64_t first) {
    return {kind, first, std::numeric_limits<std::uint64_t>::max()};
}

// clang-format off
const std::vector<WholeFault> kWholeFaults = {
    {"none", false, [](Scene&) {}},
    {"no port at all", true, [](Scene& s) { s.emptyScope.emplace(s.empty); }},
    {"port never opens", true, [](Scene& s) { s.port().portFaults.neverOpens = true; }},
    {"no access", true, [](Scene& s) { s.port().portFaults.noAccess = true; }},
    {"in use", true, [](Scene& s) { s.holder = s.ports.portWithPath(kFirst); s.holder->open(); s.loop.runUntilIdle(); }},
    {"silent", true, [](Scene& s) { s.device().faults.silent = true; }},
    {"garbage", true, [](Scene& s) { s.device().faults.garbage = true; }},
    {"long replies", true, [](Scene& s) { s.device().faults.replyLengthDelta = 1; }},
    {"settings unanswered", true, [](Scene& s) { s.device().faults.unanswered = {CommandCode::ReadEprom}; }},
    {"writes refused", false, [](Scene& s) { s.device().faults.refuseWrites = true; }},
    {"wrong verify sums", false, [](Scene& s) { s.device().faults.wrongVerifySum = true; }},
    {"another device id", false, [](Scene& s) { s.device().deviceId = {0x12, 0x34}; }},
    {"never back", false, [](Scene& s) { s.port().restartAbsence.reset(); }},
    // A configMode the window does not offer, which connecting writes as the first choice: the
    // controller goes at that write, or echoes it and falls silent.
    {"unoffered, gone at the write", false, [](Scene& s) {
         const std::uint8_t unoffered[] = {7, 3, 3, 9, 19, 0};
         s.device().setSettingsRecord(unoffered);
         s.device().faults.unplugAtRequest = 3; }},
    {"uncertain, then silent", false, [](Scene& s) {
         const std::uint8_t unoffered[] = {7, 3, 3, 9, 19, 0};
         s.device().setSettingsRecord(unoffered);
         s.device().faults.atRequests.push_back(fromOn(ExchangeFault::silence, 4)); }},
};
// A fault at one exchange: the controller's, the port refusing the send, or a signal.
const std::vector<std::pair<const char*, std::optional<ExchangeFault>>> kStrikes = {
    {"unplug", ExchangeFault::unplug}, {"silence", ExchangeFault::silence},
    {"garbage", ExchangeFault::garbage}, {"short reply", ExchangeFault::shortReply},
    {"wrong verify sum", ExchangeFault::wrongVerifySum}, {"refused write", ExchangeFault::refusedWrite},
    {"stored wrong", ExchangeFault::storedWrong}, {"refused send", std::nullopt}, {"signal", std::nullopt},
};
// clang-format on

struct Scenario {
    std::size_t command = 0;
    std::function<void(Scene&, VirtualConsole&)> fault;
    std::string faultName;
    bool hides = false;
    bool json = false;
    bool fast = false;
    bool all = false;
    bool answer = true;
    // A fault struck the first controller alone.
    bool othersClean = false;
};

// The n-th scenario's options: they vary from one to the next.
Scenario options(std::size_t n, std::size_t command, std::string fault) {
    return {command,    nullptr,    std::move(fault), false,
            n % 2 == 0, n % 3 == 0, n % 5 < 2,        n % 4 != 1};
}

// Runs the scenario on a scene of its own; the rules it broke, with what was said.
std::string broken(const Scenario& scenario) {
    const Command& command = commands().at(scenario.command);
    const bool all = scenario.all && command.everyController;
    Scene scene(all);
    for (const char* path : scene.paths()) {
        if (command.words[0] == "verify") {
            scene.image.putInto(scene.device(path));
        }
    }
    VirtualConsole console(scene.loop);
    console.answer = scenario.answer;
    scenario.fault(scene, console);
    std::vector<std::string> words = wordsIn(scene, command.words);
    for (const auto& [on, option] : {std::pair{scenario.json, "--json"},
                                     std::pair{scenario.fast, "--fast"}, std::pair{all, "--all"}}) {
        if (on) {
            words.insert(words.begin(), option);
        }
    }
    const CommandLineRun run = runCommandLine(console, words);
    const std::uint64_t sentWhenTold = scene.sends();
    scene.loop.runUntilIdle();
    std::string rules;
    const auto rule = [&](bool kept, const std::string& what) {
        rules += kept ? "" : what + "\n";
    };
    const bool signalled = scenario.faultName.starts_with("signal");
    const bool flash = command.words[0] == "flash";
    const bool ok = run.status == 0 || (flash && run.status == 3);
    const auto sentChange = [&scene] {
        const auto& sent = scene.device().requests();
        return std::any_of(sent.begin(), sent.end(), changing);
    };
    rule(run.status == 1 || ok || (signalled && run.status == 130), "an exit status of its own");
    rule(scene.sends() == sentWhenTold, "something sent after the run ended");
    rule(run.status != 1 || !run.err.empty(), "failed without a reason");
    rule(run.err.find("add --force") == std::string::npos || !sentChange(), "refused, yet written");
    rule(!signalled || run.status == 0 || !run.err.empty() || !sentChange(),
         "a signal under way without a statement");
    // What each controller is said to hold, it holds; so does the one no fault struck.
    for (const char* path : scene.paths()) {
        const std::string own = all ? linesOf(run.out, path) : run.out;
        const bool saidOk =
            !all ? ok
                 : std::regex_search(own,
                                     std::regex(", ok, |, not back: |\"result\":\"(ok|notBack)\""));
        const auto holds = [&](const Fields& fields) {
            return std::all_of(fields.begin(), fields.end(), [&](const auto& field) {
                return scene.device(path).settingsRecord()[field.first] == field.second;
            });
        };
        rule(!saidOk || (command.held ? command.held(scene, path, own) : holds(command.expects)),
             std::string("success on ") + path + ", but the controller does not hold it");
        rule(!all || path == std::string(kFirst) || !scenario.othersClean || signalled || saidOk,
             std::string("no fault struck ") + path + ", but it did not succeed");
        for (const auto& field : command.expects) {
            const std::string name = field.first == 5   ? "Auto"
                                     : field.first == 1 ? "Config"
                                                        : "Speed Limit";
            rule(!std::regex_search(own, std::regex(name + " is (updated|already)")) ||
                     holds({field}),
                 name + " said held on " + path + ", but it is not");
        }
    }
    const bool asks = flash && command.words.back() == "FIRMWARE";
    if (scenario.hides) {
        // With --all the other controller answers.
        rule(all || (run.status == 1 && run.err.starts_with("Please connect the USB device\n")),
             "no controller, not said so with status 1");
        rule((all || run.asked.empty()) && !sentChange(),
             "no controller, but something was asked or sent");
    } else if (!signalled) {
        rule(run.asked.size() == (asks ? 1u : 0u), "asked " + std::to_string(run.asked.size()));
    }
    if (asks && !scenario.answer && !scenario.hides && !signalled) {
        rule(run.status == 1 && run.err.find("Firmware update cancelled\n") != std::string::npos &&
                 !sentChange(),
             "answered no, but not cancelled with status 1 and nothing sent");
    }
    if (scenario.json) {
        // Every line JSON: progress events, then an object per controller whose result agrees
        // with the status and whose reason was said.
        std::istringstream lines(run.out);
        int outcomes = 0;
        for (std::string line; std::getline(lines, line);) {
            const auto object = nlohmann::json::parse(line, nullptr, false);
            rule(object.is_object(), "not JSON: " + line);
            if (object.contains("event")) {
                continue;
            }
            ++outcomes;
            const std::string result = object.value("result", "");
            rule(result == "ok" || result == "notBack" || run.status != 0 ||
                     (command.words[0] == "info" && !all),
                 "JSON result does not agree with the status");
            rule(result != "failed" ||
                     run.err.find(object.value("reason", "?")) != std::string::npos,
                 "JSON reason is not what was said");
        }
        rule(outcomes >= 1, "no outcome as JSON");
    }
    rules += rules.empty() ? "" : scenario.faultName + ":";
    for (const std::string& word : words) {
        rules += rules.empty() ? "" : " " + word;
    }
    return rules.empty() ? rules
                         : rules + "\nstatus " + std::to_string(run.status) + "\nout:\n" + run.out +
                               "err:\n" + run.err;
}

// Every command meets every whole-run fault; the options vary from one to the next.
TEST(CommandLineProof, EveryCommandMeetsEveryFaultOfTheRun) {
    std::size_t n = 0;
    for (std::size_t command = 0; command < commands().size(); ++command) {
        for (const WholeFault& fault : kWholeFaults) {
            Scenario scenario = options(n++, command, fault.name);
            scenario.fault = [&](Scene& s, auto&) {
                fault.apply(s);
            };
            scenario.hides = fault.hides;
            EXPECT_EQ(broken(scenario), "");
        }
    }
}

// Every command but info and save meets a fault at every exchange of its fault-free run.
TEST(CommandLineProof, EveryCommandMeetsAFaultAtEveryExchange) {
    std::size_t n = 0;
    for (std::size_t command = 2; command < commands().size(); ++command) {
        Scene plain(false);
        const Command& chosen = commands().at(command);
        if (chosen.words[0] == "verify") {
            plain.image.putInto(plain.device());
        }
        VirtualConsole console(plain.loop);
        ASSERT_EQ(runCommandLine(console, wordsIn(plain, chosen.words)).status, 0);
        const std::vector<Bytes> requests = plain.device().requests();
        for (std::size_t index = 0; index < requests.size(); ++index) {
            for (const auto& [name, kind] : kStrikes) {
                const auto code = static_cast<CommandCode>(requests[index][1]);
                // An eprom byte stored wrong goes unseen: Verify sums program memory alone. A
                // reset the port refuses is taken as sent (left as it is).
                const bool unseen =
                    (std::string(name) == "stored wrong" && code == CommandCode::WriteEprom) ||
                    (std::string(name) == "refused send" && code == CommandCode::Reset);
                if ((kind && !faultApplies(*kind, code)) || unseen) {
                    continue;
                }
                const std::uint64_t at = index + 1;
                const std::string what = std::string(name);
                const auto strike = [=](Scene& s, VirtualConsole& c) {
                    if (what == "signal") {
                        c.signalWhen = [&s, at] {
                            return s.device().requests().size() >= at;
                        };
                    } else if (kind) {
                        s.device().faults.atRequests.push_back({*kind, at});
                    } else {
                        s.port().portFaults.refuseSendAt = at;
                    }
                };
                // A fault in the search's identify or settings read hides the controller.
                Scenario scenario = options(n++, command, what + " at " + std::to_string(at));
                scenario.fault = strike;
                scenario.hides = what != "signal" && at <= 2;
                scenario.othersClean = scenario.answer = true;
                EXPECT_EQ(broken(scenario), "");
            }
        }
    }
}

}  // namespace
}  // namespace korvane::testing
