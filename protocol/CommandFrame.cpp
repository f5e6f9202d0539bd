#include "protocol/CommandFrame.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

namespace korvane {

// Both are read and written as the raw bytes on the wire.
static_assert(std::is_trivially_copyable_v<DeviceSettings> &&
              std::is_standard_layout_v<DeviceSettings>);
static_assert(std::is_trivially_copyable_v<IdentifyReply> &&
              std::is_standard_layout_v<IdentifyReply>);

void buildFrame(CommandFrame& frame, int index) {
    frame = CommandTable.at(static_cast<std::size_t>(index));
}

bool frameMatches(ByteView frame, int index) {
    if (frame.size() < kFrameLength || index < 0 ||
        static_cast<std::size_t>(index) >= CommandTable.size()) {
        return false;
    }
    const CommandFrame& entry = CommandTable[static_cast<std::size_t>(index)];
    return std::equal(entry.begin(), entry.end(), frame.begin());
}

int frameIndex(ByteView frame) {
    for (int index = 0; index < static_cast<int>(CommandTable.size()); ++index) {
        if (frameMatches(frame, index)) {
            return index;
        }
    }
    return -1;
}

ByteView IdentifyReply::bytes() const {
    return {reinterpret_cast<const std::uint8_t*>(this), sizeof(IdentifyReply)};
}

ByteView DeviceSettings::bytes() const {
    return {reinterpret_cast<const std::uint8_t*>(this), sizeof(DeviceSettings)};
}

DeviceSettings DeviceSettings::fromBytes(ByteView bytes) {
    DeviceSettings settings;
    std::memcpy(&settings, bytes.data(), std::min(bytes.size(), sizeof settings));
    return settings;
}

}  // namespace korvane
