#pragma once

#include <optional>

#include "platform/RunLoop.h"
#include "platform/VirtualRunLoop.h"

namespace korvane {

// The run loop on the browser's timers. The timers wait in a virtual-time loop, in due order, ties
// in arming order, as everywhere else; one browser timer wakes the page when the earliest is due,
// and the virtual time is then moved to the browser's clock.
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
    // Asks the browser for a wake-up when the earliest timer is due, unless one is asked already.
    void arm();

    double start_;
    VirtualRunLoop timers_;
    std::optional<Duration> armedFor_;
};

}  // namespace korvane
