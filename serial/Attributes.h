#pragma once

#include <optional>
#include <string>

#include "platform/ORSSerialPort.h"

namespace korvane {

// The USB attributes of the device that carries a port, for the log line of an opened port.
// Nothing decides anything by them.
std::optional<UsbIds> ioDeviceAttributes(const ORSSerialPort& port);
std::optional<std::uint16_t> vendorID(const ORSSerialPort& port);
std::optional<std::uint16_t> productID(const ORSSerialPort& port);

// "{idProduct = 24577; idVendor = 1027}", or "(null)" when the backend does not know them.
std::string describeAttributes(const std::optional<UsbIds>& attributes);
// A number in decimal, or "(null)".
std::string describeNumber(const std::optional<std::uint16_t>& number);

}  // namespace korvane
