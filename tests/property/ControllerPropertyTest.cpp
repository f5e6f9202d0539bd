// The window's controller under every interleaving of user actions, device events and time: random
// sequences of steps, with the controller's promises checked after each one. A failure shrinks to
// a short sequence of steps that reads like a bug report.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ostream>
#include <set>
#include <sstream>

#include "app/SettingsFileFlow.h"
#include "tests/property/PropertyWorld.h"

namespace korvane::testing {
namespace {

// A step: which event happens, and the number its parameter is drawn from.
struct Step {
    std::size_t event = 0;
    int value = 0;

    int autoValue() const { return value % 4 - 1; }
    int configIndex() const { return value % 7 - 2; }
    // An item of the speed list, counted from 0.
    int speedItem() const { return value % 50; }
    int unit() const { return value % 2; }
    // The first button ("Update", "Load", "OK") more often.
    int alertButton() const { return value % 4 == 3 ? 1 : 0; }
    // 0 the panel cancelled, 1 an invalid file, 2 a path that cannot be read, else a valid one.
    int file() const { return value % 10; }
    int replyDelta() const { return value % 5 == 1 ? -1 : value % 5 == 2 ? 1 : 0; }
    // Faults are off more often than on, so that sequences get far.
    int on() const { return value % 4 == 3; }
    // Off, on every reply, or only on the settings read's.
    int headerFault() const { return std::max(value % 4 - 1, 0); }
    int configMode() const { return value % 5; }
    int waitedMs() const { return value % 3001; }
    // A request from the next few, counted from 1.
    int requestAhead() const { return value % 40 + 1; }
    int latencyMs() const { return value % 60; }
    int chunkSize() const { return value / 60 % 6; }
    int which() const { return value % 2; }
};

// A settings file drawn from `value`: this controller's or another's, every value in range, the
// speed sometimes one the list does not offer; now and then one that cannot be used.
std::string settingsFileFor(int value, const std::string& heldId, HeldSettings& asked) {
    SavedSettings settings;
    settings.deviceId = value % 3 == 0 ? "CAFE" : heldId;
    settings.bootloader = "012A";
    settings.software = 7;
    settings.settings.autoMode = value / 3 % 2 != 0;
    settings.settings.config = value / 6 % 3 + 1;
    settings.settings.speedLimitMph = value / 18 % 8 == 0 ? value / 144 % 256 : value / 18 % 30 + 1;
    settings.record = "07010309130000A1A2A3A4A5";
    settings.savedAt = "2026-12-07T12:00:00Z";
    constexpr int kConfigModes[] = {1, 2, 4};
    asked = {settings.settings.autoMode ? 1 : 0, kConfigModes[settings.settings.config - 1],
             settings.settings.speedLimitMph};
    const std::string text = settingsFileText(settings);
    return value % 11 == 0 ? text.substr(0, text.size() / 2) : text;
}

// A firmware file drawn from `value`: valid, or broken in one of the ways files break.
std::string brokenFile(const HexImage& image, int value) {
    std::string text = image.file();
    switch (value / 10 % 4) {
        case 0:
            text[text.find('\n') - 1] ^= 1;  // a checksum digit
            return text;
        case 1:
            return text.substr(0, text.size() / 2);  // cut short
        case 2:
            return text.replace(text.find(':'), 1, "?");  // no record start
        default:
            return "";
    }
}

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
Duration updateBudget(const HexImage& image) {
    return Duration{1000 + 2000 * static_cast<Duration::rep>(image.records) + 1000};
}

bool deviceHoldsTheImage(const SimulatedController& device, const HexImage& image) {
    return image.heldIn(device.programMemory, device.eprom);
}

// What the window shows, in one line: after a loss it must not change until OK.
std::string shown(const MainViewControl& control) {
    std::ostringstream out;
    out << control.canConnect() << control.isConnected() << control.isEnabled()
        << control.isUpdatingFirmware() << control.isUpdateRunning() << control.isKmh() << "|"
        << control.connectStatus() << "|" << control.setStatus() << "|" << control.firmwareStatus()
        << "|" << control.firmwareDetail() << "|" << control.currFirmwareCount() << "/"
        << control.maxFirmwareCount();
    return out.str();
}

// Every attempt to send, on every device.
std::uint64_t sendAttempts(World& world) {
    std::uint64_t attempts = 0;
    for (const SimulatedDevice* device : world.devices()) {
        attempts += device->sendsAsked();
    }
    return attempts;
}

// The state a reset leaves, whatever came before it.
bool isReset(const MainViewControl& control) {
    return control.isEnabled() && !control.isUpdatingFirmware() && !control.isUpdateRunning() &&
           control.updateStage() == UpdateStage::none && control.maxSpeed() == 30 &&
           control.isKmh() == 0 && control.link() == nullptr && control.canChooseFile() == false;
}

// The controller's promises. Each broken one is named.
std::vector<std::string> brokenPromises(World& world, const Requests& allowed,
                                        const std::vector<std::size_t>& requestsBefore,
                                        const std::string& heldBefore, std::size_t unsentBefore) {
    std::vector<std::string> broken = std::exchange(world.view.broken, {});
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
    const bool lossOpen = std::any_of(view.alerts.begin(), view.alerts.end(), [](const auto& a) {
        return a.message == "The device is disconnected";
    });
    promise(control.isEnabled() || lossOpen || (link && link->isWaiting()),
            "isEnabled is NO only while a write runs, or the write's device is gone");
    const std::vector<SimulatedDevice*> devices = world.devices();
    for (std::size_t d = 0; d < devices.size(); ++d) {
        const auto& requests = devices[d]->controller.requests();
        for (std::size_t i = requestsBefore[d]; i < requests.size(); ++i) {
            promise(allowed.count(requests[i][1]) > 0,
                    "no request that no user action asked for: " + describeBytes(requests[i]));
        }
        promise(devices[d]->sendsWhileClosed() == 0, "nothing is sent to a port that is not open");
    }
    // A search may find a port closed under its probe; a link the window holds is never used
    // after its port has closed.
    promise(!link || link->portPath() != heldBefore ||
                world.log.countStartingWith("Not sent to ") == unsentBefore,
            "nothing is sent on a link whose port has closed");
    promise(view.longestWrite <= kWriteBudget &&
                (!view.writeSince || now - *view.writeSince <= kWriteBudget),
            "a settings write ends within its budget");
    const bool waitsForTheUser =
        !view.alerts.empty() || control.updateStage() == UpdateStage::restarting;
    promise(!view.updateSince || waitsForTheUser || !world.confirmed ||
                now - *view.updateSince <= updateBudget(*world.confirmed),
            "an update ends within its budgets");
    promise(view.writesEnded <= view.writesStarted && view.connectsEnded <= world.connects,
            "every completion runs at most once");
    if (control.updateStage() == UpdateStage::restarting && !world.updateChecked) {
        world.updateChecked = true;
        promise(
            world.confirmed && world.held() && deviceHoldsTheImage(*world.held(), *world.confirmed),
            "an update is done only when the device holds the file");
        // Unless the line refused them both.
        const auto& requests = world.held()->requests();
        promise(requests.back()[1] != 0x09 || requests[requests.size() - 2][1] == 0x08,
                "the restart follows the last Verify");
    }
    // The unit, the highest speed and the list agree; the list shows the device's speed.
    const auto& titles = world.speeds.titles();
    promise(control.maxSpeed() == (control.isKmh() ? 50 : 30) &&
                titles.size() == static_cast<std::size_t>(control.maxSpeed()) &&
                titles.front() == "1" && titles.back() == std::to_string(control.maxSpeed()),
            "the speed list holds 1 to the unit's highest speed");
    const std::optional<Bytes> reported = world.held() ? lastReported(*world.held()) : std::nullopt;
    if (link && link->deviceReady && control.isEnabled() && !link->isWaiting() && !lossOpen &&
        !view.repliesUnclear && reported) {
        const Bytes& record = *reported;
        const int speed = control.isKmh() ? static_cast<int>(record[14] * 1.609344) : record[14];
        const int config = record[11] == 2 ? 1 : record[11] == 4 ? 2 : 0;
        const std::string title =
            speed >= 1 && speed <= control.maxSpeed() ? std::to_string(speed) : "";
        promise(control.isAuto() == record[15] && control.config() == config &&
                    world.speeds.selectedItemTitle() == title,
                "a shown setting equals what the controller last reported once no write is in "
                "flight");
    }
    // After a loss, nothing is sent and nothing the window shows changes until OK.
    // Answering another alert that was up before it may change the window.
    const std::string state = shown(control) + "|" + std::to_string(sendAttempts(world));
    if (lossOpen && world.atLoss && world.atLoss->second == view.answered) {
        promise(world.atLoss->first == state,
                "after a loss nothing is sent and nothing changes until OK: " +
                    world.atLoss->first + " became " + state);
    }
    world.atLoss.reset();
    if (lossOpen) {
        world.atLoss.emplace(state, view.answered);
    }
    if (!control.isConnected() && control.canConnect() && view.alerts.empty()) {
        promise(isReset(control), "a window without a device is reset");
    }
    return broken;
}

// One kind of step: how often it is drawn, how a failure names it and its parameter, when the
// window lets it happen, what it does, and what it may send on top of what is running.
struct Event {
    const char* name;
    int weight;
    std::string (*shown)(const Step&);
    bool (*possible)(World&);
    void (*perform)(World&, const Step&);
    Requests (*asks)(const World&, const Step&);
    // The user chooses a setting: a write may start.
    bool choice = false;
};

template <int (Step::*parameter)() const>
std::string number(const Step& step) {
    return std::to_string((step.*parameter)());
}
std::string value(const Step& step) {
    return std::to_string(step.value);
}
bool always(World&) {
    return true;
}
bool settingsOpen(World& world) {
    return world.free() && world.control->canEditSettings();
}
Requests nothing(const World&, const Step&) {
    return {};
}
Requests search(const World&, const Step&) {
    return kSearchRequests;
}
Requests writes(const World&, const Step&) {
    return kWriteRequests;
}
bool canChoose(World& world) {
    return world.free() && world.control->canChooseFile() && world.button.enabled;
}
// The file panel answers: cancelled, a broken file, a path that cannot be read, or a valid file.
void answerPanel(World& world, const Step& step) {
    if (world.view.panels.empty()) {
        return;
    }
    OpenPanelCompletion completion = std::move(world.view.panels.front().completion);
    world.view.panels.erase(world.view.panels.begin());
    const HexImage image = generatedImage(static_cast<std::uint32_t>(step.value));
    world.offered.reset();
    switch (step.file()) {
        case 0:
            return completion(std::nullopt);
        case 1:
            return completion(propertyFiles().write("broken.hex", brokenFile(image, step.value)));
        case 2:
            return completion(propertyFiles().path("missing.hex"));
        default:
            world.offered = image;
            return completion(propertyFiles().write("firmware.hex", image.file()));
    }
}
// Presses a button of the oldest alert; the update's question names the file's version.
void confirm(World& world, int button) {
    const RecordingView::Alert& alert = world.view.alerts.front();
    if (alert.message.starts_with("Update firmware")) {
        if (!world.offered ||
            alert.message != stringPrintf("Update firmware from file Software version: %02u?",
                                          unsigned{world.offered->version})) {
            world.view.broken.push_back("the question names the file's version");
        }
        if (button == 0) {
            world.confirmed = world.offered;
            world.updateChecked = false;
        }
    }
    world.view.answer(std::min(button, static_cast<int>(alert.buttons.size()) - 1));
}

template <bool ControllerFaults::*fault>
void toggle(World& world, const Step& step) {
    world.target().controller.faults.*fault = step.on();
}
template <bool PortFaults::*fault>
void togglePort(World& world, const Step& step) {
    world.target().portFaults.*fault = step.on();
}

const Event kEvents[] = {
    // The user, through the window's enabled controls.
    {"Connect", 10, nullptr, [](World& w) { return w.free() && w.control->canConnect(); },
     [](World& w, const Step&) {
         ++w.connects;
         w.view.touchedSinceConnect = false;
         w.view.repliesUnclear = false;
         w.control->onConnect();
     },
     search},
    {"Disconnect", 1, nullptr, [](World& w) { return w.free() && w.control->canDisconnect(); },
     [](World& w, const Step&) { w.control->onDisconnect(); }, nothing},
    {"fast transfers", 1, number<&Step::which>, always,
     [](World& w, const Step& s) { w.control->setFastTransfers(s.which()); }, nothing},
    {"auto", 2, number<&Step::autoValue>, settingsOpen,
     [](World& w, const Step& s) { w.control->setIsAuto(s.autoValue()); }, writes, true},
    {"config index", 2, number<&Step::configIndex>, settingsOpen,
     [](World& w, const Step& s) { w.control->setConfig(s.configIndex()); }, writes, true},
    {"speed item", 2, number<&Step::speedItem>, settingsOpen,
     [](World& w, const Step& s) {
         const auto& titles = w.speeds.titles();
         w.speeds.selectItemWithTitle(
             titles[static_cast<std::size_t>(s.speedItem()) % titles.size()]);
         w.control->onSpeed(w.speeds);
     },
     writes, true},
    {"unit (1 km/h)", 1, number<&Step::unit>, settingsOpen,
     [](World& w, const Step& s) { w.control->setIsKmh(s.unit()); }, writes},
    {"save settings", 4, number<&Step::which>, settingsOpen,
     [](World& w, const Step& s) {
         // The second place is in a folder that does not exist.
         const std::string path =
             propertyFiles().path(s.which() ? "none/saved.json" : "saved.json");
         saveSettings(*w.control, path, [path](const std::string& text) {
             std::ofstream file(path);
             file << text;
             return file.flush() ? std::string() : std::string("cannot be written");
         });
     },
     writes},
    // A file saved earlier, or one drawn: the write of each setting follows the other.
    {"load settings file", 4, value, settingsOpen,
     [](World& w, const Step& s) {
         std::string path = propertyFiles().path("saved.json");
         const SettingsFileReading saved = readSettingsFile(path);
         if (s.value % 4 == 0 && saved.settings) {
             constexpr int kConfigModes[] = {1, 2, 4};
             w.view.loadAsked = {saved.settings->settings.autoMode ? 1 : 0,
                                 kConfigModes[saved.settings->settings.config - 1],
                                 saved.settings->settings.speedLimitMph};
         } else {
             HeldSettings asked;
             const std::string held =
                 stringPrintf("%02X%02X", w.held()->deviceId[0], w.held()->deviceId[1]);
             path = propertyFiles().write("drawn.json", settingsFileFor(s.value, held, asked));
             w.view.loadAsked = asked;
         }
         loadSettings(*w.control, path, settingsFileContent(path), askInAlert(*w.control));
     },
     writes},
    {"choose a file", 6, nullptr, canChoose,
     [](World& w, const Step&) { w.control->onChooseFile(w.button); }, nothing},
    {"panel answers file", 6, value, [](World& w) { return !w.view.panels.empty(); }, answerPanel,
     nothing},
    // The path most users take, in one step: a valid file chosen and confirmed.
    {"update from file", 13, value, canChoose,
     [](World& w, const Step& s) {
         w.control->onChooseFile(w.button);
         answerPanel(w, Step{0, s.value - s.file() + 3});
         if (!w.free()) {
             confirm(w, 0);
         }
     },
     [](const World&, const Step&) {
         return kUpdateRequests;
     }},
    // "Update" on the question starts the erase, "Load" the restore; "Cancel" sends nothing.
    {"alert answered with button", 12, number<&Step::alertButton>,
     [](World& w) { return !w.free(); },
     [](World& w, const Step& s) { confirm(w, s.alertButton()); },
     [](const World& w, const Step& s) {
         const auto& message = w.view.alerts.front().message;
         return s.alertButton() != 0                     ? Requests{}
                : message.starts_with("Update firmware") ? kUpdateRequests
                : message.ends_with("Load them anyway?") ? kWriteRequests
                                                         : Requests{};
     }},
    // The device and the line.
    {"unplug", 1, nullptr, always,
     [](World& w, const Step&) {
         w.target().portFaults.neverOpens = true;
         w.target().unplug();
     },
     nothing},
    {"plug back", 3, nullptr, always,
     [](World& w, const Step&) {
         for (SimulatedDevice* device : w.devices()) {
             device->portFaults.neverOpens = false;
         }
     },
     nothing},
    {"port (1 the second controller's) present", 2, value, always,
     [](World& w, const Step& s) {
         const char* path = s.which() ? kSecondController : kFirstController;
         w.ports.device(path)->setPresent(s.value % 3 != 0);
         w.secondSeen = w.secondSeen || (s.which() && s.value % 3 != 0);
     },
     nothing},
    {"silence", 1, number<&Step::on>, always, toggle<&ControllerFaults::silent>, nothing},
    {"garbage", 1, number<&Step::on>, always, toggle<&ControllerFaults::garbage>, nothing},
    {"wrong headers", 1, number<&Step::headerFault>, always,
     [](World& w, const Step& s) {
         ControllerFaults& faults = w.target().controller.faults;
         faults.wrongHeader = s.headerFault() == 1;
         faults.wrongHeaderTo = {};
         if (s.headerFault() == 2) {
             faults.wrongHeaderTo = {CommandCode::ReadEprom};
         }
     },
     nothing},
    {"unanswered command", 1, value, always,
     [](World& w, const Step& s) {
         constexpr CommandCode kCodes[] = {CommandCode::Identify,   CommandCode::ReadEprom,
                                           CommandCode::WriteEprom, CommandCode::WriteProgram,
                                           CommandCode::Erase,      CommandCode::Verify};
         auto& unanswered = w.target().controller.faults.unanswered;
         unanswered.clear();
         if (s.on()) {
             unanswered.insert(kCodes[s.value / 4 % std::size(kCodes)]);
         }
     },
     nothing},
    // The device stores what it is sent but does not say so: the link cannot know what it holds.
    {"settings writes unacknowledged", 1, number<&Step::on>, always,
     [](World& w, const Step& s) {
         auto& unanswered = w.target().controller.faults.unanswered;
         unanswered.clear();
         if (s.on()) {
             unanswered.insert(CommandCode::WriteEprom);
         }
     },
     nothing},
    {"replies longer by", 1, number<&Step::replyDelta>, always,
     [](World& w, const Step& s) {
         w.target().controller.faults.replyLengthDelta = s.replyDelta();
     },
     nothing},
    {"refuse writes", 1, number<&Step::on>, always, toggle<&ControllerFaults::refuseWrites>,
     nothing},
    {"wrong verify sums", 1, number<&Step::on>, always, toggle<&ControllerFaults::wrongVerifySum>,
     nothing},
    {"refuse the write at request ahead", 1, number<&Step::requestAhead>, always,
     [](World& w, const Step& s) {
         SimulatedController& device = w.target().controller;
         device.faults.refuseRequest = device.requests().size() + s.requestAhead();
     },
     nothing},
    {"vanish at request ahead", 1, number<&Step::requestAhead>, always,
     [](World& w, const Step& s) {
         SimulatedController& device = w.target().controller;
         device.faults.unplugAtRequest = device.requests().size() + s.requestAhead();
     },
     nothing},
    {"port refuses sends", 1, number<&Step::on>, always, togglePort<&PortFaults::refusesSend>,
     nothing},
    {"no access to the port", 1, number<&Step::on>, always, togglePort<&PortFaults::noAccess>,
     nothing},
    {"device's config mode", 1, number<&Step::configMode>, always,
     [](World& w, const Step& s) {
         SimulatedController& device = w.target().controller;
         Bytes record(device.settingsRecord().begin(), device.settingsRecord().end());
         record[1] = static_cast<std::uint8_t>(s.configMode());
         device.setSettingsRecord(record);
         w.view.recordTouched = true;
         w.view.touchedSinceConnect = true;
     },
     nothing},
    {"port opens late", 1, number<&Step::on>, always,
     [](World& w, const Step& s) { w.target().portFaults.openDelay = Duration{s.on() ? 1500 : 0}; },
     nothing},
    {"line latency ms/chunk bytes", 1,
     [](const Step& s) { return number<&Step::latencyMs>(s) + "/" + number<&Step::chunkSize>(s); },
     always,
     [](World& w, const Step& s) {
         LineTiming& timing = w.target().timing;
         timing.latency = Duration{s.latencyMs()};
         timing.chunkSize = static_cast<std::size_t>(s.chunkSize());
         timing.chunkGap = Duration{s.chunkSize() != 0 ? 1 : 0};
     },
     nothing},
    {"wait ms", 12, number<&Step::waitedMs>, always,
     [](World& w, const Step& s) { w.loop.runFor(Duration{s.waitedMs()}); }, nothing},
    // The user waits until the window has something to say.
    {"wait for the window", 10, nullptr, always,
     [](World& w, const Step&) {
         const MainViewControl& control = *w.control;
         w.loop.runUntil(
             [&] {
                 return !w.view.alerts.empty() ||
                        (control.isEnabled() && !control.isUpdateRunning() &&
                         (control.isConnected() || control.canConnect()));
             },
             Duration{200000});
     },
     nothing},
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

// How far the sequences get, printed once they have run: a property that never reaches a path
// proves nothing about it.
class Tally final : public ::testing::Environment {
public:
    static constexpr std::array<const char*, 6> kNames = {"connected",      "completed an update",
                                                          "fast transfers", "saw two controllers",
                                                          "saved settings", "loaded settings"};

    void count(const std::array<bool, kNames.size()>& reached) {
        ++runs_;
        for (std::size_t i = 0; i < reached.size(); ++i) {
            reached_[i] += reached[i];
        }
    }
    void TearDown() override {
        if (runs_ == 0) {
            return;
        }
        std::printf("%llu sequences:", static_cast<unsigned long long>(runs_));
        for (std::size_t i = 0; i < kNames.size(); ++i) {
            std::printf("%s %.1f %% %s", i == 0 ? "" : ",", 100.0 * reached_[i] / runs_, kNames[i]);
        }
        std::printf("\n");
    }

private:
    std::uint64_t runs_ = 0;
    std::array<std::uint64_t, kNames.size()> reached_{};
};
// Owned by GoogleTest once added.
Tally& tally = *static_cast<Tally*>(::testing::AddGlobalTestEnvironment(new Tally));

RC_GTEST_PROP(ControllerProperty, PromisesHoldOnEveryPath, ()) {
    // Up to 120 steps in every run; a failure shrinks by dropping steps.
    const auto sequence = *rc::gen::resize(120, rc::gen::container<std::vector<Step>>(steps()));
    World world;
    world.control->setFastTransfers(*rc::gen::arbitrary<bool>());
    bool connected = false;
    bool restarted = false;
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        const Step& step = sequence[i];
        const Event& event = kEvents[step.event];
        Requests allowed = requestsInProgress(*world.control);
        const SimpleSerial* link = world.control->link();
        const std::string heldBefore = link ? link->portPath() : "";
        const std::size_t unsentBefore = world.log.countStartingWith("Not sent to ");
        std::vector<std::size_t> before;
        for (const SimulatedDevice* device : world.devices()) {
            before.push_back(device->controller.requests().size());
        }
        // Done only if the window lets it happen now; it may send what it asks for.
        if (event.possible(world)) {
            const Requests asked = event.asks(world, step);
            allowed.insert(asked.begin(), asked.end());
            world.view.choosing = event.choice;
            event.perform(world, step);
            world.view.choosing = false;
        }
        const ControllerFaults& faults = world.target().controller.faults;
        world.view.repliesUnclear |= faults.garbage || faults.replyLengthDelta != 0;
        for (const std::string& promise :
             brokenPromises(world, allowed, before, heldBefore, unsentBefore)) {
            std::ostringstream where;
            showValue(step, where);
            RC_FAIL("broken after step " + std::to_string(i + 1) + " (" + where.str() +
                    "): " + promise);
        }
        connected = connected || world.control->isConnected();
        restarted = restarted || world.updateChecked;
    }
    tally.count({connected, restarted, world.control->fastTransfers(), world.secondSeen,
                 world.view.saves > 0, world.view.loads > 0});
    // Left alone, the controller comes to rest: every wait has a budget.
    world.loop.runUntilIdle();
    RC_ASSERT(world.loop.pendingTimers() == 0u);
}

}  // namespace
}  // namespace korvane::testing
