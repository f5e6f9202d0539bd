#include "app/cli/ConsoleSession.h"

#include <QCoreApplication>

namespace korvane {

ConsoleSession::ConsoleSession() : control_(MainViewControl::create(*this)) {
    control_->setSpeedPopup(&speeds_);
    control_->viewDidLoad();
}

ConsoleSession::~ConsoleSession() {
    // The controller goes first: its link may still report to this window on the way out.
    control_.reset();
}

void ConsoleSession::propertyChanged(Property) {
    scheduleStep();
}

void ConsoleSession::showAlert(const std::string& message, const std::vector<std::string>&,
                               AlertCompletion completion) {
    alerts_.push_back(message);
    // Answered from the run loop, as a window would: never within the controller's call.
    timers_.schedule(Duration{0},
                     [completion = std::move(completion)] { completion(kAlertFirstButtonReturn); });
    scheduleStep();
}

void ConsoleSession::stopApplication() {
    finish(0);
}

void ConsoleSession::scheduleStep() {
    // Coalesced and deferred: the controller is still in the middle of its change.
    if (!step_ || stepScheduled_ || finished_) {
        return;
    }
    stepScheduled_ = true;
    timers_.schedule(Duration{0}, [this] {
        stepScheduled_ = false;
        if (!finished_) {
            step_();
        }
    });
}

int ConsoleSession::run(std::function<void()> start, std::function<void()> step) {
    step_ = std::move(step);
    timers_.schedule(Duration{0}, [this, start = std::move(start)] {
        start();
        scheduleStep();
    });
    return QCoreApplication::exec();
}

void ConsoleSession::finish(int status) {
    finished_ = true;
    QCoreApplication::exit(status);
}

std::vector<std::string> ConsoleSession::takeAlerts() {
    return std::exchange(alerts_, {});
}

}  // namespace korvane
