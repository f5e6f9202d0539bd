#pragma once

#include <QSerialPortInfo>

#include "platform/ORSSerialPortManager.h"

namespace korvane {

PortDescription describePort(const QSerialPortInfo& info);

// The machine's serial ports, as Qt SerialPort lists them.
class QtSerialPortManager final : public ORSSerialPortManager {
public:
    std::vector<PortDescription> availablePorts() const override;
    std::unique_ptr<ORSSerialPort> portWithPath(const std::string& path) override;
    bool canAccess(const std::string& path) const override;

private:
    // What the last listing found, for the USB ids of the ports made from it.
    mutable std::vector<PortDescription> listed_;
};

}  // namespace korvane
