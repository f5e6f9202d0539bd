#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ListSpeedPopup.h"
#include "app/MainViewControl.h"
#include "tests/support/ControlState.h"
#include "tests/support/RecordingView.h"
#include "tests/support/SimulatedBench.h"

namespace korvane::testing {

// The controller's alerts when the device leaves, and when it restarts after an update.
inline constexpr const char* kLost = "The device is disconnected";
inline constexpr const char* kRebootNotice =
    "The device is rebooting. Click Connect button to reconnect";

// The choose-file button, as the controller enables it.
struct FileButton final : Control {
    void setEnabled(bool value) override { enabled = value; }
    bool enabled = true;
};

// The window's controller on the bench, with a view that records and the speed list.
class ControlBench : public SimulatedBench {
protected:
    ControlBench() {
        view.control = control.get();
        control->setSpeedPopup(&speeds);
        control->viewDidLoad();
        fresh = stateOf(*control);
    }

    // Connects and runs until the search has ended either way.
    void connect() {
        control->onConnect();
        loop.runUntil([&] { return control->isConnected() || control->canConnect(); });
    }
    // Runs until the settings write in progress has ended.
    void settle() {
        loop.runUntil([&] { return control->isEnabled(); });
    }
    // Chooses `title` in the speed list, as the user does.
    void chooseSpeed(const std::string& title) {
        speeds.selectItemWithTitle(title);
        control->onSpeed(speeds);
    }

    // Presses the choose-file button and answers its panel with `path` (none: dismissed).
    void chooseFile(std::optional<std::string> path) {
        control->onChooseFile(fileButton);
        ASSERT_EQ(view.panels.size(), 1u);
        const OpenPanelCompletion completion = std::move(view.panels.front().completion);
        view.panels.clear();
        completion(std::move(path));
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

    RecordingView view;
    ListSpeedPopup speeds;
    FileButton fileButton;
    std::shared_ptr<MainViewControl> control = MainViewControl::create(view);
    // The state of a window that has just opened.
    ControlState fresh;
};

}  // namespace korvane::testing
