#pragma once

#include <cstddef>
#include <functional>

#include "platform/TimerGroup.h"
#include "util/Bytes.h"

namespace korvane {

// How the simulated line delivers a reply.
struct LineTiming {
    // From the request to the first byte of its reply.
    Duration latency{5};
    // Bytes per delivery; 0 delivers each reply whole.
    std::size_t chunkSize = 0;
    // Between two chunks of one reply.
    Duration chunkGap{0};
};

// Hands replies to `deliver` on the run loop, after the line's latency and in its chunks.
// Destroying the scheduler drops what is still on the way.
class ReplyScheduler {
public:
    using Deliver = std::function<void(ByteView)>;

    explicit ReplyScheduler(Deliver deliver) : deliver_(std::move(deliver)) {}

    void post(const Bytes& reply, const LineTiming& timing);
    void cancel() { timers_.cancelAll(); }
    bool idle() const { return timers_.pending() == 0; }

private:
    Deliver deliver_;
    TimerGroup timers_;
};

}  // namespace korvane
