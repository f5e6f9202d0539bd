#include "sim/SimulatedDevice.h"

#include <algorithm>

#include "sim/SimulatedPort.h"

namespace korvane {

SimulatedDevice::SimulatedDevice(std::string path, std::string name, std::optional<UsbIds> usbIds)
    : path_(std::move(path)), name_(std::move(name)), usbIds_(usbIds) {}

void SimulatedDevice::transmit(ByteView bytes) {
    for (SimulatedPort* port : ports_) {
        if (port->isOpen()) {
            port->delivered(bytes);
            return;
        }
    }
}

void SimulatedDevice::unplug() {
    std::vector<SimulatedPort*> open;
    std::copy_if(ports_.begin(), ports_.end(), std::back_inserter(open),
                 [](const SimulatedPort* port) { return port->isOpen(); });
    for (SimulatedPort* port : open) {
        // An earlier close report may have destroyed this port.
        if (std::find(ports_.begin(), ports_.end(), port) != ports_.end()) {
            port->closeFromDevice();
        }
    }
}

void SimulatedDevice::restart() {
    if (restartAbsence == Duration{0}) {
        unplug();  // back at once: it never leaves the list
        return;
    }
    present_ = false;
    unplug();
    if (restartAbsence) {
        timers_.schedule(*restartAbsence, [this] { present_ = true; });
    }
}

void SimulatedDevice::setPresent(bool present) {
    present_ = present;
    if (!present) {
        unplug();
    }
}

std::size_t SimulatedDevice::openPorts() const {
    return static_cast<std::size_t>(std::count_if(
        ports_.begin(), ports_.end(), [](const SimulatedPort* port) { return port->isOpen(); }));
}

void SimulatedDevice::detach(SimulatedPort& port) {
    std::erase(ports_, &port);
}

}  // namespace korvane
