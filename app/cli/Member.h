#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "app/ListSpeedPopup.h"
#include "app/MainView.h"
#include "app/MainViewControl.h"
#include "app/cli/Job.h"
#include "platform/TimerGroup.h"

namespace korvane {

class Run;

// One controller of a run: the controller logic with the command line as its window. The
// command's job starts once the controller is held and idle, then looks at it after every batch
// of changes, from the run loop, until it finishes with an outcome.
class Member final : public MainView {
public:
    Member(Run& run, std::string path, std::unique_ptr<Job> job);
    ~Member();
    Member(const Member&) = delete;
    Member& operator=(const Member&) = delete;

    // Takes the link a search found: the job starts once nothing is being written.
    void connect(std::unique_ptr<SimpleSerial> link);
    // Ends the work on this controller, once.
    void finish(Outcome outcome);
    void finish(Result result, std::string reason = {}) {
        finish(Outcome{result, std::move(reason), std::nullopt});
    }
    // Says `reason` (after `preface`, when given) and ends the work as a failure.
    void fail(const std::string& reason, const std::string& preface = {},
              Result result = Result::failed);
    // Says `done` on the output and ends the work as a success.
    void succeed(const std::string& done);
    // What a signal now leaves.
    Interruption interruption();

    MainViewControl& control() { return *control_; }
    const MainViewControl& control() const { return *control_; }
    ListSpeedPopup& speeds() { return speeds_; }
    Run& run() { return run_; }
    const Run& run() const { return run_; }
    std::ostream& out() { return *out_; }
    std::ostream& err() { return *err_; }
    // Where what leads to a question goes: the output, unless it carries JSON.
    std::ostream& questions();
    // A bar may redraw its line: a terminal this controller has to itself.
    bool barFits() const;
    const Job& job() const { return *job_; }
    const std::string& path() const { return path_; }
    bool finished() const { return outcome_.has_value(); }
    const std::optional<Outcome>& outcome() const { return outcome_; }
    // From the start of its work to its end, or to now while it runs.
    Duration took() const;

    // The controller as the search found it, and as it came back after a restart, if it did.
    DeviceIdentity found;
    Settings foundSettings;
    std::optional<DeviceIdentity> back;

    // Where an update or a check stands: a progress event under --json, each time it moves.
    void progress(std::string_view stage, std::uint64_t done, std::uint64_t total,
                  std::optional<Duration> left = std::nullopt);
    // The controller as the search found it.
    void identify(const SimpleSerial& link);

    void propertyChanged(Property property) override;
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override;
    // The command line names its files itself.
    void runOpenPanel(const std::string&, OpenPanelCompletion) override {}
    void stopApplication() override {}

private:
    void scheduleStep();
    void step();

    Run& run_;
    std::string path_;
    std::unique_ptr<std::ostream> ownOut_;
    std::unique_ptr<std::ostream> ownErr_;
    std::ostream* out_;
    std::ostream* err_;
    ListSpeedPopup speeds_;
    std::unique_ptr<Job> job_;
    std::shared_ptr<MainViewControl> control_;
    std::optional<Outcome> outcome_;
    std::deque<std::pair<Notice, std::string>> notices_;
    bool started_ = false;
    bool stepScheduled_ = false;
    Duration startedAt_;
    Duration finishedAt_{0};
    std::string lastStage_;
    std::uint64_t lastDone_ = 0;
    TimerGroup timers_;
};

}  // namespace korvane
