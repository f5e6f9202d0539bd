#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "app/cli/Commands.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/Outcome.h"
#include "app/cli/PrefixedOutput.h"
#include "app/cli/Verbs.h"
#include "platform/RunLoop.h"

namespace korvane {

class History;

struct FleetOptions {
    // Fewer controllers answering than this: nothing is written to any of them.
    std::size_t expect = 0;
    // A summary line per controller as JSON Lines instead of text.
    bool json = false;
    bool fast = false;
    // Where each controller's outcome is kept as a line, if anywhere.
    History* history = nullptr;
};

// Every attached controller at once: a search keeps each that answers, and the command runs on
// each in a session of its own, on the one run loop. Each line a controller's session writes
// starts with its port; one summary line per controller follows at the end. One controller's
// failure never stops the others.
class Fleet {
public:
    using Confirmer = ConsoleSession::Confirmer;

    Fleet(CommandAction action, FleetOptions options, std::ostream& out, std::ostream& err);
    ~Fleet();
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    // Asks the command's question once, after the search and before anything is written.
    void setConfirmer(Confirmer confirmer) { confirmer_ = std::move(confirmer); }

    // Searches, then runs the command on every controller found; `done` gets the exit status.
    void start(std::function<void(int status)> done);

    // What an interruption now leaves in the controllers still busy, a line for each; the work
    // is done when it is done on every one of them.
    Interruption interruption() const;
    // After a signal: the outcome of every controller, those still busy as interrupted.
    void interrupted();

private:
    struct Member {
        std::string path;
        std::unique_ptr<PrefixedOutput> out;
        std::unique_ptr<PrefixedOutput> err;
        // Last, so that it goes before the outputs it writes to.
        std::unique_ptr<ConsoleSession> session;
    };

    void found(std::vector<std::unique_ptr<SimpleSerial>> links);
    void runOn(std::vector<std::unique_ptr<SimpleSerial>> links, bool confirmed);
    void memberFinished();
    // Keeps a line in the history, if one is kept; a line that cannot be written is said.
    void record(const Member& member, const Outcome& outcome);
    void recordRun(const JsonObject& object);
    // `interrupted`: what a controller still busy is left with.
    void summarize(const Member& member, const Interruption& interrupted = {});
    // Ends before anything was written: the reason (and, when `sayWhyNot`, why each other port
    // did not answer), on stderr and with --json as one object.
    void endUnwritten(const std::string& reason,
                      const std::vector<std::unique_ptr<SimpleSerial>>& answered, bool sayWhyNot);
    void end(int status);

    CommandAction action_;
    FleetOptions options_;
    std::ostream& out_;
    std::ostream& err_;
    Confirmer confirmer_;
    std::function<void(int)> done_;
    // The question is up: nothing has been written yet.
    bool asking_ = false;
    bool searched_ = false;
    std::vector<PortProbe> failedProbes_;
    std::vector<Member> members_;
};

}  // namespace korvane
