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
    // Whatever the controller held, 0 to 255; the window offers 1 to 30.
    int speedLimitMph = 1;
    // The 12 settings bytes as 24 hexadecimal digits.
    std::string record;
    // When the file was written, ISO 8601 in UTC.
    std::string savedAt;

    bool operator==(const SavedSettings&) const = default;
};

// What the controller held by `control` has now.
SavedSettings settingsOf(const MainViewControl& control);

// The file's text: an indented JSON object.
std::string settingsFileText(const SavedSettings& settings);

// Writes the file whole or not at all (a temporary file in the same folder renamed into place,
// with the old file's permissions). An existing file is replaced only when `replace` is set, and
// never when it is not a regular file. Empty when written, otherwise why not.
std::string saveSettingsFile(const std::string& path, const SavedSettings& settings, bool replace);

struct SettingsFileReading {
    std::optional<SavedSettings> settings;
    // Why the file cannot be used: "speedLimitMph must be a whole number from 1 to 30".
    std::string problem;
};
// Reads and checks a settings file: a regular file of at most kMaxSettingsFileBytes, JSON, every
// field present and in range.
SettingsFileReading readSettingsFile(const std::string& path);
// The same for a file's content.
SettingsFileReading parseSettingsFile(ByteView content);

// A settings file is a few hundred bytes; anything much larger is not one.
inline constexpr std::uintmax_t kMaxSettingsFileBytes = 64 * 1024;

// The speed limits the window offers, in mph. A file may hold any other the controller held.
inline constexpr int kLowestOfferedMph = 1;
inline constexpr int kHighestOfferedMph = 30;
bool speedIsOffered(int mph);

}  // namespace korvane
