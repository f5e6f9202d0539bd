#pragma once

#include <QObject>
#include <unordered_map>

#include "platform/RunLoop.h"

namespace korvane {

// The run loop on Qt's event loop: one-shot precise timers of the thread that made it.
class QtRunLoop final : public QObject, public RunLoop {
public:
    QtRunLoop() = default;
    // Pending callbacks are dropped; what they hold may cancel timers on the way out.
    ~QtRunLoop() override;

    TimerId schedule(Duration delay, Callback callback) override;
    void cancel(TimerId timer) override;
    Duration now() const override;

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    struct Pending {
        TimerId id;
        Callback callback;
    };

    // Qt reuses the ids of killed timers, so ours are separate and never reused.
    TimerId nextId_ = 1;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::unordered_map<TimerId, int> qtTimers_;
    std::unordered_map<int, Pending> pending_;
};

}  // namespace korvane
