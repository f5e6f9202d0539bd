#include "platform/qt/QtSerialPortManager.h"

#include "platform/qt/QtSerialPort.h"

#ifndef _WIN32
#include <unistd.h>

#include <cerrno>
#endif

namespace korvane {

PortDescription describePort(const QSerialPortInfo& info) {
    PortDescription port{info.systemLocation().toStdString(), info.portName().toStdString(),
                         std::nullopt};
    if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
        port.usbIds = UsbIds{info.vendorIdentifier(), info.productIdentifier()};
    }
    return port;
}

std::vector<PortDescription> QtSerialPortManager::availablePorts() const {
    std::vector<PortDescription> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        ports.push_back(describePort(info));
    }
    return ports;
}

std::unique_ptr<ORSSerialPort> QtSerialPortManager::portWithPath(const std::string& path) {
    return std::make_unique<QtSerialPort>(path);
}

bool QtSerialPortManager::canAccess(const std::string& path) const {
#ifdef _WIN32
    (void)path;
    return true;
#else
    // Serial devices belong to a group (dialout on most Linux systems) that new users are not in.
    return ::access(path.c_str(), R_OK | W_OK) == 0 || errno != EACCES;
#endif
}

}  // namespace korvane
