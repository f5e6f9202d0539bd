#pragma once

#include <map>
#include <unordered_map>
#include <utility>

#include "platform/RunLoop.h"

namespace korvane {

// The run loop on the browser's timers: the timers wait here, in due order, ties in arming order,
// and one browser timer wakes the page when the earliest is due. Due times are kept to the
// browser clock's fraction of a millisecond, so a chain of waits stretches no more than the
// desktop's does.
class WebRunLoop final : public RunLoop {
public:
    WebRunLoop();
    ~WebRunLoop() override;
    WebRunLoop(const WebRunLoop&) = delete;
    WebRunLoop& operator=(const WebRunLoop&) = delete;

    TimerId schedule(Duration delay, Callback callback) override;
    void cancel(TimerId timer) override;
    Duration now() const override;

    // The browser's timer went off: runs every timer due by now.
    void wake();

private:
    // Milliseconds since the loop was made, with their fraction.
    double elapsed() const;
    // Asks the browser for a wake-up when the earliest timer is due, unless one is asked already.
    void arm();

    using Key = std::pair<double, TimerId>;

    double start_;
    TimerId nextId_ = 1;
    std::map<Key, Callback> timers_;
    std::unordered_map<TimerId, double> dueTimes_;
    // When the wake-up asked for is due; negative when none is asked.
    double armedFor_ = -1;
};

}  // namespace korvane
