// The settings file reader on arbitrary bytes: it converts no number it cannot hold, what it
// accepts is within range, and the file written from what it accepts reads back the same.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>

#include "app/SettingsFile.h"

using namespace korvane;

namespace {

bool hexDigits(const std::string& text, std::size_t count) {
    return text.size() == count && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0 &&
                      std::toupper(static_cast<unsigned char>(c)) == c;
           });
}

ByteView bytesOf(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const SettingsFileReading reading = parseSettingsFile(ByteView(data, size));
    if (!reading.settings) {
        if (reading.problem.empty()) {
            __builtin_trap();  // a refusal always says why
        }
        return 0;
    }
    const SavedSettings& settings = *reading.settings;
    const bool inRange = hexDigits(settings.deviceId, 4) && hexDigits(settings.bootloader, 4) &&
                         hexDigits(settings.record, 24) && settings.software >= 0 &&
                         settings.software <= 255 && settings.settings.config >= 1 &&
                         settings.settings.config <= 3 && settings.settings.speedLimitMph >= 0 &&
                         settings.settings.speedLimitMph <= 255;
    if (!inRange) {
        __builtin_trap();
    }
    // The time is kept as text for the reader only; everything else must come back as it was.
    SavedSettings again = parseSettingsFile(bytesOf(settingsFileText(settings))).settings.value();
    again.savedAt = settings.savedAt;
    if (!(again == settings)) {
        __builtin_trap();
    }
    return 0;
}
