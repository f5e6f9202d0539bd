#include "platform/web/WebRunLoop.h"

#include <emscripten.h>

#include <algorithm>

extern "C" {
// Wakes `loop` after `delayMs`, in place of any wake-up asked before; a negative delay asks none.
void korvane_loop_wake(korvane::WebRunLoop* loop, double delayMs);

EMSCRIPTEN_KEEPALIVE void korvane_loop_fire(korvane::WebRunLoop* loop) {
    loop->wake();
}
}

namespace korvane {

WebRunLoop::WebRunLoop() : start_(emscripten_get_now()) {}

WebRunLoop::~WebRunLoop() {
    korvane_loop_wake(this, -1);
}

TimerId WebRunLoop::schedule(Duration delay, Callback callback) {
    // The virtual time lags the browser's until the next wake-up: the delay counts from now.
    const TimerId id =
        timers_.schedule(now() - timers_.now() + std::max(delay, Duration{0}), std::move(callback));
    arm();
    return id;
}

void WebRunLoop::cancel(TimerId timer) {
    timers_.cancel(timer);
}

Duration WebRunLoop::now() const {
    return Duration{static_cast<Duration::rep>(emscripten_get_now() - start_)};
}

void WebRunLoop::wake() {
    armedFor_.reset();
    timers_.runFor(now() - timers_.now());
    arm();
}

void WebRunLoop::arm() {
    const std::optional<Duration> due = timers_.nextDue();
    if (!due || (armedFor_ && *armedFor_ <= *due)) {
        return;
    }
    armedFor_ = due;
    korvane_loop_wake(this, static_cast<double>(std::max(Duration{0}, *due - now()).count()));
}

}  // namespace korvane
