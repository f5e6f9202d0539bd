#include "app/cli/ConsoleSession.h"

#include "app/cli/Conversation.h"

#include <ostream>

namespace korvane {

namespace {
constexpr const char* kWriteInterrupted =
    "Interrupted while a setting was written: the controller may not hold it; run korvane-cli "
    "info to see";
}  // namespace

ShownSettings shownSettings(const MainViewControl& control) {
    const SimpleSerial* link = control.link();
    return {control.isAuto() != 0, control.config() + 1,
            link != nullptr ? int{link->settings.speedLimit} : 0};
}

ConsoleSession::ConsoleSession(std::ostream& out, std::ostream& err,
                               std::unique_ptr<SimpleSerial> found)
    : out_(out), err_(err), given_(std::move(found)), control_(MainViewControl::create(*this)) {
    control_->setSpeedPopup(&speeds_);
    control_->viewDidLoad();
}

ConsoleSession::~ConsoleSession() {
    // The controller goes first: its link may still report to this window on the way out.
    control_.reset();
}

void ConsoleSession::connect() {
    if (given_) {
        control_->connectTo(std::move(given_));
    } else {
        control_->onConnect();
    }
}

void ConsoleSession::propertyChanged(Property property) {
    if (property == Property::isConnected && !found_ && control_->link() != nullptr) {
        found_ = identityOf(*control_->link());
        foundPath_ = control_->link()->portPath();
        foundSettings_ = shownSettings(*control_);
    }
    scheduleStep();
}

void ConsoleSession::showAlert(const std::string& message, const std::vector<std::string>& buttons,
                               AlertCompletion completion) {
    if (buttons.size() > 1) {
        if (!confirmer_) {
            return;  // nobody to ask: the question stays unanswered
        }
        confirmer_(message, [completion = std::move(completion)](bool yes) {
            completion(yes ? kAlertFirstButtonReturn : kAlertFirstButtonReturn + 1);
        });
        return;
    }
    // A notice is left open: the command ends before anything would close it.
    alerts_.push_back(message);
    scheduleStep();
}

void ConsoleSession::ask(const std::string& question, std::function<void(bool)> answer) {
    if (!asker_) {
        answer(false);
        return;
    }
    asker_(question, std::move(answer));
}

void ConsoleSession::runOpenPanel(const std::string&, OpenPanelCompletion completion) {
    timers_.schedule(Duration{0},
                     [completion = std::move(completion)] { completion(std::nullopt); });
}

void ConsoleSession::stopApplication() {
    finish(0);
}

Interruption ConsoleSession::interruption() const {
    return interruption_ ? interruption_() : searchOrWriteInterruption();
}

Interruption ConsoleSession::searchOrWriteInterruption() const {
    if (!control_->isConnected()) {
        return {kInterruptedSearch};
    }
    return {!control_->isEnabled() ? kWriteInterrupted : ""};
}

void ConsoleSession::scheduleStep() {
    // Coalesced and deferred: the controller is still in the middle of its change.
    if (!step_ || stepScheduled_ || finished()) {
        return;
    }
    stepScheduled_ = true;
    timers_.schedule(Duration{0}, [this] {
        stepScheduled_ = false;
        if (!finished()) {
            step_();
        }
    });
}

void ConsoleSession::begin(std::function<void()> start, std::function<void()> step) {
    startedAt_ = RunLoop::current().now();
    step_ = std::move(step);
    timers_.schedule(Duration{0}, [this, start = std::move(start)] {
        start();
        scheduleStep();
    });
}

void ConsoleSession::finish(int status) {
    if (finished()) {
        return;
    }
    status_ = status;
    finishedAt_ = RunLoop::current().now();
    out_.flush();
    if (onFinished_) {
        onFinished_(status);
    }
}

std::vector<std::string> ConsoleSession::takeAlerts() {
    return std::exchange(alerts_, {});
}

}  // namespace korvane
