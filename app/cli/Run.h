#pragma once

#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/Console.h"
#include "app/cli/Job.h"
#include "serial/DeviceSearch.h"
#include "util/AppendOnlyFile.h"

namespace korvane {

// One run of a command on the controllers: the search (the first that answers, or with --all
// every one), the update question once for all, a job for each controller, and the end: the
// outcomes written plain, each line prefixed with its port (--all), or as JSON Lines; a line for
// each in the history; one exit status. One controller is a run of one.
class Run {
public:
    // `history`, when kept, gets a line per controller (or for the run, when it reached none):
    // what --json says of it, the run's facts and the time. Each line is on the disk before the
    // next controller's result is reported.
    Run(Invocation invocation, Command command, Console& console,
        std::unique_ptr<AppendOnlyFile> history);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

    void start(Console::Finish finish);
    // A signal: what each controller is left with is said; the exit status.
    int interrupted(int signal);

    Console& console() { return console_; }
    const Invocation& invocation() const { return invocation_; }
    const Command& command() const { return command_; }
    // A controller's output or error lines: each starting with its port under --all; its output
    // under --json goes nowhere.
    std::unique_ptr<std::ostream> output(const std::string& path, bool errors);
    // Where questions and what leads to them go: not among the JSON on stdout.
    std::ostream& questions();
    // "… will be erased and programmed with firmware.hex (software 08)."
    std::string preamble(const std::string& controllers) const;
    // The update question was answered already, for every controller at once.
    bool confirmed() const { return confirmed_; }
    // A job is done; the run ends with the last.
    void finished(Job& job);

private:
    enum class Stage { searching, asking, working, ended };

    void found(std::vector<std::unique_ptr<SimpleSerial>> links);
    void ask(std::vector<std::unique_ptr<SimpleSerial>> links);
    void begin(std::vector<std::unique_ptr<SimpleSerial>> links);
    // "/dev/ttyS0: silent", by path.
    std::vector<std::string> unanswered() const;
    // --all, before anything was written: the reason on stderr (with why each other port did not
    // answer), and as one object under --json and in the history.
    void endUnwritten(Result result, const std::string& reason, std::vector<std::string> answered,
                      bool sayWhy);
    void keep(nlohmann::json object);
    // The outcomes and the exit status.
    int end(std::optional<int> signal);

    Invocation invocation_;
    Command command_;
    Console& console_;
    std::unique_ptr<AppendOnlyFile> history_;
    nlohmann::json facts_;
    Console::Finish finish_;
    Stage stage_ = Stage::searching;
    bool confirmed_ = false;
    std::vector<PortProbe> failedProbes_;
    std::vector<std::unique_ptr<Job>> jobs_;
    // Goes with the run: a search that a signal cut short stops.
    std::unique_ptr<DeviceSearch> search_;
};

}  // namespace korvane
