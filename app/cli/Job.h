#pragma once

#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "app/Outcomes.h"

namespace korvane {

class Console;
class Member;

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
// The exit status of a run whose controllers ended so, mapped here alone: a failure says most,
// then a controller not seen back after its restart, then success. A signal that came before
// the work was done: 128 + its number.
int exitStatus(const std::vector<Result>& results, std::optional<int> signal = std::nullopt);

// What a signal now leaves: a true statement of the controller's state and what to do, and
// whether the work was done by then (a complete update, a reset sent).
struct Interruption {
    std::string statement;
    bool done = false;
};

// One controller's part of a command, from the moment it is held and nothing is being written.
class Job {
public:
    virtual ~Job() = default;
    virtual void start(Member& member) = 0;
    // After every batch of changes of the controller, until the member is done.
    virtual void step(Member&) {}
    // The controller showed a notice; false: it ends the work as a failure, with its text.
    virtual bool notice(Member&, Notice) { return false; }
    // The update question: answered later.
    virtual void question(Member&, const std::string&, std::function<void(bool)> answer) {
        answer(false);
    }
    virtual Interruption interruption(Member& member);
    // The outcome's JSON: whether it describes the controller's settings (a new firmware leaves
    // them behind), and members of the command's own.
    virtual bool describesSettings() const { return true; }
    virtual void describe(nlohmann::json&, const Member&) const {}
};

// What the command line asked for, its files read and checked.
struct Command {
    // The work on each controller; none for a command that needs no controller.
    std::function<std::unique_ptr<Job>()> job;
    // A command without a controller: writes its answer and gives the exit status.
    std::function<int(Console&, bool json)> alone;
    // flash without --yes: the update question, asked once after the search, names the file
    // and its software version.
    bool asks = false;
    std::string firmwarePath;
    std::optional<unsigned> fileSoftware;
    // Said first on each controller (the records a flash will not write).
    std::string opening;
    // The history: the file read or written and the SHA-256 of what was read; the settings
    // before and after.
    std::string file;
    std::string fileSha256;
    bool changesSettings = false;
};

}  // namespace korvane
