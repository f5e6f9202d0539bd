#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Installable.h"
#include "platform/ORSSerialPort.h"

namespace korvane {

// A port as the system lists it.
struct PortDescription {
    std::string path;
    std::string name;
    std::optional<UsbIds> usbIds;
};

// The system's serial ports: the Qt backend in the programs, simulated ports in tests and demos.
class ORSSerialPortManager : public Installable<ORSSerialPortManager> {
public:
    virtual ~ORSSerialPortManager() = default;

    static ORSSerialPortManager& sharedSerialPortManager() { return current(); }

    // The ports present now.
    virtual std::vector<PortDescription> availablePorts() const = 0;
    // A new port object for `path`, or none.
    virtual std::unique_ptr<ORSSerialPort> portWithPath(const std::string& path) = 0;
    // False when the port exists but this user may not open it.
    virtual bool canAccess(const std::string& path) const = 0;
};

}  // namespace korvane
