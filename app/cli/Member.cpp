#include "app/cli/Member.h"

#include <nlohmann/json.hpp>

#include "app/cli/Report.h"
#include "app/cli/Run.h"

namespace korvane {

Interruption Job::interruption(Member& member) {
    if (!member.control().isEnabled()) {
        return {
            "Interrupted while a setting was written: the controller may not hold it; run "
            "korvane-cli info to see"};
    }
    return {};
}

Member::Member(Run& run, std::string path, std::unique_ptr<Job> job)
    : run_(run),
      path_(std::move(path)),
      ownOut_(run.output(path_, false)),
      ownErr_(run.output(path_, true)),
      out_(ownOut_ ? ownOut_.get() : &run.console().out()),
      err_(ownErr_ ? ownErr_.get() : &run.console().err()),
      job_(std::move(job)),
      control_(MainViewControl::create(*this)),
      startedAt_(RunLoop::current().now()) {
    control_->setSpeedPopup(&speeds_);
    control_->setFastTransfers(run.invocation().frontEnd.fast);
    control_->viewDidLoad();
    if (!run.command().opening.empty()) {
        out() << run.command().opening << '\n';
    }
}

Member::~Member() {
    // The controller goes first: its link may still report to this window on the way out.
    control_.reset();
}

void Member::identify(const SimpleSerial& link) {
    path_ = link.portPath();
    found = link.identity;
}

void Member::connect(std::unique_ptr<SimpleSerial> link) {
    identify(*link);
    control_->connectTo(std::move(link));
    foundSettings = control_->settings();
    scheduleStep();
}

void Member::finish(Outcome outcome) {
    if (finished()) {
        return;
    }
    outcome_ = std::move(outcome);
    finishedAt_ = RunLoop::current().now();
    out().flush();
    run_.finished(*this);
}

void Member::fail(const std::string& reason, const std::string& preface, Result result) {
    err() << (preface.empty() ? "" : preface + "\n") << reason << '\n';
    finish(result, reason);
}

void Member::succeed(const std::string& done) {
    out() << done << '\n';
    finish({Result::ok});
}

std::ostream& Member::questions() {
    return run_.invocation().all ? out() : run_.questions();
}

bool Member::barFits() const {
    return run_.console().outputIsTerminal() && !run_.invocation().all;
}

Interruption Member::interruption() {
    return job_->interruption(*this);
}

Duration Member::took() const {
    return (finished() ? finishedAt_ : RunLoop::current().now()) - startedAt_;
}

void Member::progress(std::string_view stage, std::uint64_t done, std::uint64_t total,
                      std::optional<Duration> left) {
    if (!run_.invocation().json || (stage == lastStage_ && done == lastDone_)) {
        return;
    }
    lastStage_ = stage;
    lastDone_ = done;
    nlohmann::ordered_json event = {{"event", "progress"}, {"port", path_},
                                    {"stage", stage},      {"record", done},
                                    {"records", total},    {"elapsedSeconds", seconds(took())}};
    if (left) {
        event["leftSeconds"] = std::chrono::duration_cast<std::chrono::seconds>(*left).count();
    }
    run_.console().out() << event.dump() << '\n' << std::flush;
}

void Member::propertyChanged(Property) {
    scheduleStep();
}

void Member::showAlert(const std::string& message, const std::vector<std::string>& buttons,
                       AlertCompletion completion) {
    if (buttons.size() > 1) {
        job_->question(*this, message, [completion = std::move(completion)](bool yes) {
            completion(yes ? kAlertFirstButtonReturn : kAlertFirstButtonReturn + 1);
        });
        return;
    }
    // A notice is left open: the command ends before anything would close it.
    notices_.emplace_back(control_->notice(), message);
    scheduleStep();
}

void Member::scheduleStep() {
    // Coalesced and deferred: the controller is still in the middle of its change.
    if (stepScheduled_ || finished()) {
        return;
    }
    stepScheduled_ = true;
    timers_.schedule(Duration{0}, [this] {
        stepScheduled_ = false;
        step();
    });
}

void Member::step() {
    while (!finished() && !notices_.empty()) {
        const auto [kind, text] = notices_.front();
        notices_.pop_front();
        if (!job_->notice(*this, kind)) {
            fail(text);
        }
    }
    if (finished()) {
        return;
    }
    if (started_) {
        job_->step(*this);
    } else if (control_->isConnected() && control_->isEnabled()) {
        started_ = true;
        job_->start(*this);
        scheduleStep();
    }
}

}  // namespace korvane
