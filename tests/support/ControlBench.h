#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ListSpeedPopup.h"
#include "app/MainViewControl.h"
#include "tests/support/SimulatedBench.h"

namespace korvane::testing {

// The controller's alerts when the device leaves, and when it restarts after an update.
inline constexpr const char* kLost = "The device is disconnected";
inline constexpr const char* kRebootNotice =
    "The device is rebooting. Click Connect button to reconnect";

// What the window shows of its controller, one row a value: its name, the property that announces
// it (none: the window works it out from the others), and whether a reset clears it (the progress
// and what happened last stay by design).
struct ShownRow {
    const char* name;
    std::optional<Property> property;
    bool reset;
    std::string (*of)(const MainViewControl&);
};
template <typename T>
std::string text(T value) {
    return std::to_string(value);
}
inline std::string text(const std::string& value) {
    return '"' + value + '"';
}
// clang-format off
#define KORVANE_SHOWN(name, property, reset) {#name, property, reset, [](const MainViewControl& c) { return text(c.name()); }}
inline const ShownRow kShown[] = {
    KORVANE_SHOWN(isAuto, Property::isAuto, true),           KORVANE_SHOWN(config, Property::config, true),
    KORVANE_SHOWN(maxSpeed, Property::maxSpeed, true),       KORVANE_SHOWN(isKmh, Property::isKmh, true),
    KORVANE_SHOWN(canConnect, Property::canConnect, true),   KORVANE_SHOWN(isConnected, Property::isConnected, true),
    KORVANE_SHOWN(connectStatus, Property::connectStatus, true), KORVANE_SHOWN(connectDetail, Property::connectDetail, true),
    KORVANE_SHOWN(isEnabled, Property::isEnabled, true),     KORVANE_SHOWN(setStatus, Property::setStatus, true),
    KORVANE_SHOWN(isUpdatingFirmware, Property::isUpdatingFirmware, true), KORVANE_SHOWN(isUpdateRunning, Property::isUpdateRunning, true),
    KORVANE_SHOWN(firmwareStatus, Property::firmwareStatus, true), KORVANE_SHOWN(firmwareDetail, Property::firmwareDetail, true),
    KORVANE_SHOWN(maxFirmwareCount, Property::maxFirmwareCount, false), KORVANE_SHOWN(currFirmwareCount, Property::currFirmwareCount, false),
    KORVANE_SHOWN(canDisconnect, std::nullopt, true),        KORVANE_SHOWN(canChooseFile, std::nullopt, true),
    KORVANE_SHOWN(canEditSettings, std::nullopt, true),      KORVANE_SHOWN(isRestoring, std::nullopt, true),
    {"updateStage", std::nullopt, true, [](const MainViewControl& c) { return text(static_cast<int>(c.updateStage())); }},
};
#undef KORVANE_SHOWN
// clang-format on

// The state a reset clears, by name: it compares whole, and a difference prints by name.
using Shown = std::map<std::string, std::string>;
inline Shown shownState(const MainViewControl& control) {
    Shown shown;
    for (const ShownRow& row : kShown) {
        if (row.reset) {
            shown[row.name] = row.of(control);
        }
    }
    return shown;
}
// The same state with the statuses a loss or a failure leaves.
inline Shown saying(Shown state, const std::string& firmware, const std::string& settings = {}) {
    state["firmwareStatus"] = text(firmware);
    state["setStatus"] = text(settings);
    return state;
}

// A window that records what the controller asks of it: the value of each property as last
// announced, the progress as announced, alerts and panels waiting for the test to answer.
class RecordingView final : public MainView {
public:
    struct Alert {
        std::string message;
        std::vector<std::string> buttons;
        AlertCompletion completion;
    };
    void propertyChanged(Property property) override {
        for (const ShownRow& row : kShown) {
            if (control != nullptr && row.property == property) {
                seen[property] = row.of(*control);
            }
        }
        if (property == Property::currFirmwareCount && control != nullptr) {
            progress.push_back(control->currFirmwareCount());
        }
        if (onChange) {
            onChange(property);
        }
    }
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override {
        alerts.push_back({message, buttons, std::move(completion)});
        if (onAlert) {
            onAlert(message);
        }
    }
    void runOpenPanel(const std::string&, OpenPanelCompletion completion) override {
        panels.push_back(std::move(completion));
    }
    void stopApplication() override {}
    // Presses button `index` (0 the first) of the oldest open alert.
    void answer(int index = 0) {
        ASSERT_FALSE(alerts.empty()) << "no alert to answer";
        Alert alert = std::move(alerts.front());
        alerts.erase(alerts.begin());
        ++answered;
        alert.completion(kAlertFirstButtonReturn + index);
    }

    const MainViewControl* control = nullptr;
    std::map<Property, std::string> seen;
    std::vector<std::uint64_t> progress;
    std::vector<Alert> alerts;
    int answered = 0;
    std::vector<OpenPanelCompletion> panels;
    // Told of each announcement and alert, once recorded.
    std::function<void(Property)> onChange;
    std::function<void(const std::string&)> onAlert;
};

// The choose-file button, as the controller enables it.
struct FileButton final : Control {
    void setEnabled(bool value) override { enabled = value; }
    bool enabled = true;
};

// The window's controller on the bench, with a view that records, the speed list and the button.
struct ControlWorld : Bench {
    RecordingView view;
    ListSpeedPopup speeds;
    FileButton fileButton;
    std::shared_ptr<MainViewControl> control = MainViewControl::create(view);
    // The state of a window that has just opened.
    Shown fresh;

    ControlWorld() {
        view.control = control.get();
        control->setSpeedPopup(&speeds);
        control->viewDidLoad();
        fresh = shownState(*control);
    }
    // Connects and runs until the search has ended either way.
    void connect() {
        control->onConnect();
        loop.runUntil([&] { return control->isConnected() || control->canConnect(); });
    }
    // Runs until nothing is left to happen, answering each alert with its first button; the
    // alerts' texts, in order.
    std::vector<std::string> answerEveryAlert() {
        std::vector<std::string> seen;
        for (loop.runUntilIdle(); !view.alerts.empty(); loop.runUntilIdle()) {
            seen.push_back(view.alerts.front().message);
            view.answer(0);
        }
        return seen;
    }
};

class ControlBench : public ::testing::Test, public ControlWorld {};

}  // namespace korvane::testing
