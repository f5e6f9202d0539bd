#include "platform/qt/QtSerialPortManager.h"

#include "platform/qt/QtSerialPort.h"

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

}  // namespace korvane
