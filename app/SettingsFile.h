#pragma once

#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>

#include "app/Texts.h"
#include "util/Bytes.h"
#include "util/RegularFile.h"

namespace korvane {

class MainViewControl;

// A controller's settings as kept in a file (JSON): who it is, and the three settings a user
// changes. The whole record is kept for the record; only the three settings are put back.
struct SavedSettings {
    std::string deviceId;
    std::string bootloader;
    int software = 0;
    Settings settings;
    // The 12 settings bytes as 24 hexadecimal digits.
    std::string record;
    // When the file was written, ISO 8601 in UTC.
    std::string savedAt;

    bool operator==(const SavedSettings&) const = default;
};

// What the controller held by `control` has now.
SavedSettings settingsOf(const MainViewControl& control);

// The three settings under the names `info --json`, the history and the file give them.
nlohmann::json settingsJson(const Settings& settings);

// The file's text: an indented JSON object, its members in the order of their names.
std::string settingsFileText(const SavedSettings& settings);

struct SettingsFileReading {
    std::optional<SavedSettings> settings;
    // Why the file cannot be used: "speedLimitMph must be a whole number from 0 to 255".
    std::string problem;
};
// The content of the settings file at `path`, or why it cannot be read.
FileContent settingsFileContent(const std::string& path);
// Reads and checks a settings file: a regular file of at most kMaxSettingsFileBytes, JSON, every
// field present and in range.
SettingsFileReading readSettingsFile(const std::string& path);
// The same for a file's content.
SettingsFileReading parseSettingsFile(ByteView content);

// A settings file is a few hundred bytes; anything much larger is not one.
inline constexpr std::uintmax_t kMaxSettingsFileBytes = 64 * 1024;

}  // namespace korvane
