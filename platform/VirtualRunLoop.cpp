#include "platform/VirtualRunLoop.h"

#include <algorithm>

namespace korvane {

VirtualRunLoop::~VirtualRunLoop() {
    dueTimes_.clear();
    std::exchange(timers_, {}).clear();
}

TimerId VirtualRunLoop::schedule(Duration delay, Callback callback) {
    const TimerId id = nextId_++;
    const Duration::rep due = (now_ + std::max(delay, Duration{0})).count();
    timers_.emplace(Key{due, id}, std::move(callback));
    dueTimes_.emplace(id, due);
    return id;
}

void VirtualRunLoop::cancel(TimerId timer) {
    const auto found = dueTimes_.find(timer);
    if (found == dueTimes_.end()) {
        return;
    }
    timers_.erase(Key{found->second, timer});
    dueTimes_.erase(found);
}

bool VirtualRunLoop::runNext() {
    if (timers_.empty()) {
        return false;
    }
    auto next = timers_.begin();
    const auto [due, id] = next->first;
    // The callback is moved out first: it may arm or cancel timers, or destroy what armed it.
    Callback callback = std::move(next->second);
    timers_.erase(next);
    dueTimes_.erase(id);
    now_ = Duration{due};
    ++fired_;
    callback();
    return true;
}

void VirtualRunLoop::runFor(Duration span) {
    const Duration end = now_ + span;
    while (!timers_.empty() && timers_.begin()->first.first <= end.count()) {
        runNext();
    }
    now_ = end;
}

bool VirtualRunLoop::runUntil(const std::function<bool()>& done, Duration limit) {
    const Duration end = now_ + limit;
    while (!done()) {
        if (timers_.empty() || timers_.begin()->first.first > end.count()) {
            return false;
        }
        runNext();
    }
    return true;
}

void VirtualRunLoop::runUntilIdle(Duration limit) {
    runUntil([] { return false; }, limit);
}

}  // namespace korvane
