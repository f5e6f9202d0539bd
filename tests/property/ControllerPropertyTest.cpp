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
#include "tests/support/RecordingView.h"

namespace korvane::testing {
namespace {

// A step: which event happens, and the number its parameter is drawn from.
struct Step {
    std::size_t event = 0;
    int value = 0;

    int autoValue() const { return value % 4 - 1; }
    int configIndex() const { return value % 7 - 2; }
    int speed() const { return value % 52; }
    int unit() const { return value % 2; }
    int loadedAuto() const { return value % 2; }
    int loadedConfig() const { return value / 2 % 3; }
    int loadedMph() const { return value / 6 % 30 + 1; }
    // The first button ("Update", "OK") more often.
    int alertButton() const { return value % 3 == 2 ? 1 : 0; }
    // 0 nothing, 1 to 3 a valid file, 4 an invalid one, 5 a path that cannot be read.
    int file() const { return value % 6; }
    int replyDelta() const { return value % 5 == 1 ? -1 : value % 5 == 2 ? 1 : 0; }
    // Faults are off more often than on, so that sequences get far.
    int on() const { return value % 4 == 3; }
    // Off, on every reply, or only on the settings read's.
    int headerFault() const { return std::max(value % 4 - 1, 0); }
    int configMode() const { return value % 5; }
    int waitedMs() const { return value % 3001; }
};

// The image the valid file holds, and the files the panel answers with.
const HexImage& image() {
    static const HexImage made = realisticImage(3);
    return made;
}

struct Files {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("korvane-property-" + std::to_string(::getpid()));
    std::vector<std::string> paths;

    Files() {
        std::filesystem::create_directories(folder);
        std::string broken = image().file();
        broken[broken.find('\n') - 1] ^= 1;  // a checksum digit
        for (const std::string& content : {image().file(), broken}) {
            paths.push_back((folder / (std::to_string(paths.size()) + ".hex")).string());
            std::ofstream(paths.back()) << content;
        }
        paths.push_back((folder / "missing.hex").string());
    }
    ~Files() { std::filesystem::remove_all(folder); }

    std::optional<std::string> path(int file) const {
        if (file == 0) {
            return std::nullopt;
        }
        return paths[static_cast<std::size_t>(std::max(file - 3, 0))];
    }
};

const Files& files() {
    static const Files made;
    return made;
}

// The window, as far as the controller reaches it, noting what the promises need.
class PropertyView final : public RecordingView {
public:
    explicit PropertyView(const VirtualRunLoop& loop) : loop_(loop) {}

    void propertyChanged(Property property) override {
        RecordingView::propertyChanged(property);
        if (control == nullptr) {
            return;
        }
        if (property == Property::isEnabled && control->isEnabled() == !writeSince) {
            // A write starts or ends.
            if (writeSince) {
                longestWrite = std::max(longestWrite, loop_.now() - *writeSince);
            }
            writeSince = control->isEnabled() ? std::nullopt : std::optional(loop_.now());
        } else if (property == Property::isUpdateRunning) {
            updateSince = control->isUpdateRunning() ? std::optional(loop_.now()) : std::nullopt;
        } else if (property == Property::setStatus) {
            const std::string& status = control->setStatus();
            if (status.starts_with("Updating ")) {
                ++writesStarted;
                recordTouched = false;
            }
            writesEnded += status.ends_with(" is updated") || status.starts_with("Could not set ");
            // Checked as it is reported: a write chained to it may start at once.
            const SimpleSerial* link = control->link();
            if (status.ends_with(" is updated") && !recordTouched && device != nullptr) {
                const std::string name = status.substr(0, status.find(" is updated"));
                const std::size_t field = name == "Auto" ? 5 : name == "Config" ? 1 : 4;
                if (!link || device->settingsRecord()[field] !=
                                 link->settings.bytes()[kFrameLength + field]) {
                    notHeld.push_back(name);
                }
            }
        } else if (property == Property::connectStatus) {
            connectsEnded += !control->connectStatus().empty();
        }
    }
    std::optional<Duration> writeSince;
    Duration longestWrite{0};
    std::optional<Duration> updateSince;
    int writesStarted = 0;
    int writesEnded = 0;
    int connectsEnded = 0;
    // Settings reported as written since the last check.
    std::vector<std::string> notHeld;
    const SimulatedController* device = nullptr;
    // Another tool changed the device's record since the last write began.
    bool recordTouched = false;

private:
    const VirtualRunLoop& loop_;
};

// The choose-file button, as the controller enables it.
struct FileButton final : Control {
    void setEnabled(bool value) override { enabled = value; }
    bool enabled = true;
};

// Everything one sequence runs against, made anew for each.
struct World {
    VirtualRunLoop loop;
    SimulatedPortManager ports;
    LogCapture log;
    RunLoop::Scope loopScope{loop};
    ORSSerialPortManager::Scope portsScope{ports};
    SimulatedDevice& device = ports.addDevice("/dev/ttySIM0", "ttySIM0");
    PropertyView view{loop};
    ListSpeedPopup speeds;
    FileButton button;
    std::shared_ptr<MainViewControl> control = MainViewControl::create(view);
    int connects = 0;
    bool updateChecked = false;

    World() {
        // A port that is not the controller: every search has a loser to close.
        ports.addDevice("/dev/ttySIM1", "ttySIM1").controller.faults.silent = true;
        view.control = control.get();
        view.device = &device.controller;
        control->setSpeedPopup(&speeds);
        control->viewDidLoad();
    }

    SimulatedController& controller() { return device.controller; }
    ControllerFaults& faults() { return device.controller.faults; }
    // Alerts are sheets on the window: while one is up, only its buttons take a click.
    bool free() const { return view.alerts.empty(); }
};

// Kinds of request, by their command byte.
using Requests = std::set<std::uint8_t>;
const Requests kSearchRequests = {0x00, 0x04, 0x05};  // a search ends in showing the settings
const Requests kWriteRequests = {0x04, 0x05};
const Requests kUpdateRequests = {0x02, 0x03, 0x05, 0x08, 0x09};

// What may reach the device while the controller does what it does now.
Requests requestsInProgress(const MainViewControl& control) {
    Requests allowed;
    const auto add = [&](const Requests& more) {
        allowed.insert(more.begin(), more.end());
    };
    if (!control.canConnect() && !control.isConnected()) {
        add(kSearchRequests);
    }
    if (!control.isEnabled()) {
        add(kWriteRequests);
    }
    if (control.isUpdateRunning()) {
        add(kUpdateRequests);
    }
    return allowed;
}

// A settings write ends within the echo's wait and the read-back's.
constexpr Duration kWriteBudget{400};
// Erase, a write and a Verify per record, the last Verify.
const Duration kUpdateBudget{1000 + 2000 * static_cast<Duration::rep>(image().records) + 1000};

bool deviceHoldsTheImage(const SimulatedController& device) {
    return image().heldIn(device.programMemory, device.eprom);
}

// The controller's promises. Each broken one is named.
std::vector<std::string> brokenPromises(World& world, const Requests& allowed,
                                        std::size_t requestsBefore) {
    std::vector<std::string> broken;
    const auto promise = [&](bool kept, const std::string& what) {
        if (!kept) {
            broken.push_back(what);
        }
    };
    const MainViewControl& control = *world.control;
    const SimpleSerial* link = control.link();
    PropertyView& view = world.view;
    const Duration now = world.loop.now();

    promise(control.canConnect() == (!link && world.ports.livePorts() == 0),
            "canConnect is YES exactly when no link is held, no search runs and no port is open");
    promise(control.isConnected() == (link != nullptr), "isConnected exactly when a link is held");
    promise(!link || world.ports.livePorts() == 1,
            "the held link's port is the only one left: the losers are closed when it wins");
    promise(world.log.countStartingWith("Two exchanges overlap") == 0,
            "at most one exchange on the link at a time");
    promise(control.isEnabled() || (link && link->isWaiting()),
            "isEnabled is NO only while a write runs");
    const auto& requests = world.controller().requests();
    for (std::size_t i = requestsBefore; i < requests.size(); ++i) {
        promise(allowed.count(requests[i][1]) > 0,
                "no request that no user action asked for: " + describeBytes(requests[i]));
    }
    promise(view.longestWrite <= kWriteBudget &&
                (!view.writeSince || now - *view.writeSince <= kWriteBudget),
            "a settings write ends within its budget");
    const bool waitsForTheUser =
        !view.alerts.empty() || control.updateStage() == UpdateStage::restarting;
    promise(!view.updateSince || waitsForTheUser || now - *view.updateSince <= kUpdateBudget,
            "an update ends within its budgets");
    promise(view.writesEnded <= view.writesStarted && view.connectsEnded <= world.connects,
            "every completion runs at most once");
    // Success is reported only when the device holds what was sent.
    for (const std::string& name : std::exchange(view.notHeld, {})) {
        promise(false, name + " is updated only when the device holds it");
    }
    if (control.updateStage() == UpdateStage::restarting && !world.updateChecked) {
        world.updateChecked = true;
        promise(deviceHoldsTheImage(world.controller()),
                "an update is done only when the device holds the file");
    }
    return broken;
}

// One kind of step: how often it is drawn, how a failure names it and its parameter, when the
// window lets it happen, what it does, and what it may send on top of what is running.
struct Event {
    const char* name;
    int weight;
    std::string (*shown)(const Step&);
    bool (*possible)(const World&);
    void (*perform)(World&, const Step&);
    Requests (*asks)(const World&);
};

template <int (Step::*parameter)() const>
std::string number(const Step& step) {
    return std::to_string((step.*parameter)());
}
bool always(const World&) {
    return true;
}
bool settingsOpen(const World& world) {
    return world.free() && world.control->canEditSettings();
}
Requests nothing(const World&) {
    return {};
}
Requests search(const World&) {
    return kSearchRequests;
}
Requests writes(const World&) {
    return kWriteRequests;
}

const Event kEvents[] = {
    // The user, through the window's enabled controls.
    {"Connect", 6, nullptr, [](const World& w) { return w.free() && w.control->canConnect(); },
     [](World& w, const Step&) {
         ++w.connects;
         w.control->onConnect();
     },
     search},
    {"Disconnect", 1, nullptr,
     [](const World& w) { return w.free() && w.control->canDisconnect(); },
     [](World& w, const Step&) { w.control->onDisconnect(); }, nothing},
    {"auto", 2, number<&Step::autoValue>, settingsOpen,
     [](World& w, const Step& s) { w.control->setIsAuto(s.autoValue()); }, writes},
    {"config index", 2, number<&Step::configIndex>, settingsOpen,
     [](World& w, const Step& s) { w.control->setConfig(s.configIndex()); }, writes},
    {"speed", 2, number<&Step::speed>, settingsOpen,
     [](World& w, const Step& s) {
         w.speeds.selectItemWithTitle(std::to_string(s.speed()));
         w.control->onSpeed(w.speeds);
     },
     writes},
    {"unit (1 km/h)", 1, number<&Step::unit>, settingsOpen,
     [](World& w, const Step& s) { w.control->setIsKmh(s.unit()); }, writes},
    // Settings from a file: auto, config and speed one write after the other.
    {"load settings auto/config index/mph", 2,
     [](const Step& s) {
         return number<&Step::loadedAuto>(s) + "/" + number<&Step::loadedConfig>(s) + "/" +
                number<&Step::loadedMph>(s);
     },
     settingsOpen,
     [](World& w, const Step& s) {
         w.control->restoreSettings(s.loadedAuto(), s.loadedConfig(), s.loadedMph());
     },
     writes},
    {"choose a file", 4, nullptr,
     [](const World& w) { return w.free() && w.control->canChooseFile() && w.button.enabled; },
     [](World& w, const Step&) { w.control->onChooseFile(w.button); }, nothing},
    {"panel answers file", 4, number<&Step::file>,
     [](const World& w) { return !w.view.panels.empty(); },
     [](World& w, const Step& s) {
         OpenPanelCompletion completion = std::move(w.view.panels.front().completion);
         w.view.panels.erase(w.view.panels.begin());
         completion(files().path(s.file()));
     },
     nothing},
    // "Update" on the question starts the erase.
    {"alert answered with button", 8, number<&Step::alertButton>,
     [](const World& w) { return !w.free(); },
     [](World& w, const Step& s) {
         const auto last = static_cast<int>(w.view.alerts.front().buttons.size()) - 1;
         w.view.answer(std::min(s.alertButton(), last));
     },
     [](const World& w) {
         return w.view.alerts.front().buttons.size() == 2 ? kUpdateRequests : Requests{};
     }},
    // The device and the line.
    {"unplug", 1, nullptr, always,
     [](World& w, const Step&) {
         w.device.portFaults.neverOpens = true;
         w.device.unplug();
     },
     nothing},
    {"plug back", 3, nullptr, always,
     [](World& w, const Step&) { w.device.portFaults.neverOpens = false; }, nothing},
    {"silence", 1, number<&Step::on>, always,
     [](World& w, const Step& s) { w.faults().silent = s.on(); }, nothing},
    {"wrong headers", 1, number<&Step::headerFault>, always,
     [](World& w, const Step& s) {
         w.faults().wrongHeader = s.headerFault() == 1;
         w.faults().wrongHeaderTo = {};
         if (s.headerFault() == 2) {
             w.faults().wrongHeaderTo = {CommandCode::ReadEprom};
         }
     },
     nothing},
    {"replies longer by", 1, number<&Step::replyDelta>, always,
     [](World& w, const Step& s) { w.faults().replyLengthDelta = s.replyDelta(); }, nothing},
    {"refuse writes", 1, number<&Step::on>, always,
     [](World& w, const Step& s) { w.faults().refuseWrites = s.on(); }, nothing},
    {"wrong verify sums", 1, number<&Step::on>, always,
     [](World& w, const Step& s) { w.faults().wrongVerifySum = s.on(); }, nothing},
    {"device's config mode", 1, number<&Step::configMode>, always,
     [](World& w, const Step& s) {
         const auto& held = w.controller().settingsRecord();
         Bytes record(held.begin(), held.end());
         record[1] = static_cast<std::uint8_t>(s.configMode());
         w.controller().setSettingsRecord(record);
         w.view.recordTouched = true;
     },
     nothing},
    {"port opens late", 1, number<&Step::on>, always,
     [](World& w, const Step& s) { w.device.portFaults.openDelay = Duration{s.on() ? 1500 : 0}; },
     nothing},
    {"wait ms", 12, number<&Step::waitedMs>, always,
     [](World& w, const Step& s) { w.loop.runFor(Duration{s.waitedMs()}); }, nothing},
};

// An event drawn by its weight.
rc::Gen<Step> steps() {
    int total = 0;
    for (const Event& event : kEvents) {
        total += event.weight;
    }
    const auto event = rc::gen::map(rc::gen::inRange(0, total), [](int drawn) {
        std::size_t index = 0;
        while ((drawn -= kEvents[index].weight) >= 0) {
            ++index;
        }
        return index;
    });
    return rc::gen::build<Step>(rc::gen::set(&Step::event, event),
                                rc::gen::set(&Step::value, rc::gen::inRange(0, 100000)));
}

void showValue(const Step& step, std::ostream& out) {
    const Event& event = kEvents[step.event];
    out << event.name << (event.shown ? " " + event.shown(step) : "");
}

RC_GTEST_PROP(ControllerProperty, PromisesHoldOnEveryPath, ()) {
    // Up to 120 steps in every run; a failure shrinks by dropping steps.
    const auto sequence = *rc::gen::resize(120, rc::gen::container<std::vector<Step>>(steps()));
    const bool fast = *rc::gen::arbitrary<bool>();
    World world;
    world.control->setFastTransfers(fast);
    bool connected = false;
    bool restarted = false;
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        const Step& step = sequence[i];
        const Event& event = kEvents[step.event];
        Requests allowed = requestsInProgress(*world.control);
        const std::size_t before = world.controller().requests().size();
        // Done only if the window lets it happen now; it may send what it asks for.
        if (event.possible(world)) {
            const Requests asked = event.asks(world);
            allowed.insert(asked.begin(), asked.end());
            event.perform(world, step);
        }
        for (const std::string& promise : brokenPromises(world, allowed, before)) {
            std::ostringstream where;
            showValue(step, where);
            RC_FAIL("broken after step " + std::to_string(i + 1) + " (" + where.str() +
                    "): " + promise);
        }
        connected = connected || world.control->isConnected();
        restarted = restarted || world.updateChecked;
    }
    // How far the sequences get, printed with the result.
    RC_CLASSIFY(connected, "connected");
    RC_CLASSIFY(restarted, "updated");
    RC_CLASSIFY(fast, "fast");
    // Left alone, the controller comes to rest: every wait has a budget.
    world.loop.runUntilIdle();
    RC_ASSERT(world.loop.pendingTimers() == 0u);
}

}  // namespace
}  // namespace korvane::testing
