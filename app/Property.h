#pragma once

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
    // What the firmware status means for the controller: a refused file's reason, the record that
    // failed, records that will not be written. Shown under the firmware status.
    firmwareDetail,
    // Beside the connect status: which port was taken when other controllers answered too.
    connectDetail,
    // What happened, as values (the texts above are made from them).
    lastWrite,
    updateEnd,
    notice,
};

}  // namespace korvane
