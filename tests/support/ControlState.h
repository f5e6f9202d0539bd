#pragma once

#include <ostream>
#include <string>

#include "app/MainViewControl.h"

namespace korvane::testing {

// Everything the window shows of its controller but the progress (which keeps the last update's
// values by design), so that a state can be compared whole with a fresh window's.
struct ControlState {
    bool canConnect = false;
    bool isConnected = false;
    bool canDisconnect = false;
    bool isEnabled = false;
    bool canChooseFile = false;
    bool canEditSettings = false;
    bool isUpdatingFirmware = false;
    bool isUpdateRunning = false;
    bool isRestoring = false;
    int isKmh = 0;
    int maxSpeed = 0;
    UpdateStage stage = UpdateStage::none;
    std::string connectStatus;
    std::string connectDetail;
    std::string setStatus;
    std::string firmwareStatus;
    std::string firmwareDetail;

    bool operator==(const ControlState&) const = default;

    // The same state with other statuses: what a loss or a failure leaves to be read.
    ControlState saying(std::string firmware, std::string settings = {}) const {
        ControlState state = *this;
        state.firmwareStatus = std::move(firmware);
        state.setStatus = std::move(settings);
        return state;
    }
};

inline ControlState stateOf(const MainViewControl& control) {
    return {control.canConnect(),         control.isConnected(),
            control.canDisconnect(),      control.isEnabled(),
            control.canChooseFile(),      control.canEditSettings(),
            control.isUpdatingFirmware(), control.isUpdateRunning(),
            control.isRestoring(),        control.isKmh(),
            control.maxSpeed(),           control.updateStage(),
            control.connectStatus(),      control.connectDetail(),
            control.setStatus(),          control.firmwareStatus(),
            control.firmwareDetail()};
}

// GoogleTest prints a differing state member by member.
inline void PrintTo(const ControlState& s, std::ostream* out) {
    *out << "{canConnect " << s.canConnect << ", isConnected " << s.isConnected
         << ", canDisconnect " << s.canDisconnect << ", isEnabled " << s.isEnabled
         << ", canChooseFile " << s.canChooseFile << ", canEditSettings " << s.canEditSettings
         << ", isUpdatingFirmware " << s.isUpdatingFirmware << ", isUpdateRunning "
         << s.isUpdateRunning << ", isRestoring " << s.isRestoring << ", isKmh " << s.isKmh
         << ", maxSpeed " << s.maxSpeed << ", stage " << static_cast<int>(s.stage)
         << ", connectStatus \"" << s.connectStatus << "\", connectDetail \"" << s.connectDetail
         << "\", setStatus \"" << s.setStatus << "\", firmwareStatus \"" << s.firmwareStatus
         << "\", firmwareDetail \"" << s.firmwareDetail << "\"}";
}

}  // namespace korvane::testing
