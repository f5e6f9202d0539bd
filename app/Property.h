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
};

std::string_view propertyName(Property property);

}  // namespace korvane
