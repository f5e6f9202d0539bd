#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

#include "platform/Installable.h"

namespace korvane {

using Duration = std::chrono::milliseconds;
using TimerId = std::uint64_t;

// The main run loop: one thread, one-shot timers. Every wait in the program is a chain of these.
class RunLoop : public Installable<RunLoop> {
public:
    using Callback = std::function<void()>;

    virtual ~RunLoop() = default;

    // Calls `callback` once, on the loop's thread, no earlier than `delay` from now. Never calls
    // it from within this call, even for a zero delay.
    virtual TimerId schedule(Duration delay, Callback callback) = 0;

    // Forgets a pending timer; a fired or unknown one is ignored.
    virtual void cancel(TimerId timer) = 0;

    // Time since the loop was made, on its own clock.
    virtual Duration now() const = 0;
};

}  // namespace korvane
