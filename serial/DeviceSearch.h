#pragma once

#include <memory>
#include <string>

#include "serial/SimpleSerial.h"

namespace korvane {

struct PortSearch;

// A search under way, as its owner holds it: destroying it stops the search, closes the ports
// still being probed, and nothing is reported. The first device that answers, every one, or one
// device that is to come back after its restart: then the ports it may come back on are probed
// as a search probes them (open, identify, read the settings), each again a moment after its
// probe failed, until one answers with the device's id or the deadline passes.
class DeviceSearch {
public:
    static std::unique_ptr<DeviceSearch> first(DiscoveryBlock done, TransferMode mode,
                                               ProbeReportBlock report);
    static std::unique_ptr<DeviceSearch> all(DevicesBlock done, TransferMode mode,
                                             ProbeReportBlock report);
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
    static std::unique_ptr<DeviceSearch> awaited(Target target, Duration deadline,
                                                 DiscoveryBlock done);
    ~DeviceSearch();
    DeviceSearch(const DeviceSearch&) = delete;
    DeviceSearch& operator=(const DeviceSearch&) = delete;

private:
    explicit DeviceSearch(std::shared_ptr<PortSearch> search) : search_(std::move(search)) {}
    std::shared_ptr<PortSearch> search_;
};

// Before a port is probed again: one that is not back yet fails its probe within its open check.
inline constexpr Duration kDeviceWaitRetryPause{250};

}  // namespace korvane
