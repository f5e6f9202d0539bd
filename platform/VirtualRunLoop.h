#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <unordered_map>
#include <utility>

#include "platform/RunLoop.h"

namespace korvane {

// A run loop whose time moves only when told to. Timers fire in due-time order, ties in the order
// they were armed, so every timing rule can be asserted exactly and at once.
class VirtualRunLoop final : public RunLoop {
public:
    VirtualRunLoop() = default;
    // Pending callbacks are dropped; what they hold may cancel timers on the way out.
    ~VirtualRunLoop() override;
    VirtualRunLoop(const VirtualRunLoop&) = delete;
    VirtualRunLoop& operator=(const VirtualRunLoop&) = delete;

    TimerId schedule(Duration delay, Callback callback) override;
    void cancel(TimerId timer) override;

    Duration now() const override { return now_; }

    // Fires the earliest pending timer, moving time to its due time; false when none is pending.
    bool runNext();
    // Fires every timer due within `span` from now (also those armed meanwhile), then stands at
    // now + `span`.
    void runFor(Duration span);
    // Fires timers until `done` holds; false when no timer is left or time would pass `limit`
    // from now first.
    bool runUntil(const std::function<bool()>& done, Duration limit = std::chrono::hours(1));
    // Fires timers until none is left or time would pass `limit` from now.
    void runUntilIdle(Duration limit = std::chrono::hours(1));

    std::size_t pendingTimers() const { return timers_.size(); }
    std::uint64_t firedTimers() const { return fired_; }

private:
    using Key = std::pair<Duration::rep, TimerId>;

    Duration now_{0};
    TimerId nextId_ = 1;
    std::uint64_t fired_ = 0;
    std::map<Key, Callback> timers_;
    std::unordered_map<TimerId, Duration::rep> dueTimes_;
};

}  // namespace korvane
