#pragma once

#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>

#include "app/cli/CommandLine.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/PrefixedOutput.h"

namespace korvane {

// korvane-cli without --all: the command on the controller a search finds, in a session set up
// as the invocation asks (fast transfers, where the questions go, JSON instead of lines).
class OneController {
public:
    // The command's lines go to `out` and `err`; under --json `out` gets only the outcome.
    OneController(const Invocation& invocation, std::ostream& out, std::ostream& err);
    OneController(const OneController&) = delete;
    OneController& operator=(const OneController&) = delete;

    // How the command's question is put to the user.
    void setAsker(ConsoleSession::Confirmer asker) { session_.setAsker(std::move(asker)); }
    // Starts the command; `done` gets the exit status.
    void start(std::function<void(int status)> done);
    // What a signal ending the command now leaves.
    Interruption interruption() const { return session_.interruption(); }
    // Once the command ended with `status`, or a signal with `interruption`: the outcome as one
    // JSON object, where the invocation asks for one.
    void end(int status, const std::optional<Interruption>& interruption);

    const ConsoleSession& session() const { return session_; }

private:
    CommandAction action_;
    bool json_;
    bool ownJson_;
    std::shared_ptr<History> history_;
    std::ostream& out_;
    // Under --json the command's own lines stay off `out`.
    PrefixedOutput quietOut_{nullptr, ""};
    // The last line is the reason a failure gives.
    PrefixedOutput errLines_;
    ConsoleSession session_;
};

}  // namespace korvane
