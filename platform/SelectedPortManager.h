#pragma once

#include <string>
#include <vector>

#include "platform/ORSSerialPortManager.h"

namespace korvane {

// Only the ports the user named (--port), in the order given; the rest of the system's list is
// not probed. A named path the system does not list is still offered: it may be a link.
class SelectedPortManager final : public ORSSerialPortManager {
public:
    SelectedPortManager(ORSSerialPortManager& system, std::vector<std::string> paths)
        : system_(system), paths_(std::move(paths)) {}

    std::vector<PortDescription> availablePorts() const override;
    std::unique_ptr<ORSSerialPort> portWithPath(const std::string& path) override {
        return system_.portWithPath(path);
    }
    bool canAccess(const std::string& path) const override { return system_.canAccess(path); }

private:
    ORSSerialPortManager& system_;
    std::vector<std::string> paths_;
};

}  // namespace korvane
