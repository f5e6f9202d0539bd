#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/MainViewControl.h"

namespace korvane::testing {

// A window that records what the controller asks of it; alerts wait for the test to answer.
class RecordingView : public MainView {
public:
    struct Alert {
        std::string message;
        std::vector<std::string> buttons;
        AlertCompletion completion;
    };

    virtual ~RecordingView() = default;

    void propertyChanged(Property property) override {
        announced.push_back(property);
        if (property == Property::currFirmwareCount && control != nullptr) {
            progress.push_back(control->currFirmwareCount());
        }
    }
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override {
        alerts.push_back({message, buttons, std::move(completion)});
    }
    void runOpenPanel(const std::string& fileType, OpenPanelCompletion completion) override {
        panels.push_back({fileType, std::move(completion)});
    }
    void stopApplication() override { ++stops; }

    // Presses button `index` (0 the first) of the oldest open alert; with none open, the test
    // fails rather than the whole program.
    void answer(int index = 0) {
        if (alerts.empty()) {
            ADD_FAILURE() << "no alert to answer";
            return;
        }
        Alert alert = std::move(alerts.front());
        alerts.erase(alerts.begin());
        ++answered;
        alert.completion(kAlertFirstButtonReturn + index);
    }
    std::optional<std::string> openAlert() const {
        return alerts.empty() ? std::nullopt : std::optional(alerts.front().message);
    }

    std::vector<Property> announced;
    // With the controller given, every value of the progress as the window would see it.
    const MainViewControl* control = nullptr;
    std::vector<std::uint64_t> progress;
    std::vector<Alert> alerts;
    int answered = 0;
    struct Panel {
        std::string fileType;
        OpenPanelCompletion completion;
    };
    std::vector<Panel> panels;
    int stops = 0;
};

}  // namespace korvane::testing
