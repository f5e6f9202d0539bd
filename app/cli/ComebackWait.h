#pragma once

#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/TimerGroup.h"
#include "serial/SimpleSerial.h"

namespace korvane {

// A controller told to restart, waited for until it is back: the ports it may come back on are
// probed as a search probes them (open, identify, read the settings), each again a moment after
// its probe failed, until one answers with its device id or the time is up. Destroying the wait
// stops it; nothing is reported then.
class ComebackWait {
public:
    struct Target {
        std::string deviceId;
        // Where it was: probed in every round.
        std::string path;
        // Also every other port a search would probe. Not while other controllers of the run
        // restart too: of one device id, they cannot be told apart there.
        bool elsewhere = true;
        TransferMode mode = TransferMode::standard;
    };
    // The link to the controller that came back, its identity and settings read; or none when
    // it did not within the limit.
    using Done = std::function<void(std::unique_ptr<SimpleSerial> link)>;

    ComebackWait(Target target, Duration limit, Done done);
    ComebackWait(const ComebackWait&) = delete;
    ComebackWait& operator=(const ComebackWait&) = delete;

private:
    // Probes every port it may come back on that is not being probed or waiting to be.
    void probeListed();
    void probed(SimpleSerial* link, bool identified);

    Target target_;
    Done done_;
    std::vector<std::unique_ptr<SimpleSerial>> probing_;
    // The paths being probed or waiting to be probed again.
    std::set<std::string> busy_;
    TimerGroup timers_;
};

// Before a port is probed again: one that is not back yet fails its probe within its open check.
inline constexpr Duration kComebackRetryPause{250};

}  // namespace korvane
