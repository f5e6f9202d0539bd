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
#include "tests/support/CommandLineRun.h"

namespace korvane::testing {
namespace {

constexpr const char* kFirst = Scene::kFirst;
constexpr const char* kSecond = Scene::kSecond;

// A command, and when the controller holds what it asked for (what it said of it given); for set
// and settings load, when the record holds these fields (5 auto, 1 configMode, 4 mph).
using Fields = std::vector<std::pair<std::size_t, int>>;
struct Command {
    std::vector<std::string> words;
    bool everyController;
    std::function<bool(Scene&, const char* path, const std::string& said)> held;
    Fields expects{};
};

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
        {{"flash", "@fw.hex", "--yes"}, true, flashed},
        {{"flash", "@fw.hex"}, true, flashed},
        {{"verify", "@fw.hex"}, true, sums},
        {{"settings", "save", "@fresh.json"}, false, saved},
        {{"settings", "load", "@bike.json"}, true, nullptr, {{5, 1}, {1, 2}, {4, 30}}},
    };
    return table;
}

// A fault of the whole run: whether the search then finds no controller, and what it does.
struct WholeFault {
    const char* name;
    bool hides;
    std::function<void(Scene&)> apply;
};
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
    {"unoffered, gone at the write", false, [](Scene& s) { const std::uint8_t unoffered[] = {7, 3, 3, 9, 19, 0}; s.device().setSettingsRecord(unoffered); s.device().faults.unplugAtRequest = 3; }},
    {"uncertain, then silent", false, [](Scene& s) { const std::uint8_t unoffered[] = {7, 3, 3, 9, 19, 0}; s.device().setSettingsRecord(unoffered); s.device().faults.atRequests.push_back({ExchangeFault::silence, 4, std::numeric_limits<std::uint64_t>::max()}); }},
};
// A fault at one exchange: the controller's, the port refusing the send, or a signal.
const std::vector<std::pair<const char*, std::optional<ExchangeFault>>> kStrikes = {
    {"unplug", ExchangeFault::unplug}, {"silence", ExchangeFault::silence},
    {"garbage", ExchangeFault::garbage}, {"short reply", ExchangeFault::shortReply},
    {"wrong verify sum", ExchangeFault::wrongVerifySum}, {"refused write", ExchangeFault::refusedWrite},
    {"stored wrong", ExchangeFault::storedWrong}, {"refused send", std::nullopt}, {"signal", std::nullopt},
};
// clang-format on

// Runs `words` on `scene`; for a verify, the controllers hold the image.
CommandLineRun run(Scene& scene, const Command& command, const std::vector<std::string>& words) {
    if (command.words[0] == "verify") {
        scene.image.putInto(scene.device(kFirst));
        scene.image.putInto(scene.device(kSecond));
    }
    return scene.cli(words);
}

// The n-th scenario, whose options vary from one to the next: the rules it broke, with what was
// said. `hides`: the fault hides the controller from the search; `alone`: it struck the first
// controller alone, and the update question is answered yes.
std::string broken(std::size_t n, const Command& command, const std::string& faultName,
                   const std::function<void(Scene&)>& fault, bool hides, bool alone) {
    const bool json = n % 2 == 0;
    const bool all = n % 5 < 2 && command.everyController;
    Scene scene(all);
    scene.answer = alone || n % 4 != 1;
    fault(scene);
    std::vector<std::string> words = command.words;
    for (const auto& [on, option] :
         {std::pair{json, "--json"}, {n % 3 == 0, "--fast"}, {all, "--all"}}) {
        if (on) {
            words.insert(words.begin(), option);
        }
    }
    const CommandLineRun said = run(scene, command, words);
    const auto sends = [&scene] {
        return scene.port(kFirst).sendsAsked() + scene.port(kSecond).sendsAsked();
    };
    const std::uint64_t sentWhenTold = sends();
    scene.loop.runUntilIdle();
    std::string rules;
    const auto rule = [&](bool kept, const std::string& what) {
        rules += kept ? "" : what + "\n";
    };
    const bool signalled = faultName.starts_with("signal");
    const bool flash = command.words[0] == "flash";
    const bool ok = said.status == 0 || (flash && said.status == 3);
    // Anything but an identify (00), a read of the settings (04) and a Verify (08).
    const auto sentChange = [&scene] {
        const auto& sent = scene.device().requests();
        return std::any_of(sent.begin(), sent.end(), [](const Bytes& r) {
            return r[1] != 0x00 && r[1] != 0x04 && r[1] != 0x08;
        });
    };
    rule(said.status == 1 || ok || (signalled && said.status == 130), "an exit status of its own");
    rule(sends() == sentWhenTold, "something sent after the run ended");
    rule(said.status != 1 || !said.err.empty(), "failed without a reason");
    rule(said.err.find("add --force") == std::string::npos || !sentChange(),
         "refused, yet written");
    rule(!signalled || said.status == 0 || !said.err.empty() || !sentChange(),
         "a signal under way without a statement");
    // What each controller is said to hold, it holds; so does the one no fault struck.
    for (const char* path : all ? std::vector{kFirst, kSecond} : std::vector{kFirst}) {
        std::string own;
        std::istringstream lines(said.out);
        for (std::string line; std::getline(lines, line);) {
            const bool event = line.find("\"event\"") != std::string::npos;
            own += !all || (line.find(path) != std::string::npos && !event) ? line + "\n" : "";
        }
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
        rule(!all || path == std::string(kFirst) || !alone || signalled || saidOk,
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
    const bool asks = flash && command.words.back() == "@fw.hex";
    if (hides) {
        // With --all the other controller answers.
        rule(all || (said.status == 1 && said.err.starts_with("Please connect the USB device\n")),
             "no controller, not said so with status 1");
        rule((all || said.asked.empty()) && !sentChange(),
             "no controller, but something was asked or sent");
    } else if (!signalled) {
        rule(said.asked.size() == (asks ? 1u : 0u), "asked " + std::to_string(said.asked.size()));
    }
    if (asks && !scene.answer && !hides && !signalled) {
        rule(said.status == 1 &&
                 said.err.find("Firmware update cancelled\n") != std::string::npos && !sentChange(),
             "answered no, but not cancelled with status 1 and nothing sent");
    }
    if (json) {
        // Every line JSON: progress events, then an object per controller whose result agrees
        // with the status and whose reason was said.
        std::istringstream lines(said.out);
        int outcomes = 0;
        for (std::string line; std::getline(lines, line);) {
            const auto object = nlohmann::json::parse(line, nullptr, false);
            rule(object.is_object(), "not JSON: " + line);
            if (object.contains("event")) {
                continue;
            }
            ++outcomes;
            const std::string result = object.value("result", "");
            rule(result == "ok" || result == "notBack" || said.status != 0 ||
                     (command.words[0] == "info" && !all),
                 "JSON result does not agree with the status");
            rule(result != "failed" ||
                     said.err.find(object.value("reason", "?")) != std::string::npos,
                 "JSON reason is not what was said");
        }
        rule(outcomes >= 1, "no outcome as JSON");
    }
    if (rules.empty()) {
        return rules;
    }
    for (const std::string& word : words) {
        rules += word + " ";
    }
    return rules + "with " + faultName + "\nstatus " + std::to_string(said.status) + "\nout:\n" +
           said.out + "err:\n" + said.err;
}

// Every command meets every whole-run fault.
TEST(CommandLineProof, EveryCommandMeetsEveryFaultOfTheRun) {
    std::size_t n = 0;
    for (const Command& command : commands()) {
        for (const WholeFault& fault : kWholeFaults) {
            EXPECT_EQ(broken(n++, command, fault.name, fault.apply, fault.hides, false), "");
        }
    }
}

// Every command but info meets a fault at every exchange of its fault-free run.
TEST(CommandLineProof, EveryCommandMeetsAFaultAtEveryExchange) {
    std::size_t n = 0;
    for (const Command& command : commands()) {
        Scene plain;
        ASSERT_EQ(run(plain, command, command.words).status, 0);
        const std::vector<Bytes> requests = plain.device().requests();
        for (std::size_t at = 1; at <= requests.size() && command.words[0] != "info"; ++at) {
            for (const auto& [name, kind] : kStrikes) {
                const auto code = static_cast<CommandCode>(requests[at - 1][1]);
                const std::string what = name;
                // An eprom byte stored wrong goes unseen: Verify sums program memory alone.
                if ((kind && !faultApplies(*kind, code)) ||
                    (what == "stored wrong" && code == CommandCode::WriteEprom)) {
                    continue;
                }
                const auto strike = [=](Scene& s) {
                    if (what == "signal") {
                        s.signalWhen = [&s, at] {
                            return s.device().requests().size() >= at;
                        };
                    } else if (kind) {
                        s.device().faults.atRequests.push_back({*kind, at});
                    } else {
                        s.port().portFaults.refuseSendAt = at;
                    }
                };
                // A fault in the search's identify or settings read hides the controller.
                EXPECT_EQ(broken(n++, command, what + " at " + std::to_string(at), strike,
                                 what != "signal" && at <= 2, true),
                          "");
            }
        }
    }
}

}  // namespace
}  // namespace korvane::testing
