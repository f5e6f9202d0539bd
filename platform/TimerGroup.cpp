#include "platform/TimerGroup.h"

#include <algorithm>

namespace korvane {

void TimerGroup::schedule(Duration delay, RunLoop::Callback callback) {
    const std::uint64_t key = nextKey_++;
    RunLoop& loop = RunLoop::current();
    const TimerId id = loop.schedule(delay, [this, key, callback = std::move(callback)] {
        forget(key);
        callback();
    });
    timers_.push_back({key, &loop, id});
}

void TimerGroup::cancelAll() {
    for (const Entry& entry : std::exchange(timers_, {})) {
        entry.loop->cancel(entry.id);
    }
}

void TimerGroup::forget(std::uint64_t key) {
    std::erase_if(timers_, [key](const Entry& entry) { return entry.key == key; });
}

}  // namespace korvane
