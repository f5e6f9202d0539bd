#include "platform/web/WebSerialPortManager.h"

#include "platform/web/WebSerialPort.h"

extern "C" {
// The number of the index-th port present, or 0 past the last.
int korvane_serial_listed(int index);
// A port's USB vendor id in the high 16 bits and product id in the low ones, or -1.
int korvane_serial_usb_ids(int number);
}

namespace korvane {

namespace {

PortDescription describe(int number) {
    const std::string path = "serial port " + std::to_string(number);
    const int ids = korvane_serial_usb_ids(number);
    if (ids < 0) {
        return {path, path, std::nullopt};
    }
    return {
        path, path,
        UsbIds{static_cast<std::uint16_t>(ids >> 16), static_cast<std::uint16_t>(ids & 0xFFFF)}};
}

}  // namespace

std::vector<PortDescription> WebSerialPortManager::availablePorts() const {
    std::vector<PortDescription> ports;
    for (int index = 0; const int number = korvane_serial_listed(index); ++index) {
        ports.push_back(describe(number));
    }
    return ports;
}

std::unique_ptr<ORSSerialPort> WebSerialPortManager::portWithPath(const std::string& path) {
    for (int index = 0; const int number = korvane_serial_listed(index); ++index) {
        if (PortDescription port = describe(number); port.path == path) {
            return std::make_unique<WebSerialPort>(number, port.path, port.usbIds);
        }
    }
    return nullptr;
}

}  // namespace korvane
