#include "platform/qt/QtRunLoop.h"

#include <QTimerEvent>
#include <algorithm>
#include <utility>

namespace korvane {

QtRunLoop::~QtRunLoop() {
    qtTimers_.clear();
    std::exchange(pending_, {}).clear();
}

TimerId QtRunLoop::schedule(Duration delay, Callback callback) {
    // Precise timers: a reply wait is a chain of 10 ms polls, and coarse ones would stretch it.
    const int qtTimer =
        startTimer(std::max<int>(0, static_cast<int>(delay.count())), Qt::PreciseTimer);
    const TimerId id = nextId_++;
    qtTimers_.emplace(id, qtTimer);
    pending_.emplace(qtTimer, Pending{id, std::move(callback)});
    return id;
}

void QtRunLoop::cancel(TimerId timer) {
    const auto found = qtTimers_.find(timer);
    if (found == qtTimers_.end()) {
        return;
    }
    killTimer(found->second);
    pending_.erase(found->second);
    qtTimers_.erase(found);
}

Duration QtRunLoop::now() const {
    return std::chrono::duration_cast<Duration>(std::chrono::steady_clock::now() - start_);
}

void QtRunLoop::timerEvent(QTimerEvent* event) {
    killTimer(event->timerId());
    const auto found = pending_.find(event->timerId());
    if (found == pending_.end()) {
        return;
    }
    // Moved out first: the callback may arm or cancel timers, or destroy what armed it.
    const Callback callback = std::move(found->second.callback);
    qtTimers_.erase(found->second.id);
    pending_.erase(found);
    callback();
}

}  // namespace korvane
