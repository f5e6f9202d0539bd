#pragma once

#include <string_view>

namespace korvane {

// The observable properties of the main view controller: everything the window shows.
enum class Property {
    isAuto,
    config,
    maxSpeed,
    isKmh,
    canConnect,
    isConnected,
    connectStatus,
    isEnabled,
    setStatus,
    maxFirmwareCount,
    currFirmwareCount,
    isUpdatingFirmware,
    firmwareStatus,
    // A firmware update is erasing or programming the device: no other exchange may start.
    isUpdateRunning,
};

std::string_view propertyName(Property property);

}  // namespace korvane
