#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/ListSpeedPopup.h"
#include "app/MainViewControl.h"
#include "app/cli/CommandLine.h"
#include "platform/TimerGroup.h"

namespace korvane {

class Console;
class Job;
class Run;

// How a command ended on one controller.
enum class Result { ok, failed, notBack, interrupted };
struct Outcome {
    Result result = Result::ok;
    // What went wrong, in one line; what an interruption left.
    std::string reason;
    // No controller answered: why each port did not, by path.
    std::optional<std::vector<std::string>> unanswered;
};

// Wrong usage, or a file that cannot be used.
inline constexpr int kUnusable = 2;

// What a terminal user is told after a restart, instead of the window's "Click Connect button".
inline constexpr const char* kRestarted =
    "The device is rebooting.\nRun korvane-cli info again once it is back.";

// What a signal now leaves: a true statement of the controller's state and what to do, and
// whether the work was done by then (a complete update, a reset sent).
struct Interruption {
    std::string statement;
    bool done = false;
};

// What the command line asked for, its files read and checked.
struct Command {
    // The work on each controller; none for a command that needs no controller.
    std::function<std::unique_ptr<Job>(Run&, const std::string& path)> job;
    // A command without a controller: writes its answer and gives the exit status.
    std::function<int(Console&, bool json)> alone;
    // flash without --yes: the update question, asked once after the search, names the file
    // and its software version.
    bool asks = false;
    std::optional<unsigned> fileSoftware;
    // The history: the file read or written and the SHA-256 of what was read; the settings
    // before and after.
    std::string file;
    std::string fileSha256;
    bool changesSettings = false;
    // Under --json, a success on one controller is the controller alone, as info shows it.
    bool answersWithController = false;
};

// A command whose work on each controller is a `Work` made with `arguments`.
template <typename Work, typename... Arguments>
Command commandOf(Arguments... arguments) {
    Command command;
    command.job = [arguments...](Run& run, const std::string& path) {
        return std::make_unique<Work>(run, path, arguments...);
    };
    return command;
}

// What each command does, its files read and checked before any port is touched. Each throws
// InputError for a file that cannot be used.
Command portsCommand(const Invocation& invocation);
Command infoCommand(const Invocation& invocation);
Command setCommand(const Invocation& invocation);
Command resetCommand(const Invocation& invocation);
Command flashCommand(const Invocation& invocation);
Command verifyCommand(const Invocation& invocation);
Command checkCommand(const Invocation& invocation);
Command saveCommand(const Invocation& invocation);
Command loadCommand(const Invocation& invocation);

// A firmware file checked whole; throws InputError when it is not fit.
CheckedFirmwareFile fitFirmwareFile(const std::string& path);
// The SHA-256 of `bytes`, as 64 lowercase hex digits.
std::string sha256Hex(ByteView bytes);
// One line of JSON; bytes that are not UTF-8 are replaced rather than refused.
std::string jsonLine(const nlohmann::json& object);
// The controller held, as `info --json` shows it.
nlohmann::json controllerJson(const MainViewControl& control);

// One controller of a run: the controller logic with the command line as its window, and the
// command's work on it. The work starts once the controller is held and idle, then looks at it
// after every batch of changes, from the run loop, until it finishes with an outcome.
class Job : public MainView {
public:
    Job(Run& run, std::string path);
    virtual ~Job();
    Job(const Job&) = delete;
    Job& operator=(const Job&) = delete;

    // The controller as the search found it.
    void identify(const SimpleSerial& link);
    // Takes the link a search found: the work starts once nothing is being written.
    void connect(std::unique_ptr<SimpleSerial> link);
    // Ends the work on this controller, once.
    void finish(Result result, std::string reason = {},
                std::optional<std::vector<std::string>> unanswered = std::nullopt);
    // Says `reason` (after `preface`, when given) and ends the work as a failure.
    void fail(const std::string& reason, const std::string& preface = {},
              Result result = Result::failed);
    // A signal: says what it leaves, and ends the work.
    void interrupted();

    MainViewControl& control() { return *control_; }
    const MainViewControl& control() const { return *control_; }
    const std::string& path() const { return path_; }
    std::ostream& err() { return *err_; }
    bool finished() const { return outcome_.has_value(); }
    const std::optional<Outcome>& outcome() const { return outcome_; }
    // "The controller on /dev/ttyACM0 (software 07)"
    std::string described() const;
    // The outcome: the controller (as `info --json` shows it, when one was found and its
    // settings still stand, otherwise who it was), what the command adds of its own, the result
    // (ok, failed, notBack or interrupted, with the reason; with no controller why each port did
    // not answer), and the time it took.
    nlohmann::json json() const;
    // "Summary: /dev/ttyACM0, device BEEF, software 07, file's software 08, ok, 43.95 s"
    std::string summary() const;

    // The controller as the search found it, and as it came back after a restart, if it did.
    DeviceIdentity found;
    Settings foundSettings;
    std::optional<DeviceIdentity> back;

protected:
    virtual void start() = 0;
    // After every batch of changes of the controller, until the work is done.
    virtual void step() {}
    // The controller showed a notice; false: it ends the work as a failure, with its text.
    virtual bool notice(Notice) { return false; }
    // The update question: answered later.
    virtual void question(const std::string&, std::function<void(bool)> answer) { answer(false); }
    // The outcome's JSON: whether it describes the controller's settings (a new firmware leaves
    // them behind), and members of the command's own.
    virtual bool describesSettings() const { return true; }
    virtual void describe(nlohmann::json&) const {}
    // What a signal now leaves.
    virtual Interruption interruption();

    // Says `done` on the output and ends the work as a success.
    void succeed(const std::string& done);
    Run& run() { return run_; }
    std::ostream& out() { return *out_; }
    // Where what leads to a question goes: the output, unless it carries JSON.
    std::ostream& questions();
    // Where an update or a check stands, each time it moves: under --json an event; with `verb`
    // ("Programmed"), its records on the output too, as a bar on a terminal this controller has
    // to itself, otherwise a line every tenth ("Programmed 96 of 159 records (60%)"); with the
    // time since the first record and the time left once there is a rate to go by, and the time
    // it took on the last.
    void progress(std::string_view stage, std::uint64_t done, std::uint64_t total,
                  const char* verb = nullptr);
    // Ends the bar's line, before anything else is said.
    void endBar();
    ListSpeedPopup speeds_;

private:
    void propertyChanged(Property property) override;
    void showAlert(const std::string& message, const std::vector<std::string>& buttons,
                   AlertCompletion completion) override;
    // The command line names its files itself.
    void runOpenPanel(const std::string&, OpenPanelCompletion) override {}
    void stopApplication() override {}
    void scheduleStep();
    void advance();
    // From the start of its work to its end, or to now while it runs.
    Duration took() const;

    Run& run_;
    std::string path_;
    std::unique_ptr<std::ostream> out_;
    std::unique_ptr<std::ostream> err_;
    std::shared_ptr<MainViewControl> control_;
    std::optional<Outcome> outcome_;
    std::deque<std::pair<Notice, std::string>> notices_;
    bool started_ = false;
    bool stepScheduled_ = false;
    Duration startedAt_;
    Duration finishedAt_{0};
    std::string lastStage_;
    std::uint64_t lastDone_ = 0;
    std::optional<Duration> firstRecordAt_;
    int lastPercent_ = -1;
    int lastTenth_ = -1;
    bool timed_ = false;
    bool barDrawn_ = false;
    TimerGroup timers_;
};

}  // namespace korvane
