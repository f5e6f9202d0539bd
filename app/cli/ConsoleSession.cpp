#include "app/cli/ConsoleSession.h"

#include <QCoreApplication>
#include <iostream>

#include "platform/qt/InterruptWatch.h"

namespace korvane {

namespace {
constexpr const char* kWriteInterrupted =
    "Interrupted while a setting was written: the controller may not hold it; run korvane-cli "
    "info to see";
}  // namespace

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

void ConsoleSession::runOpenPanel(const std::string&, OpenPanelCompletion completion) {
    timers_.schedule(Duration{0},
                     [completion = std::move(completion)] { completion(std::nullopt); });
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
    // Ending the run loop destroys the link with it: nothing more is sent.
    const InterruptWatch interrupts([this](int signal) {
        const std::string statement = interruptStatement_ ? interruptStatement_()
                                      : control_->isConnected() && !control_->isEnabled()
                                          ? std::string(kWriteInterrupted)
                                          : std::string();
        if (!statement.empty()) {
            std::cerr << statement << '\n';
        }
        finish(exitStatusForSignal(signal));
    });
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
