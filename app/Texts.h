#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvane {

// The texts the controller shows and the limits both front ends keep, each said once here.

// The three settings a user changes.
enum class Setting { autoMode, config, speedLimit };

// The three settings as the window shows them: what `info --json`, the history and a settings
// file carry.
struct Settings {
    bool autoMode = false;
    // 1 to 3, as the window numbers its choices.
    int config = 1;
    // Whatever the controller holds, 0 to 255; the list offers 1 to kMaxSpeedMph.
    int speedLimitMph = 0;

    bool operator==(const Settings&) const = default;
};

// The speed limits the window offers: 1 to 30 mph, or 1 to 50 km/h.
inline constexpr int kLowestSpeed = 1;
inline constexpr int kMaxSpeedMph = 30;
inline constexpr int kMaxSpeedKmh = 50;
bool speedIsOffered(int mph);

inline constexpr const char* kNoController = "Please connect the USB device";
inline constexpr const char* kDeviceLost = "The device is disconnected";
inline constexpr const char* kRebootNotice =
    "The device is rebooting. Click Connect button to reconnect";
inline constexpr const char* kEraseNotSent = "Failed to send Erase command";
inline constexpr const char* kCouldNotUpdate = "Could not update firmware";
inline constexpr const char* kUpdateCancelled = "Firmware update cancelled";

// "Auto", "Config", "Speed Limit".
std::string_view settingName(Setting setting);
// "Update firmware from file Software version: 08?"
std::string updateQuestion(unsigned software);
// "Could not save the settings to bike.json: is a folder, not a file"
std::string couldNotSave(const std::string& path, const std::string& problem);

}  // namespace korvane
