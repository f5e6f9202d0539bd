#pragma once

#include <cstdint>
#include <vector>

#include "platform/RunLoop.h"

namespace korvane {

// The timers that refer to one object. Destroying the group cancels them, so no timer outlives
// what it refers to.
class TimerGroup {
public:
    TimerGroup() = default;
    ~TimerGroup() { cancelAll(); }
    TimerGroup(const TimerGroup&) = delete;
    TimerGroup& operator=(const TimerGroup&) = delete;

    // The timer is forgotten before `callback` runs, so the callback may destroy the group.
    void schedule(Duration delay, RunLoop::Callback callback);
    void cancelAll();
    std::size_t pending() const { return timers_.size(); }

private:
    struct Entry {
        std::uint64_t key;
        RunLoop* loop;
        TimerId id;
    };
    void forget(std::uint64_t key);

    std::vector<Entry> timers_;
    std::uint64_t nextKey_ = 0;
};

}  // namespace korvane
