#pragma once

#include <optional>
#include <string>

#include "app/MainViewControl.h"

namespace korvane {

// A controller's settings as kept in a file (JSON): who it is, and the three settings a user
// changes. The whole record is kept for the record; only the three settings are put back.
struct SavedSettings {
    std::string deviceId;
    std::string bootloader;
    int software = 0;
    bool autoMode = false;
    // 1 to 3, as the window numbers its choices.
    int config = 1;
    int speedLimitMph = 1;
    // The 12 settings bytes as 24 hexadecimal digits.
    std::string record;
    // When the file was written, ISO 8601 in UTC.
    std::string savedAt;
};

// What the controller held by `control` has now.
SavedSettings settingsOf(const MainViewControl& control);

// Writes the file whole or not at all (a temporary file renamed into place). An existing file is
// replaced only when `replace` is set. Empty when written, otherwise why not.
std::string saveSettingsFile(const std::string& path, const SavedSettings& settings, bool replace);

struct SettingsFileReading {
    std::optional<SavedSettings> settings;
    // Why the file cannot be used: "speedLimitMph must be a whole number from 1 to 30".
    std::string problem;
};
// Reads and checks a settings file: JSON, every field present and in range.
SettingsFileReading readSettingsFile(const std::string& path);

}  // namespace korvane
