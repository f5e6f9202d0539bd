#include "platform/qt/QtSerialPortManager.h"

#include <QFileInfo>
#include <algorithm>

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
    listed_.clear();
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        listed_.push_back(describePort(info));
    }
    return listed_;
}

std::unique_ptr<ORSSerialPort> QtSerialPortManager::portWithPath(const std::string& path) {
    const std::string canonical =
        QFileInfo(QString::fromStdString(path)).canonicalFilePath().toStdString();
    const auto found = std::find_if(
        listed_.begin(), listed_.end(),
        [&](const PortDescription& port) { return port.path == path || port.path == canonical; });
    return std::make_unique<QtSerialPort>(path,
                                          found != listed_.end() ? found->usbIds : std::nullopt);
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
