#pragma once

#include <memory>
#include <string>

#include "serial/SimpleSerial.h"

namespace korvane {

struct PortSearch;

// A search for one device that is to come back (after its restart): the ports it may come back
// on are probed as a search probes them (open, identify, read the settings), each again a moment
// after its probe failed, until one answers with the device's id or the deadline passes.
// Destroying the wait stops it; nothing is reported then.
class DeviceWait {
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
    // `done` gets the link to the device that came back, or none when it did not in time.
    DeviceWait(Target target, Duration deadline, DiscoveryBlock done);
    ~DeviceWait();
    DeviceWait(const DeviceWait&) = delete;
    DeviceWait& operator=(const DeviceWait&) = delete;

private:
    std::shared_ptr<PortSearch> search_;
};

// Before a port is probed again: one that is not back yet fails its probe within its open check.
inline constexpr Duration kDeviceWaitRetryPause{250};

}  // namespace korvane
