// A fault at every exchange. A firmware flash and a settings restore run fault-free once, then
// once for every request of that run and every fault that changes something there, through the
// command line (one controller, and four with --all) and through the window's controller. Whatever
// the fault: what is finally said is true of what the controller holds, nothing is sent once it is
// said, a plain run afterwards puts the file in place, and with --all the other controllers say
// and hold exactly what they did without it.
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <functional>
#include <iostream>
#include <set>
#include <sstream>

#include "app/Control.h"
#include "app/ListSpeedPopup.h"
#include "app/cli/Conversation.h"
#include "app/cli/Fleet.h"
#include "protocol/ProgramFrame.h"
#include "tests/support/FaultCampaign.h"
#include "tests/support/HexImage.h"
#include "tests/support/RecordingView.h"
#include "tests/support/SessionRun.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {
namespace {

// Longer than any run takes with every wait spent.
constexpr Duration kPatience = std::chrono::minutes(10);

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// A setting the restore puts back: where the record keeps it, the value, and what is said when
// the controller held it already.
struct RestoredField {
    const char* name;
    std::size_t offset;
    std::uint8_t value;
    const char* already;
};
// Auto on, configuration 3 (configMode 4), 25 mph: all three differ from the controller's own.
constexpr RestoredField kRestored[] = {
    {"Auto", 5, 1, "Auto is already on"},
    {"Config", 1, 4, "Config is already 3"},
    {"Speed Limit", 4, 25, "Speed Limit is already 25 mph"},
};

// What a run is to leave in the controller, and how each front end says it did.
struct Operation {
    enum class Kind { flash, load, verify } kind;
    std::string name;
    std::vector<std::string> words;
    // How the last line the command line prints when it is done starts.
    std::string cliDone;
    HexImage image;

    // A verify checks what a flash left: program memory only, which the controller can sum.
    bool held(const SimulatedController& device) const {
        if (kind == Kind::load) {
            return std::all_of(std::begin(kRestored), std::end(kRestored), [&](const auto& field) {
                return device.settingsRecord()[field.offset] == field.value;
            });
        }
        for (const auto& [upper, bytes] : image.memory) {
            if (kind == Kind::verify && upper != kProgramRegion) {
                continue;
            }
            const auto& memory = upper == kEpromRegion ? device.eprom : device.programMemory;
            for (const auto& [address, value] : bytes) {
                if (memory[address] != value) {
                    return false;
                }
            }
        }
        return true;
    }
    // What a line says of one setting ("Config is updated") is what the controller holds.
    bool lineTrue(const std::string& line, const SimulatedController& device) const {
        return std::all_of(std::begin(kRestored), std::end(kRestored), [&](const auto& field) {
            const bool claims =
                line == std::string(field.name) + " is updated" || line == field.already;
            return !claims || device.settingsRecord()[field.offset] == field.value;
        });
    }
};

// What a run said, and the sends the controller's ports were asked for by then and in the end.
struct Outcome {
    bool success = false;
    bool failure = false;
    std::vector<std::string> lines;
    std::uint64_t sendsWhenTold = 0;
    std::uint64_t sendsInTheEnd = 0;
};

std::string said(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += (text.empty() ? "" : " | ") + line;
    }
    return text;
}

// Why an outcome is not true of `device`, if it is not.
std::vector<std::string> untruths(const Operation& operation, const Outcome& outcome,
                                  const SimulatedController& device) {
    std::vector<std::string> found;
    if (outcome.success == outcome.failure) {
        found.push_back(outcome.success ? "says it succeeded and failed"
                                        : "says neither that it succeeded nor that it failed");
    }
    if (outcome.success && !operation.held(device)) {
        found.push_back("says it succeeded, but the controller does not hold it");
    }
    for (const std::string& line : outcome.lines) {
        if (!operation.lineTrue(line, device)) {
            found.push_back("says \"" + line + "\", which the controller does not hold");
        }
    }
    if (outcome.sendsInTheEnd != outcome.sendsWhenTold) {
        found.push_back(std::to_string(outcome.sendsInTheEnd - outcome.sendsWhenTold) +
                        " sends after it was said");
    }
    return found;
}

// korvane-cli on one controller: each run a new process.
class CommandLine {
public:
    static constexpr int kControllers = 1;
    explicit CommandLine(FaultWorld& world) : world_(world) {}

    std::vector<Outcome> run(const Operation& operation) {
        std::ostringstream out;
        std::ostringstream err;
        Outcome outcome;
        int status = -1;
        {
            const SessionRun run = runSession(world_.loop, parseCommand(operation.words), out, err);
            status = run.status;
            outcome.sendsWhenTold = world_.device().sendsAsked();
            // What the process would still do before it exits.
            world_.loop.runUntilIdle(kPatience);
            outcome.sendsInTheEnd = world_.device().sendsAsked();
            const std::vector<std::string> said = linesOf(out.str());
            const bool done = !said.empty() && said.back().starts_with(operation.cliDone);
            // Not seen back after the restart: the file is written and verified all the same.
            outcome.success = (run.status == kSuccess && done) || run.status == kNotBack;
            outcome.failure = run.status == kFailure && !done && !err.str().empty();
        }
        outcome.lines = linesOf(out.str());
        for (const std::string& line : linesOf(err.str())) {
            outcome.lines.push_back(line);
        }
        outcome.lines.push_back("(exit status " + std::to_string(status) + ")");
        return {outcome};
    }

private:
    FaultWorld& world_;
};

// The window's controller with a view that records, driven as a user would: connect, choose
// the file and confirm, or load settings; every alert read and answered with OK.
class Window {
public:
    static constexpr int kControllers = 1;
    explicit Window(FaultWorld& world) : world_(world) {
        control_->setSpeedPopup(&speeds_);
        control_->viewDidLoad();
    }

    std::vector<Outcome> run(const Operation& operation) {
        MainViewControl& control = *control_;
        if (!control.isConnected()) {
            control.onConnect();
            world_.loop.runUntil([&] { return control.isConnected() || control.canConnect(); },
                                 kPatience);
        }
        if (control.isConnected()) {
            start(operation);
        }
        Outcome outcome;
        const std::vector<std::string> alerts = tell(
            [&] {
                return operation.kind == Operation::Kind::load ? !control.isRestoring()
                                                               : !control.isUpdateRunning();
            },
            outcome);
        const bool notFound = control.connectStatus() == "Please connect the USB device";
        if (operation.kind == Operation::Kind::flash) {
            outcome.success = contains(alerts, kRebootNotice);
            outcome.failure = notFound || contains(alerts, "Failed to send Erase command") ||
                              control.firmwareStatus() == "Could not update firmware" ||
                              control.firmwareStatus().starts_with("Firmware update interrupted");
        } else {
            outcome.success = control.setStatus() == "Settings loaded";
            outcome.failure =
                notFound || control.setStatus().starts_with("Settings not all loaded");
        }
        outcome.lines = alerts;
        for (const std::string& line : control.restoreReport()) {
            outcome.lines.push_back(line);
        }
        for (const std::string& text : {control.connectStatus(), control.setStatus(),
                                        control.firmwareStatus(), control.firmwareDetail()}) {
            for (const std::string& line : linesOf(text)) {
                outcome.lines.push_back(line);
            }
        }
        return {outcome};
    }

private:
    struct Button final : Control {
        void setEnabled(bool) override {}
    };

    void start(const Operation& operation) {
        if (operation.kind == Operation::Kind::load) {
            control_->restoreSettings(kRestored[0].value, 2, kRestored[2].value);
            return;
        }
        control_->chooseFile(button_);
        ASSERT_EQ(view_.panels.size(), 1u);
        const auto panel = std::move(view_.panels.front());
        view_.panels.clear();
        panel.completion(operation.words.at(1));
        ASSERT_EQ(view_.alerts.size(), 1u);
        view_.answer(0);  // Update
    }

    // Runs until something is told (an alert, a search that found nothing, or `ended`), notes
    // the sends then, lets every timer run out and answers each alert in turn; the alerts.
    std::vector<std::string> tell(const std::function<bool()>& ended, Outcome& outcome) {
        const MainViewControl& control = *control_;
        const bool told = world_.loop.runUntil(
            [&] {
                return !view_.alerts.empty() || (control.canConnect() && !control.isConnected()) ||
                       ended();
            },
            kPatience);
        outcome.sendsWhenTold = world_.device().sendsAsked();
        std::vector<std::string> alerts;
        world_.loop.runUntilIdle(kPatience);
        while (!view_.alerts.empty()) {
            alerts.push_back(view_.alerts.front().message);
            view_.answer();
            world_.loop.runUntilIdle(kPatience);
        }
        outcome.sendsInTheEnd = world_.device().sendsAsked();
        if (!told) {
            alerts.emplace_back("(nothing told within the patience)");
        }
        return alerts;
    }

    FaultWorld& world_;
    RecordingView view_;
    ListSpeedPopup speeds_;
    Button button_;
    std::shared_ptr<MainViewControl> control_ = MainViewControl::create(view_);
};

// An output that hands over each whole line as it is written.
class LineTap final : private std::streambuf, public std::ostream {
public:
    explicit LineTap(std::function<void(const std::string&)> seen)
        : std::ostream(this), seen_(std::move(seen)) {}

private:
    int overflow(int character) override {
        if (character == '\n') {
            seen_(std::exchange(line_, {}));
        } else if (character != std::streambuf::traits_type::eof()) {
            line_ += static_cast<char>(character);
        }
        return std::streambuf::traits_type::not_eof(character);
    }

    std::function<void(const std::string&)> seen_;
    std::string line_;
};

// korvane-cli --all on four controllers, each run a new process: an outcome for each, from the
// lines that start with its port. One that never answered the search says nothing.
class EveryController {
public:
    static constexpr int kControllers = 4;
    explicit EveryController(FaultWorld& world) : world_(world) {}

    std::vector<Outcome> run(const Operation& operation) {
        std::vector<Outcome> outcomes(kControllers);
        // A controller has said how it ended with its first error line, or its last when done.
        const auto tap = [&](bool errors) {
            return [&, errors](const std::string& line) {
                for (int index = 0; index < kControllers; ++index) {
                    const std::string path = FaultWorld::path(index);
                    Outcome& outcome = outcomes[static_cast<std::size_t>(index)];
                    if (line.starts_with(path + ": ")) {
                        const std::string own = line.substr(path.size() + 2);
                        if (!told_[index] && (errors || own.starts_with(operation.cliDone))) {
                            told_[index] = true;
                            outcome.sendsWhenTold = world_.device(index).sendsAsked();
                        }
                        outcome.lines.push_back(own);
                    } else if (line.starts_with("Summary: " + path + ",")) {
                        outcome.lines.push_back(line);
                        outcome.success = line.find(", ok, ") != std::string::npos ||
                                          line.find(", not back: ") != std::string::npos;
                        outcome.failure = line.find(", failed: ") != std::string::npos;
                    }
                }
            };
        };
        told_.fill(false);
        LineTap out(tap(false));
        LineTap err(tap(true));
        std::optional<int> status;
        {
            Fleet fleet(parseCommand(operation.words), {}, out, err);
            fleet.start([&](int result) { status = result; });
            world_.loop.runUntil([&] { return status.has_value(); }, kPatience);
            world_.loop.runUntilIdle(kPatience);
        }
        // The exit status speaks for every controller that answered: 0 says each holds it, a
        // failure with none failing says one does not.
        const bool noneFailed = std::none_of(outcomes.begin(), outcomes.end(),
                                             [](const Outcome& each) { return each.failure; });
        for (int index = 0; index < kControllers; ++index) {
            Outcome& outcome = outcomes[static_cast<std::size_t>(index)];
            outcome.sendsInTheEnd = world_.device(index).sendsAsked();
            if (!told_[index]) {
                outcome.sendsWhenTold = outcome.sendsInTheEnd;
            }
            if (!outcome.lines.empty()) {
                outcome.success = outcome.success || status == kSuccess || status == kNotBack;
                outcome.failure = outcome.failure || (status != kSuccess && noneFailed);
            }
        }
        return outcomes;
    }

private:
    FaultWorld& world_;
    std::array<bool, kControllers> told_{};
};

// The faults of a campaign at the requests of a fault-free run. Eprom records are taken as written:
// the protocol's Verify sums program memory only, so an eprom byte stored wrong goes unseen by
// anything a flash does. Those are left out, and counted.
std::vector<Strike> strikesFor(const Operation& operation, const std::vector<Bytes>& requests,
                               std::size_t& leftOut) {
    std::vector<Strike> strikes = everyStrike(requests, operation.kind == Operation::Kind::verify);
    leftOut = static_cast<std::size_t>(std::erase_if(strikes, [&](const Strike& strike) {
        return operation.kind == Operation::Kind::flash &&
               strike.kind.exchange == ExchangeFault::storedWrong &&
               strike.command == static_cast<std::uint8_t>(CommandCode::WriteEprom);
    }));
    return strikes;
}

class FaultCampaignTest : public ::testing::Test {
protected:
    FaultCampaignTest() {
        HexImage image = realisticImage(8);
        flash = {Operation::Kind::flash,
                 "flash",
                 {"flash", folder.write("firmware.hex", image.file()), "--yes"},
                 "Back after ",
                 image};
        verify = {Operation::Kind::verify,
                  "verify",
                  {"verify", flash.words[1]},
                  "Firmware matches ",
                  image};
        load = {Operation::Kind::load,
                "settings load",
                {"settings", "load",
                 folder.write("bike.json",
                              R"({"deviceId": "BEEF", "bootloader": "012A", "software": 7, )"
                              R"("auto": true, "config": 3, "speedLimitMph": 25, )"
                              R"("record": "070103091300A1A2A3A4A5A6"})")},
                "Settings loaded",
                {}};
    }

    // A verify checks a controller that holds the file, as a flash left it.
    static void prepare(FaultWorld& world, const Operation& operation) {
        if (operation.kind != Operation::Kind::verify) {
            return;
        }
        for (std::size_t index = 0; index < world.ports.availablePorts().size(); ++index) {
            operation.image.putInto(world.device(static_cast<int>(index)).controller);
        }
    }

    // Notes a problem of one run; the first few are shown with what was said.
    void problem(const std::string& run, const std::string& what, const Outcome& outcome) {
        ++problems;
        if (problems <= 20) {
            ADD_FAILURE() << run << ": " << what << "\n  said: " << said(outcome.lines);
        }
    }

    // The fault-free run of `operation`, then on new worlds every applicable fault at every
    // request of it, each followed by a plain run. With several controllers each position takes
    // its turn at the fault, and the others say and hold what they did without it.
    template <typename FrontEnd>
    void campaign(const Operation& operation, const std::string& frontName) {
        constexpr int kControllers = FrontEnd::kControllers;
        std::vector<Outcome> faultFree;
        std::vector<SimulatedController> held;
        {
            FaultWorld world(kControllers);
            prepare(world, operation);
            FrontEnd front(world);
            faultFree = front.run(operation);
            for (int index = 0; index < kControllers; ++index) {
                held.push_back(world.device(index).controller);
                EXPECT_TRUE(faultFree[index].success && !faultFree[index].failure)
                    << said(faultFree[index].lines);
                EXPECT_TRUE(operation.held(held.back()));
            }
            ASSERT_EQ(world.device().sendsAsked(), held[0].requests().size());
        }
        failedBy.clear();
        std::size_t leftOut = 0;
        const std::vector<Strike> strikes = strikesFor(operation, held[0].requests(), leftOut);
        for (const Strike& strike : strikes) {
            const auto faulty = static_cast<int>(strike.request % kControllers);
            const std::string run = frontName + " " + operation.name + ", " +
                                    (kControllers > 1 ? FaultWorld::path(faulty) + ": " : "") +
                                    strike.name();
            FaultWorld world(kControllers);
            prepare(world, operation);
            FrontEnd front(world);
            strike.arm(world.device(faulty));
            const std::vector<Outcome> outcomes = front.run(operation);
            // One that says nothing never answered the search, and is held to nothing.
            if (outcomes[faulty].failure || outcomes[faulty].lines.empty()) {
                failedBy.insert(strike.kind.name);
            }
            // A verify says only what the controller's sums say: with one of them gone wrong it
            // cannot say they match, whatever the memory holds.
            if (operation.kind == Operation::Kind::verify && outcomes[faulty].success &&
                strike.command == static_cast<std::uint8_t>(CommandCode::Verify) &&
                !strike.kind.changesProgram) {
                problem(run, "says the sums match, though a Verify went wrong", outcomes[faulty]);
            }
            for (int index = 0; index < kControllers; ++index) {
                const SimulatedController& device = world.device(index).controller;
                const Outcome& outcome = outcomes[index];
                for (const std::string& untruth : outcome.lines.empty()
                                                      ? std::vector<std::string>{}
                                                      : untruths(operation, outcome, device)) {
                    problem(run, untruth, outcome);
                }
                if (index != faulty && (outcome.lines != faultFree[index].lines ||
                                        device.programMemory != held[index].programMemory ||
                                        device.eprom != held[index].eprom)) {
                    problem(run, FaultWorld::path(index) + " did not do as without the fault",
                            outcome);
                }
            }
            world.device(faulty).controller.faults = {};
            world.device(faulty).portFaults = {};
            prepare(world, operation);
            const std::vector<Outcome> again = front.run(operation);
            for (int index = 0; index < kControllers; ++index) {
                const SimulatedController& device = world.device(index).controller;
                if (!again[index].success || !operation.held(device)) {
                    problem(run, "the plain run after it did not put the file in place",
                            again[index]);
                }
                for (const std::string& untruth : untruths(operation, again[index], device)) {
                    problem(run + ", the plain run after it", untruth, again[index]);
                }
            }
        }
        report(frontName + " " + operation.name, strikes, leftOut);
    }

    void report(const std::string& name, const std::vector<Strike>& strikes, std::size_t leftOut) {
        std::cout << "Fault campaign, " << name << ": " << strikes.size() << " points x kinds";
        if (leftOut > 0) {
            std::cout << " (" << leftOut << " eprom records stored wrong left out)";
        }
        std::cout << '\n';
        EXPECT_EQ(problems, 0u) << "runs with a problem";
        // A fault that is armed but never strikes would leave every run fault-free.
        for (const Strike& strike : strikes) {
            EXPECT_TRUE(failedBy.contains(strike.kind.name))
                << name << ": no " << strike.kind.name << " made a run fail";
        }
    }

    TemporaryFolder folder;
    Operation flash;
    Operation load;
    Operation verify;
    std::size_t problems = 0;
    // The kinds of fault that made at least one run of the campaign under way say it failed.
    std::set<std::string> failedBy;
};

TEST_F(FaultCampaignTest, CommandLine) {
    for (const Operation* operation : {&flash, &load, &verify}) {
        campaign<CommandLine>(*operation, "korvane-cli");
    }
}

TEST_F(FaultCampaignTest, EveryController) {
    for (const Operation* operation : {&flash, &load, &verify}) {
        campaign<EveryController>(*operation, "korvane-cli --all");
    }
}

TEST_F(FaultCampaignTest, Window) {
    for (const Operation* operation : {&flash, &load}) {
        campaign<Window>(*operation, "window");
    }
}

}  // namespace
}  // namespace korvane::testing
