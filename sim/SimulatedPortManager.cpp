#include "sim/SimulatedPortManager.h"

#include <algorithm>
#include <numeric>

#include "sim/SimulatedPort.h"

namespace korvane {

SimulatedDevice& SimulatedPortManager::addDevice(std::string path, std::string name,
                                                 std::optional<UsbIds> usbIds) {
    devices_.push_back(std::make_shared<SimulatedDevice>(std::move(path), std::move(name), usbIds));
    return *devices_.back();
}

std::shared_ptr<SimulatedDevice> SimulatedPortManager::find(const std::string& path) const {
    const auto found = std::find_if(devices_.begin(), devices_.end(),
                                    [&](const auto& device) { return device->path() == path; });
    return found == devices_.end() ? nullptr : *found;
}

SimulatedDevice* SimulatedPortManager::device(const std::string& path) const {
    return find(path).get();
}

std::vector<PortDescription> SimulatedPortManager::availablePorts() const {
    std::vector<PortDescription> ports;
    for (const auto& device : devices_) {
        if (!device->present()) {
            continue;  // restarting, off the bus
        }
        ports.push_back({device->path(), device->name(), device->usbIds()});
    }
    return ports;
}

std::unique_ptr<ORSSerialPort> SimulatedPortManager::portWithPath(const std::string& path) {
    auto device = find(path);
    if (!device || !device->present()) {
        return nullptr;
    }
    return std::make_unique<SimulatedPort>(std::move(device));
}

bool SimulatedPortManager::canAccess(const std::string& path) const {
    const SimulatedDevice* found = device(path);
    return found == nullptr || !found->portFaults.noAccess;
}

std::size_t SimulatedPortManager::livePorts() const {
    return std::accumulate(
        devices_.begin(), devices_.end(), std::size_t{0},
        [](std::size_t sum, const auto& device) { return sum + device->livePorts(); });
}

std::size_t SimulatedPortManager::openPorts() const {
    return std::accumulate(
        devices_.begin(), devices_.end(), std::size_t{0},
        [](std::size_t sum, const auto& device) { return sum + device->openPorts(); });
}

}  // namespace korvane
