#include "platform/web/WebSerialPortManager.h"

#include "platform/web/WebSerialPort.h"

extern "C" {
// The number of the index-th port present, or 0 past the last.
int korvane_serial_listed(int index);
// False when the port is not a USB device.
bool korvane_serial_usb_ids(int number, std::uint16_t* vendorId, std::uint16_t* productId);
}

namespace korvane {

namespace {

PortDescription describe(int number) {
    const std::string path = "serial port " + std::to_string(number);
    UsbIds ids;
    if (!korvane_serial_usb_ids(number, &ids.vendorId, &ids.productId)) {
        return {path, path, std::nullopt};
    }
    return {path, path, ids};
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
