#pragma once

#include <memory>
#include <string>

#include "app/ListSpeedPopup.h"
#include "app/MainViewControl.h"
#include "tests/support/RecordingView.h"
#include "tests/support/SimulatedBench.h"

namespace korvane::testing {

// The window's controller on the bench, with a view that records and the speed list.
class ControlBench : public SimulatedBench {
protected:
    ControlBench() {
        view.control = control.get();
        control->setSpeedPopup(&speeds);
        control->viewDidLoad();
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

    RecordingView view;
    ListSpeedPopup speeds;
    std::shared_ptr<MainViewControl> control = MainViewControl::create(view);
};

}  // namespace korvane::testing
