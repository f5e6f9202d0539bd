#include "sim/SimulatedPortManager.h"

#include <algorithm>

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
    if (SimulatedDevice* listed = find(path).get()) {
        return listed;
    }
    const auto away = std::find_if(absent_.begin(), absent_.end(),
                                   [&](const auto& device) { return device->path() == path; });
    return away == absent_.end() ? nullptr : away->get();
}

void SimulatedPortManager::setPresent(const std::string& path, bool present) {
    auto& from = present ? absent_ : devices_;
    auto& to = present ? devices_ : absent_;
    const auto found = std::find_if(from.begin(), from.end(),
                                    [&](const auto& device) { return device->path() == path; });
    if (found == from.end()) {
        return;
    }
    const std::shared_ptr<SimulatedDevice> device = *found;
    from.erase(found);
    to.push_back(device);
    if (!present) {
        device->unplug();
    }
}

std::vector<PortDescription> SimulatedPortManager::availablePorts() const {
    std::vector<PortDescription> ports;
    for (const auto& device : devices_) {
        ports.push_back({device->path(), device->name(), device->usbIds()});
    }
    return ports;
}

std::unique_ptr<ORSSerialPort> SimulatedPortManager::portWithPath(const std::string& path) {
    auto device = find(path);
    if (!device) {
        return nullptr;
    }
    return std::make_unique<SimulatedPort>(std::move(device));
}

bool SimulatedPortManager::canAccess(const std::string& path) const {
    const SimulatedDevice* found = device(path);
    return found == nullptr || !found->portFaults.noAccess;
}

std::size_t SimulatedPortManager::livePorts() const {
    return total(&SimulatedDevice::livePorts);
}

std::size_t SimulatedPortManager::openPorts() const {
    return total(&SimulatedDevice::openPorts);
}

std::size_t SimulatedPortManager::total(std::size_t (SimulatedDevice::*count)() const) const {
    // A port object may outlive its device's place in the list.
    std::size_t sum = 0;
    for (const auto* list : {&devices_, &absent_}) {
        for (const auto& device : *list) {
            sum += (*device.*count)();
        }
    }
    return sum;
}

}  // namespace korvane
