// The window's controller under every interleaving of user actions, device events and time: random
// sequences of steps, with the controller's promises checked after each one. A failure shrinks to
// a short sequence of steps that reads like a bug report.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <set>
#include <sstream>

#include "app/ListSpeedPopup.h"
#include "app/MainViewControl.h"
#include "platform/VirtualRunLoop.h"
#include "sim/SimulatedPortManager.h"
#include "tests/support/HexImage.h"
#include "tests/support/LogCapture.h"

namespace korvane::testing {
namespace {

enum class Action {
    // The user, through the window's enabled controls.
    connect,
    disconnect,
    setAuto,
    setConfig,
    chooseSpeed,
    setUnit,
    chooseFile,
    answerPanel,
    answerAlert,
    // The device and the line.
    unplug,
    plugBack,
    silence,
    wrongHeader,
    replyLength,
    refuseWrites,
    // Another tool changed the device's record.
    recordConfigMode,
    openLate,
    // Time.
    wait,
};

struct Step {
    Action action = Action::wait;
    // What the action is done with; read per action by the accessors below.
    int value = 0;

    int autoValue() const { return value % 4 - 1; }
    int configIndex() const { return value % 7 - 2; }
    std::string speedTitle() const { return std::to_string(value % 52); }
    int unit() const { return value % 2; }
    // The first button ("Update", "OK") more often, so that updates get far.
    int alertButton() const { return value % 3 == 2 ? 1 : 0; }
    int replyDelta() const { return value % 5 == 1 ? -1 : value % 5 == 2 ? 1 : 0; }
    // Faults are off more often than on, so that sequences also get far.
    bool on() const { return value % 4 == 3; }
    // Off, on every reply, or only on the settings read's.
    int headerFault() const { return std::max(value % 4 - 1, 0); }
    std::uint8_t configMode() const { return static_cast<std::uint8_t>(value % 5); }
    Duration waited() const { return Duration{value % 3001}; }
};

// The files the panel can answer with.
enum class Chosen { nothing, valid, invalid, unreadable };

Chosen chosenFile(const Step& step) {
    constexpr Chosen kChoices[] = {Chosen::valid,   Chosen::valid,   Chosen::valid,
                                   Chosen::nothing, Chosen::invalid, Chosen::unreadable};
    return kChoices[step.value % 6];
}

void showValue(const Step& step, std::ostream& out) {
    static const char* const names[] = {"Connect",
                                        "Disconnect",
                                        "auto",
                                        "config index",
                                        "speed",
                                        "unit (1 km/h)",
                                        "choose a file",
                                        "panel answers",
                                        "alert answered with button",
                                        "unplug",
                                        "plug back",
                                        "silence",
                                        "wrong headers",
                                        "reply length off by",
                                        "refuse writes",
                                        "the device's config mode is now",
                                        "port opens late",
                                        "wait"};
    out << names[static_cast<int>(step.action)];
    switch (step.action) {
        case Action::setAuto:
            out << ' ' << step.autoValue();
            break;
        case Action::setConfig:
            out << ' ' << step.configIndex();
            break;
        case Action::chooseSpeed:
            out << ' ' << step.speedTitle();
            break;
        case Action::setUnit:
            out << ' ' << step.unit();
            break;
        case Action::answerPanel: {
            static const char* const files[] = {"nothing", "a valid file", "an invalid file",
                                                "a path that cannot be read"};
            out << ' ' << files[static_cast<int>(chosenFile(step))];
            break;
        }
        case Action::answerAlert:
            out << ' ' << step.alertButton();
            break;
        case Action::replyLength:
            out << ' ' << step.replyDelta();
            break;
        case Action::wrongHeader: {
            static const char* const kinds[] = {" off", " on every reply", " on settings reads"};
            out << kinds[step.headerFault()];
            break;
        }
        case Action::recordConfigMode:
            out << ' ' << int{step.configMode()};
            break;
        case Action::silence:
        case Action::refuseWrites:
        case Action::openLate:
            out << (step.on() ? " on" : " off");
            break;
        case Action::wait:
            out << ' ' << step.waited().count() << " ms";
            break;
        default:
            break;
    }
}

rc::Gen<Step> steps() {
    using rc::gen::weightedElement;
    return rc::gen::build<Step>(
        rc::gen::set(&Step::action, weightedElement<Action>({{6, Action::connect},
                                                             {1, Action::disconnect},
                                                             {2, Action::setAuto},
                                                             {2, Action::setConfig},
                                                             {2, Action::chooseSpeed},
                                                             {1, Action::setUnit},
                                                             {4, Action::chooseFile},
                                                             {4, Action::answerPanel},
                                                             {8, Action::answerAlert},
                                                             {1, Action::unplug},
                                                             {3, Action::plugBack},
                                                             {1, Action::silence},
                                                             {1, Action::wrongHeader},
                                                             {1, Action::replyLength},
                                                             {1, Action::refuseWrites},
                                                             {1, Action::recordConfigMode},
                                                             {1, Action::openLate},
                                                             {12, Action::wait}})),
        rc::gen::set(&Step::value, rc::gen::inRange(0, 100000)));
}

struct Files {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("korvane-property-" + std::to_string(::getpid()));
    std::string valid = (folder / "valid.hex").string();
    std::string invalid = (folder / "invalid.hex").string();

    Files() {
        std::filesystem::create_directories(folder);
        std::ofstream(valid) << realisticImage(3).file();
        std::string broken = realisticImage(3).file();
        broken[broken.find('\n') - 1] ^= 1;  // a checksum digit
        std::ofstream(invalid) << broken;
    }
    ~Files() { std::filesystem::remove_all(folder); }

    std::optional<std::string> path(Chosen chosen) const {
        switch (chosen) {
            case Chosen::valid:
                return valid;
            case Chosen::invalid:
                return invalid;
            case Chosen::unreadable:
                return (folder / "missing.hex").string();
            case Chosen::nothing:
                break;
        }
        return std::nullopt;
    }
};

const Files& files() {
    static const Files made;
    return made;
}

// The window, as far as the controller reaches it, with what the promises need to know.
class PropertyView final : public MainView {
public:
    explicit PropertyView(const VirtualRunLoop& loop) : loop_(loop) {}

    void propertyChanged(Property property) override {
        if (control == nullptr) {
            return;
        }
        switch (property) {
            case Property::isEnabled:
                if (!control->isEnabled() && !writeSince) {
                    writeSince = loop_.now();
                } else if (control->isEnabled() && writeSince) {
                    longestWrite = std::max(longestWrite, loop_.now() - *writeSince);
                    writeSince.reset();
                }
                break;
            case Property::isUpdateRunning:
                updateSince =
                    control->isUpdateRunning() ? std::optional(loop_.now()) : std::nullopt;
                break;
            case Property::setStatus: {
                const std::string& status = control->setStatus();
                writesStarted += status.starts_with("Updating ");
                writesEnded +=
                    status.ends_with(" is updated") || status.starts_with("Could not set ");
                break;
            }
            case Property::connectStatus:
                connectsEnded += !control->connectStatus().empty();
                break;
            default:
                break;
        }
    }
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override {
        alerts.push_back({message, buttons.size(), std::move(completion)});
    }
    void runOpenPanel(const std::string&, OpenPanelCompletion completion) override {
        panels.push_back(std::move(completion));
    }
    void stopApplication() override {}

    struct Alert {
        std::string message;
        std::size_t buttons = 0;
        AlertCompletion completion;
    };
    const MainViewControl* control = nullptr;
    std::vector<Alert> alerts;
    std::vector<OpenPanelCompletion> panels;
    std::optional<Duration> writeSince;
    Duration longestWrite{0};
    std::optional<Duration> updateSince;
    int writesStarted = 0;
    int writesEnded = 0;
    int connectsEnded = 0;

private:
    const VirtualRunLoop& loop_;
};

// The choose-file button, as the controller enables it.
struct FileButton final : Control {
    void setEnabled(bool value) override { enabled = value; }
    bool enabled = true;
};

constexpr const char* kControllerPath = "/dev/ttySIM0";
// A settings write: the echo's wait and the read-back's.
constexpr Duration kWriteBudget{400};
// Erase, a write and a Verify per record, the last Verify.
Duration updateBudget(std::size_t records) {
    return Duration{1000 + 2000 * static_cast<Duration::rep>(records) + 1000};
}

// Everything one sequence runs against, made anew for each.
struct World {
    VirtualRunLoop loop;
    SimulatedPortManager ports;
    LogCapture log;
    RunLoop::Scope loopScope{loop};
    ORSSerialPortManager::Scope portsScope{ports};
    SimulatedDevice& device = ports.addDevice(kControllerPath, "ttySIM0");
    PropertyView view{loop};
    ListSpeedPopup speeds;
    FileButton button;
    std::shared_ptr<MainViewControl> control = MainViewControl::create(view);
    int connects = 0;

    World() {
        // A port that is not the controller: every search has a loser to close.
        ports.addDevice("/dev/ttySIM1", "ttySIM1").controller.faults.silent = true;
        view.control = control.get();
        control->setSpeedPopup(&speeds);
        control->viewDidLoad();
    }

    SimulatedController& controller() { return device.controller; }
};

// Kinds of request by their command byte.
using Requests = std::set<std::uint8_t>;
const Requests kSearchRequests = {0x00, 0x04, 0x05};  // a search ends in showing the settings
const Requests kWriteRequests = {0x04, 0x05};
const Requests kUpdateRequests = {0x02, 0x03, 0x05, 0x08, 0x09};

// What may reach the device while the controller does what it does now.
Requests requestsInProgress(const MainViewControl& control) {
    Requests allowed;
    if (!control.canConnect() && !control.isConnected()) {
        allowed.insert(kSearchRequests.begin(), kSearchRequests.end());
    }
    if (!control.isEnabled()) {
        allowed.insert(kWriteRequests.begin(), kWriteRequests.end());
    }
    if (control.isUpdateRunning()) {
        allowed.insert(kUpdateRequests.begin(), kUpdateRequests.end());
    }
    return allowed;
}

// The controller's promises. Each one broken is named; none is the empty list.
std::vector<std::string> brokenPromises(World& world, const Requests& allowed,
                                        std::size_t requestsBefore) {
    std::vector<std::string> broken;
    const MainViewControl& control = *world.control;
    const bool linkHeld = control.link() != nullptr;
    const bool portsLive = world.ports.livePorts() > 0;
    if (control.canConnect() != (!linkHeld && !portsLive)) {
        broken.push_back("canConnect is YES exactly when no link is held and no search runs");
    }
    if (control.isConnected() != linkHeld) {
        broken.push_back("isConnected is YES exactly when a link is held");
    }
    if (world.log.countStartingWith("Two exchanges overlap") > 0) {
        broken.push_back("at most one exchange on the link at a time");
    }
    if (!control.isEnabled() && !(linkHeld && control.link()->isWaiting())) {
        broken.push_back("isEnabled is NO only while a write runs");
    }
    const auto& requests = world.controller().requests();
    for (std::size_t i = requestsBefore; i < requests.size(); ++i) {
        if (allowed.count(requests[i][1]) == 0) {
            broken.push_back("no request the user did not ask for: " + describeBytes(requests[i]));
        }
    }
    PropertyView& view = world.view;
    const Duration now = world.loop.now();
    if (view.longestWrite > kWriteBudget ||
        (view.writeSince && now - *view.writeSince > kWriteBudget)) {
        broken.push_back("a settings write ends within its budget");
    }
    const bool updateAlert =
        !view.alerts.empty() || control.updateStage() == UpdateStage::restarting;
    if (view.updateSince && !updateAlert &&
        now - *view.updateSince > updateBudget(realisticImage(3).records)) {
        broken.push_back("an update ends within its budgets");
    }
    if (view.writesEnded > view.writesStarted || view.connectsEnded > world.connects) {
        broken.push_back("every completion runs at most once");
    }
    return broken;
}

// Does what the step says, if the window lets the user do it now.
void perform(World& world, const Step& step) {
    MainViewControl& control = *world.control;
    PropertyView& view = world.view;
    // Alerts are sheets on the window: while one is up, only its buttons take a click.
    const bool windowFree = view.alerts.empty();
    const auto faults = [&]() -> ControllerFaults& {
        return world.controller().faults;
    };
    switch (step.action) {
        case Action::connect:
            if (windowFree && control.canConnect()) {
                ++world.connects;
                control.onConnect();
            }
            break;
        case Action::disconnect:
            if (windowFree && control.canDisconnect()) {
                control.onDisconnect();
            }
            break;
        case Action::setAuto:
            if (windowFree && control.canEditSettings()) {
                control.setIsAuto(step.autoValue());
            }
            break;
        case Action::setConfig:
            if (windowFree && control.canEditSettings()) {
                control.setConfig(step.configIndex());
            }
            break;
        case Action::chooseSpeed:
            if (windowFree && control.canEditSettings()) {
                world.speeds.selectItemWithTitle(step.speedTitle());
                control.onSpeed(world.speeds);
            }
            break;
        case Action::setUnit:
            if (windowFree && control.canEditSettings()) {
                control.setIsKmh(step.unit());
            }
            break;
        case Action::chooseFile:
            if (windowFree && control.canChooseFile() && world.button.enabled) {
                control.onChooseFile(world.button);
            }
            break;
        case Action::answerPanel:
            if (!view.panels.empty()) {
                OpenPanelCompletion completion = std::move(view.panels.front());
                view.panels.erase(view.panels.begin());
                completion(files().path(chosenFile(step)));
            }
            break;
        case Action::answerAlert:
            if (!view.alerts.empty()) {
                PropertyView::Alert alert = std::move(view.alerts.front());
                view.alerts.erase(view.alerts.begin());
                const int button = static_cast<int>(std::min<std::size_t>(
                    static_cast<std::size_t>(step.alertButton()), alert.buttons - 1));
                alert.completion(kAlertFirstButtonReturn + button);
            }
            break;
        case Action::unplug:
            world.device.portFaults.neverOpens = true;
            world.device.unplug();
            break;
        case Action::plugBack:
            world.device.portFaults.neverOpens = false;
            break;
        case Action::silence:
            faults().silent = step.on();
            break;
        case Action::wrongHeader:
            faults().wrongHeader = step.headerFault() == 1;
            faults().wrongHeaderTo = {};
            if (step.headerFault() == 2) {
                faults().wrongHeaderTo = {CommandCode::ReadEprom};
            }
            break;
        case Action::recordConfigMode: {
            Bytes record(world.controller().settingsRecord().begin(),
                         world.controller().settingsRecord().end());
            record[1] = step.configMode();
            world.controller().setSettingsRecord(record);
            break;
        }
        case Action::replyLength:
            faults().replyLengthDelta = step.replyDelta();
            break;
        case Action::refuseWrites:
            faults().refuseWrites = step.on();
            break;
        case Action::openLate:
            world.device.portFaults.openDelay = Duration{step.on() ? 1500 : 0};
            break;
        case Action::wait:
            world.loop.runFor(step.waited());
            break;
    }
}

// What the step's own action may send, on top of what is in progress.
Requests requestsAskedFor(const World& world, const Step& step) {
    switch (step.action) {
        case Action::connect:
            return kSearchRequests;
        case Action::setAuto:
        case Action::setConfig:
        case Action::chooseSpeed:
        case Action::setUnit:
            return kWriteRequests;
        case Action::answerAlert:
            // "Update" on the question starts the erase.
            if (!world.view.alerts.empty() && world.view.alerts.front().buttons == 2) {
                return kUpdateRequests;
            }
            return {};
        default:
            return {};
    }
}

RC_GTEST_PROP(ControllerProperty, PromisesHoldOnEveryPath, ()) {
    // Up to 120 steps in every run; a failure shrinks by dropping steps.
    const auto sequence = *rc::gen::resize(120, rc::gen::container<std::vector<Step>>(steps()));
    World world;
    // How far the sequences get, printed with the result.
    bool connected = false;
    bool restarted = false;
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        const Step& step = sequence[i];
        Requests allowed = requestsInProgress(*world.control);
        const Requests asked = requestsAskedFor(world, step);
        allowed.insert(asked.begin(), asked.end());
        const std::size_t before = world.controller().requests().size();
        perform(world, step);
        for (const std::string& promise : brokenPromises(world, allowed, before)) {
            std::ostringstream where;
            showValue(step, where);
            RC_FAIL("broken after step " + std::to_string(i + 1) + " (" + where.str() +
                    "): " + promise);
        }
        connected = connected || world.control->isConnected();
        restarted = restarted || world.control->updateStage() == UpdateStage::restarting;
    }
    RC_CLASSIFY(connected, "connected");
    RC_CLASSIFY(restarted, "updated and restarted");
    // Left alone, the controller comes to rest: every wait has a budget.
    world.loop.runUntilIdle(std::chrono::hours(1));
    RC_ASSERT(world.loop.pendingTimers() == 0u);
}

}  // namespace
}  // namespace korvane::testing
