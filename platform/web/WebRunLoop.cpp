#include "platform/web/WebRunLoop.h"

#include <emscripten.h>

#include <algorithm>

extern "C" {
// Wakes `loop` when the page's clock (performance.now) reads `at`, in place of any wake-up asked
// before; a negative time asks none.
void korvane_loop_wake(korvane::WebRunLoop* loop, double at);

EMSCRIPTEN_KEEPALIVE void korvane_loop_fire(korvane::WebRunLoop* loop) {
    loop->wake();
}
}

namespace korvane {

WebRunLoop::WebRunLoop() : start_(emscripten_get_now()) {}

WebRunLoop::~WebRunLoop() {
    korvane_loop_wake(this, -1);
    dueTimes_.clear();
    std::exchange(timers_, {}).clear();
}

TimerId WebRunLoop::schedule(Duration delay, Callback callback) {
    const TimerId id = nextId_++;
    const double due = elapsed() + static_cast<double>(std::max(delay, Duration{0}).count());
    timers_.emplace(Key{due, id}, std::move(callback));
    dueTimes_.emplace(id, due);
    arm();
    return id;
}

void WebRunLoop::cancel(TimerId timer) {
    const auto found = dueTimes_.find(timer);
    if (found == dueTimes_.end()) {
        return;
    }
    timers_.erase(Key{found->second, timer});
    dueTimes_.erase(found);
}

Duration WebRunLoop::now() const {
    return Duration{static_cast<Duration::rep>(elapsed())};
}

double WebRunLoop::elapsed() const {
    return emscripten_get_now() - start_;
}

void WebRunLoop::wake() {
    armedFor_ = -1;
    // Those armed meanwhile are due later, at the earliest in the same tick of the clock: a chain
    // of zero delays cannot keep the page from its other work.
    const double until = elapsed();
    while (!timers_.empty() && timers_.begin()->first.first <= until) {
        const auto next = timers_.begin();
        // Moved out first: the callback may arm or cancel timers, or destroy what armed it.
        const Callback callback = std::move(next->second);
        dueTimes_.erase(next->first.second);
        timers_.erase(next);
        callback();
    }
    arm();
}

void WebRunLoop::arm() {
    if (timers_.empty()) {
        return;
    }
    const double due = timers_.begin()->first.first;
    if (armedFor_ >= 0 && armedFor_ <= due) {
        return;
    }
    armedFor_ = due;
    korvane_loop_wake(this, start_ + due);
}

}  // namespace korvane
