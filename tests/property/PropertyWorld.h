#pragma once

// What one sequence of the controller's property test runs against: virtual time, two
// controllers and a port that is not one, the window as far as the controller reaches it, and
// the files the user picks. Made anew for each sequence.

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "app/ListSpeedPopup.h"
#include "app/MainViewControl.h"
#include "app/SettingsFile.h"
#include "platform/VirtualRunLoop.h"
#include "sim/SimulatedPortManager.h"
#include "tests/support/HexImage.h"
#include "tests/support/LogCapture.h"
#include "tests/support/RecordingView.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {

inline constexpr const char* kFirstController = "/dev/ttySIM0";
inline constexpr const char* kNotAController = "/dev/ttySIM1";
inline constexpr const char* kSecondController = "/dev/ttySIM2";

// The settings as the window puts them back: the automatic mode, the configMode the device
// stores for the choice, the speed limit in mph.
struct HeldSettings {
    int autoMode = 0;
    int configMode = 0;
    int speedMph = 0;
};
inline HeldSettings heldSettings(const SimulatedController& device) {
    const ByteView record = device.settingsRecord();
    return {record[5], record[1], record[4]};
}
inline std::string recordHex(const SimulatedController& device) {
    std::string hex;
    for (const std::uint8_t byte : device.settingsRecord()) {
        hex += stringPrintf("%02X", unsigned{byte});
    }
    return hex;
}

// What the controller last reported of its settings: its last whole reply to a settings read.
inline std::optional<Bytes> lastReported(const SimulatedController& device) {
    const auto& replies = device.settingsReplies();
    const auto found = std::find_if(replies.rbegin(), replies.rend(),
                                    [](const Bytes& reply) { return reply.size() == 22; });
    return found == replies.rend() ? std::nullopt : std::optional(*found);
}

// The texts the controller shows, by where it shows them: anything else is a wrong text.
inline bool knownText(Property where, const std::string& text) {
    static const std::vector<std::pair<Property, std::regex>> known = [] {
        const std::string name = "(Auto|Config|Speed Limit)";
        const std::string path = ".+";
        return std::vector<std::pair<Property, std::regex>>{
            {Property::connectStatus,
             std::regex("|Please connect the USB device|Connected\\. "
                        "Bootloader: [0-9A-F]{4}, Device ID: [0-9A-F]{4}, Soft: [0-9]{2}")},
            {Property::setStatus,
             std::regex("|Updating " + name + " \\.\\.\\. please wait \\.\\.\\.|" + name +
                        " is updated|Could not set " + name +
                        "|Reading the settings \\.\\.\\. please wait \\.\\.\\.|Settings saved to " +
                        path + "|Could not (save the settings to|load the settings from) " + path +
                        ": .+|" + name + " was being written: the controller may not hold it" +
                        "|Invalid settings file: " + path +
                        ": .+|Settings loaded|Settings not all loaded(:\n[\\s\\S]+)?")},
            {Property::firmwareStatus,
             std::regex("|Invalid firmware file|Firmware update not started: .+|Updating "
                        "firmware\\. Please wait\\.\\.\\.|Could not update firmware|Firmware "
                        "update interrupted .+")},
        };
    }();
    for (const auto& [property, pattern] : known) {
        if (property == where) {
            return std::regex_match(text, pattern);
        }
    }
    return true;
}

// The window, as far as the controller reaches it, noting what the promises need.
class PropertyView final : public RecordingView {
public:
    explicit PropertyView(const VirtualRunLoop& loop) : loop_(loop) {}

    void propertyChanged(Property property) override;
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override {
        static const std::regex known(
            "The device is disconnected|Failed to send Erase command|The device is rebooting\\. "
            "Click Connect button to reconnect|Update firmware from file Software version: "
            "[0-9]{2,3}\\?|.+ holds the settings of device [0-9A-F]{4}, not of this controller "
            "\\([0-9A-F]{4}\\)(, and .+)?\\. Load them anyway\\?|.+ holds a speed limit of "
            "[0-9]+ mph, which the speed list cannot show \\(1 to 30\\)\\. Load them anyway\\?");
        if (!std::regex_match(message, known)) {
            broken.push_back("an alert the window does not show: \"" + message + "\"");
        }
        RecordingView::showAlert(message, buttons, std::move(completion));
    }

    std::optional<Duration> writeSince;
    Duration longestWrite{0};
    std::optional<Duration> updateSince;
    int writesStarted = 0;
    int writesEnded = 0;
    int connectsEnded = 0;
    // Broken promises seen as they were reported, since the last check.
    std::vector<std::string> broken;
    // The device the window holds a link with, or none.
    std::function<const SimulatedController*()> heldDevice;
    // Another tool changed the device's record since the last write began, or since the connect
    // began: its read may have come before the change.
    bool recordTouched = false;
    bool touchedSinceConnect = false;
    // What the last settings file given holds, as it would be put back.
    std::optional<HeldSettings> loadAsked;
    int saves = 0;
    int loads = 0;
    // The step under way chooses a setting.
    bool choosing = false;
    // Replies of another length, or garbage, since the connect: what the link takes of them
    // depends on how their bytes come.
    bool repliesUnclear = false;

private:
    void checkSetStatus(const std::string& status);

    const VirtualRunLoop& loop_;
};

inline void PropertyView::propertyChanged(Property property) {
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
        checkSetStatus(control->setStatus());
    } else if (property == Property::connectStatus) {
        connectsEnded += !control->connectStatus().empty();
    }
    for (const Property text :
         {Property::connectStatus, Property::setStatus, Property::firmwareStatus}) {
        if (property == text) {
            const std::string& shown = text == Property::connectStatus ? control->connectStatus()
                                       : text == Property::setStatus   ? control->setStatus()
                                                                       : control->firmwareStatus();
            if (!knownText(text, shown)) {
                broken.push_back("a text the window does not show: \"" + shown + "\"");
            }
        }
    }
}

// Checked as each is reported: a write chained to it may start at once.
inline void PropertyView::checkSetStatus(const std::string& status) {
    const SimulatedController* device = heldDevice();
    if (status.starts_with("Updating ")) {
        ++writesStarted;
        recordTouched = false;
        // Besides a choice and a restore, only the refresh writes: the first configuration over
        // one the window does not offer.
        const std::optional<Bytes> reported = device ? lastReported(*device) : std::nullopt;
        const bool rewrite =
            status.starts_with("Updating Config") &&
            (repliesUnclear || !reported ||
             ((*reported)[11] != 1 && (*reported)[11] != 2 && (*reported)[11] != 4));
        if (!choosing && !control->isRestoring() && !rewrite) {
            broken.push_back("no write without a choice: " + status);
        }
    }
    writesEnded += status.ends_with(" is updated") || status.starts_with("Could not set ");
    const SimpleSerial* link = control->link();
    if (status.ends_with(" is updated") && !recordTouched && device != nullptr) {
        const std::string name = status.substr(0, status.find(" is updated"));
        const std::size_t field = name == "Auto" ? 5 : name == "Config" ? 1 : 4;
        if (!link ||
            device->settingsRecord()[field] != link->settings.bytes()[kFrameLength + field]) {
            broken.push_back(name + " is updated only when the device holds it");
        }
    }
    if (status == "Settings loaded" && !touchedSinceConnect && device && loadAsked) {
        const HeldSettings held = heldSettings(*device);
        if (held.autoMode != loadAsked->autoMode || held.configMode != loadAsked->configMode ||
            held.speedMph != loadAsked->speedMph) {
            broken.push_back("\"Settings loaded\" only when the device holds the file's settings");
        }
    }
    if (status.starts_with("Settings saved to ")) {
        ++saves;
        const SettingsFileReading saved = readSettingsFile(status.substr(18));
        if (!saved.settings) {
            broken.push_back("a saved file reads back: " + saved.problem);
        } else if (!touchedSinceConnect && device &&
                   (saved.settings->record != recordHex(*device) ||
                    saved.settings->deviceId !=
                        stringPrintf("%02X%02X", device->deviceId[0], device->deviceId[1]))) {
            broken.push_back("a saved file holds what the device holds: " + saved.settings->record +
                             " against " + recordHex(*device));
        }
    }
    loads += status.starts_with("Settings loaded") || status.starts_with("Settings not all");
}

// The choose-file button, as the controller enables it.
struct FileButton final : Control {
    void setEnabled(bool value) override { enabled = value; }
    bool enabled = true;
};

// A folder of its own for the files of one test program.
inline const TemporaryFolder& propertyFiles() {
    static const TemporaryFolder made;
    return made;
}

// Everything one sequence runs against.
struct World {
    VirtualRunLoop loop;
    SimulatedPortManager ports;
    LogCapture log;
    RunLoop::Scope loopScope{loop};
    ORSSerialPortManager::Scope portsScope{ports};
    PropertyView view{loop};
    ListSpeedPopup speeds;
    FileButton button;
    std::shared_ptr<MainViewControl> control = MainViewControl::create(view);
    int connects = 0;
    // The image of the file the panel answered last, and of the update confirmed.
    std::optional<HexImage> offered;
    std::optional<HexImage> confirmed;
    bool updateChecked = false;
    bool secondSeen = false;
    // What the window shows under the loss's alert, and the alerts answered by then: nothing
    // changes until OK.
    std::optional<std::pair<std::string, int>> atLoss;

    World() {
        // A file saved by an earlier sequence holds another device's state.
        std::filesystem::remove(propertyFiles().path("saved.json"));
        ports.addDevice(kFirstController, "ttySIM0");
        // A port that is not the controller: every search has a loser to close.
        ports.addDevice(kNotAController, "ttySIM1").controller.faults.silent = true;
        // Another controller, plugged in by a step.
        ports.addDevice(kSecondController, "ttySIM2").controller.deviceId = {0xCA, 0xFE};
        ports.device(kSecondController)->setPresent(false);
        view.control = control.get();
        view.heldDevice = [this]() -> const SimulatedController* {
            return held();
        };
        control->setSpeedPopup(&speeds);
        control->viewDidLoad();
    }

    SimulatedDevice& port(const char* path) { return *ports.device(path); }
    // The controller the window holds, or none.
    SimulatedController* held() {
        const SimpleSerial* link = control->link();
        return link ? &ports.device(link->portPath())->controller : nullptr;
    }
    // Where a device event strikes: the controller held, or else the first.
    SimulatedDevice& target() {
        const SimpleSerial* link = control->link();
        return *ports.device(link ? link->portPath() : kFirstController);
    }
    std::vector<SimulatedDevice*> devices() {
        return {&port(kFirstController), &port(kNotAController), &port(kSecondController)};
    }
    // Alerts are sheets on the window: while one is up, only its buttons take a click.
    bool free() const { return view.alerts.empty(); }
};

}  // namespace korvane::testing
