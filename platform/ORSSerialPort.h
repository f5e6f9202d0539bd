#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "util/Bytes.h"

namespace korvane {

class ORSSerialPortDelegate;

// USB identifiers of the device that carries a port.
struct UsbIds {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
};

// One serial port. Line settings are the backend's: 19200 baud, 8N1, no flow control.
class ORSSerialPort {
public:
    virtual ~ORSSerialPort() = default;

    // The shared port manager's port object for `path`, or none.
    static std::unique_ptr<ORSSerialPort> serialPortWithPath(const std::string& path);

    // Callbacks go to `delegate`; none stops them.
    virtual void setDelegate(ORSSerialPortDelegate* delegate) = 0;
    // Returns at once; success is reported later by serialPortWasOpened. A second open is harmless.
    virtual void open() = 0;
    // May report serialPortWasClosed to a delegate still attached.
    virtual void close() = 0;
    // True when the bytes were accepted for writing.
    virtual bool sendData(ByteView data) = 0;
    virtual std::string name() const = 0;
    virtual std::string path() const = 0;
    // When the backend knows them.
    virtual std::optional<UsbIds> usbIds() const = 0;
};

}  // namespace korvane
