#include "serial/Attributes.h"

#include "util/StringPrintf.h"

namespace korvane {

std::optional<UsbIds> ioDeviceAttributes(const ORSSerialPort& port) {
    return port.usbIds();
}

std::optional<std::uint16_t> vendorID(const ORSSerialPort& port) {
    const auto attributes = ioDeviceAttributes(port);
    return attributes ? std::optional(attributes->vendorId) : std::nullopt;
}

std::optional<std::uint16_t> productID(const ORSSerialPort& port) {
    const auto attributes = ioDeviceAttributes(port);
    return attributes ? std::optional(attributes->productId) : std::nullopt;
}

std::string describeAttributes(const std::optional<UsbIds>& attributes) {
    if (!attributes) {
        return "(null)";
    }
    return stringPrintf("{idProduct = %u; idVendor = %u}", unsigned{attributes->productId},
                        unsigned{attributes->vendorId});
}

std::string describeNumber(const std::optional<std::uint16_t>& number) {
    return number ? std::to_string(*number) : "(null)";
}

}  // namespace korvane
