#pragma once

#include "platform/ORSSerialPortManager.h"

namespace korvane {

// The serial ports this page was granted and that are present now, as the browser last listed
// them. Each is named by its place among those granted since the page was loaded: "serial port 2".
class WebSerialPortManager final : public ORSSerialPortManager {
public:
    std::vector<PortDescription> availablePorts() const override;
    std::unique_ptr<ORSSerialPort> portWithPath(const std::string& path) override;
    // The browser asked the user already.
    bool canAccess(const std::string&) const override { return true; }
};

}  // namespace korvane
