#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ORSSerialPortManager.h"
#include "sim/SimulatedDevice.h"

namespace korvane {

// The serial ports of a machine with simulated devices attached, for tests and demos.
class SimulatedPortManager final : public ORSSerialPortManager {
public:
    // A device behind `path`, listed from now on.
    SimulatedDevice& addDevice(std::string path, std::string name = "Simulated port",
                               std::optional<UsbIds> usbIds = std::nullopt);
    // The device behind `path`, or none.
    SimulatedDevice* device(const std::string& path) const;

    std::vector<PortDescription> availablePorts() const override;
    std::unique_ptr<ORSSerialPort> portWithPath(const std::string& path) override;
    bool canAccess(const std::string& path) const override;

    // Port objects that exist (one per link), and those of them that are open.
    std::size_t livePorts() const;
    std::size_t openPorts() const;

private:
    std::shared_ptr<SimulatedDevice> find(const std::string& path) const;

    std::vector<std::shared_ptr<SimulatedDevice>> devices_;
};

}  // namespace korvane
