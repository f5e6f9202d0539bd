#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/ControllerIdentity.h"
#include "app/ListSpeedPopup.h"
#include "app/MainView.h"
#include "app/MainViewControl.h"
#include "app/cli/JsonObject.h"
#include "platform/TimerGroup.h"

namespace korvane {

// What a signal leaves behind: a true statement of the controller's state and what to do, and,
// when the command's work was done by then (a complete update, a reset sent), the exit status it
// has done it with.
struct Interruption {
    std::string statement;
    std::optional<int> statusWhenDone{};
};

// The three settings a user changes, as `info --json` shows them.
struct ShownSettings {
    bool autoMode = false;
    // 1 to 3.
    int config = 1;
    int speedLimitMph = 0;
};
// What the controller held by `control` has as the link last read it.
ShownSettings shownSettings(const MainViewControl& control);

// The terminal as one controller's window. A command starts an action and then looks at the
// controller after every change, from the run loop, until it finishes.
class ConsoleSession final : public MainView {
public:
    // Writes to `out` and `err`. With a link that a search found already, connecting takes it
    // instead of searching.
    ConsoleSession(std::ostream& out, std::ostream& err,
                   std::unique_ptr<SimpleSerial> found = nullptr);
    ~ConsoleSession();
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    MainViewControl& control() { return *control_; }
    const MainViewControl& control() const { return *control_; }
    ListSpeedPopup& speeds() { return speeds_; }
    std::ostream& out() { return out_; }
    std::ostream& err() { return err_; }

    // Searches for the controller, or takes the one found already.
    void connect();

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
    // How a question of the command's own is put to the user (korvane-cli: on the terminal).
    // With nobody to ask, the answer is no.
    void setAsker(Confirmer asker) { asker_ = std::move(asker); }
    void ask(const std::string& question, std::function<void(bool)> answer);
    // The user has said yes already, for every controller at once: questions are not asked.
    bool confirmedBeforehand() const { return confirmedBeforehand_; }
    void setConfirmedBeforehand(bool confirmed) { confirmedBeforehand_ = confirmed; }

    // Several controllers write to the same terminal: every line stands on its own.
    bool sharesOutput() const { return sharesOutput_; }
    void setSharesOutput(bool shares) { sharesOutput_ = shares; }

    // What a signal ending the command now leaves the controller in. By default, whether the
    // search or a setting's write was under way.
    void setInterruption(std::function<Interruption()> interruption) {
        interruption_ = std::move(interruption);
    }
    Interruption interruption() const;
    // The default: whether the search or a setting's write was under way.
    Interruption searchOrWriteInterruption() const;

    // Members of the command's own that its outcome as JSON carries (verify's records).
    void setDetails(std::function<void(JsonObject&)> details) { details_ = std::move(details); }
    void addDetails(JsonObject& object) const {
        if (details_) {
            details_(object);
        }
    }

    // Where questions are asked: the output, unless set (stderr when stdout carries JSON).
    std::ostream& questions() { return questions_ != nullptr ? *questions_ : out_; }
    void setQuestions(std::ostream& questions) { questions_ = &questions; }

    // Runs `start` from the run loop, then `step` after every batch of changes, until finish().
    void begin(std::function<void()> start, std::function<void()> step);
    // Ends the command with an exit status; `onFinished` hears of it once.
    void finish(int status);
    void setOnFinished(std::function<void(int status)> onFinished) {
        onFinished_ = std::move(onFinished);
    }
    bool finished() const { return status_.has_value(); }
    int status() const { return status_.value_or(-1); }

    // The alerts shown since the last call, oldest first.
    std::vector<std::string> takeAlerts();

    // The controller the command found, as it was then; none before (or without) one.
    const std::optional<ControllerIdentity>& found() const { return found_; }
    const std::string& foundPath() const { return foundPath_; }
    // Its settings then.
    const ShownSettings& foundSettings() const { return foundSettings_; }
    // The controller as it came back after a restart the command waited for; none before (or
    // without) one.
    const std::optional<ControllerIdentity>& back() const { return back_; }
    void setBack(ControllerIdentity identity) { back_ = std::move(identity); }
    // From begin() to finish(), or to now while it runs.
    Duration took() const {
        return (finished() ? finishedAt_ : RunLoop::current().now()) - startedAt_;
    }

private:
    void scheduleStep();

    std::ostream& out_;
    std::ostream& err_;
    std::unique_ptr<SimpleSerial> given_;
    ListSpeedPopup speeds_;
    std::shared_ptr<MainViewControl> control_;
    std::function<void()> step_;
    bool stepScheduled_ = false;
    std::optional<int> status_;
    std::function<void(int)> onFinished_;
    std::vector<std::string> alerts_;
    Confirmer confirmer_;
    Confirmer asker_;
    bool confirmedBeforehand_ = false;
    bool sharesOutput_ = false;
    std::function<Interruption()> interruption_;
    std::function<void(JsonObject&)> details_;
    std::ostream* questions_ = nullptr;
    std::optional<ControllerIdentity> found_;
    std::string foundPath_;
    ShownSettings foundSettings_;
    std::optional<ControllerIdentity> back_;
    Duration startedAt_{0};
    Duration finishedAt_{0};
    TimerGroup timers_;
};

}  // namespace korvane
