#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ListSpeedPopup.h"
#include "app/MainView.h"
#include "app/MainViewControl.h"
#include "platform/TimerGroup.h"

namespace korvane {

// The terminal as the controller's window. A command starts an action and then looks at the
// controller after every change, from the run loop, until it finishes.
class ConsoleSession final : public MainView {
public:
    ConsoleSession();
    ~ConsoleSession();
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    MainViewControl& control() { return *control_; }
    ListSpeedPopup& speeds() { return speeds_; }

    void propertyChanged(Property property) override;
    // Questions go to the confirmer; notices are noted, and the command decides what they mean.
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override;
    // The command line names its files itself.
    void runOpenPanel(const std::string& fileType, OpenPanelCompletion completion) override;
    void stopApplication() override;

    // Answers a question with yes or no, later.
    using Confirmer = std::function<void(const std::string& question, std::function<void(bool)>)>;
    void setConfirmer(Confirmer confirmer) { confirmer_ = std::move(confirmer); }

    // What to say when a signal ends the command: the state it leaves the controller in. By
    // default, whether a setting was being written.
    void setInterruptStatement(std::function<std::string()> statement) {
        interruptStatement_ = std::move(statement);
    }

    // Runs `start`, then `step` after every batch of changes, until finish() is called or a
    // signal ends it (with 128 + its number); returns the status.
    int run(std::function<void()> start, std::function<void()> step);
    void finish(int status);
    bool finished() const { return finished_; }

    // The alerts shown since the last call, oldest first.
    std::vector<std::string> takeAlerts();

private:
    void scheduleStep();

    ListSpeedPopup speeds_;
    std::shared_ptr<MainViewControl> control_;
    std::function<void()> step_;
    bool stepScheduled_ = false;
    bool finished_ = false;
    std::vector<std::string> alerts_;
    Confirmer confirmer_;
    std::function<std::string()> interruptStatement_;
    TimerGroup timers_;
};

}  // namespace korvane
