#include "app/cli/OneController.h"

#include <ostream>

#include "app/cli/Conversation.h"
#include "app/cli/Outcome.h"

namespace korvane {

OneController::OneController(const Invocation& invocation, std::ostream& out, std::ostream& err)
    : action_(invocation.action),
      json_(invocation.json),
      ownJson_(invocation.ownJson),
      history_(invocation.history),
      out_(out),
      errLines_(&err, ""),
      session_(json_ ? static_cast<std::ostream&>(quietOut_) : out, errLines_) {
    // A question goes where it does not mix with the JSON a script reads.
    session_.setQuestions(json_ ? err : out);
    session_.control().setFastTransfers(invocation.options.fast);
}

void OneController::start(std::function<void(int)> done) {
    session_.setOnFinished(std::move(done));
    action_.start(session_);
}

void OneController::end(int status, const std::optional<Interruption>& interruption) {
    const Outcome outcome = interruption ? interruptedOutcome(*interruption)
                                         : finishedOutcome(status, errLines_.lastLine());
    // Kept before the result is reported.
    if (history_) {
        if (const std::string problem = history_->recordController(session_, action_, outcome);
            !problem.empty()) {
            errLines_ << problem << '\n';
        }
    }
    // A script reading JSON always gets some: the outcome, or a failure where the command's own
    // JSON (info --json) did not come.
    if (json_ || (ownJson_ && status != kSuccess)) {
        out_ << describeOutcome(session_, action_, outcome).text() << '\n';
    }
}

}  // namespace korvane
