#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "util/Bytes.h"

namespace korvane {

// Byte 1 of every request.
enum class CommandCode : std::uint8_t {
    Identify = 0x00,
    WriteProgram = 0x02,
    Erase = 0x03,
    ReadEprom = 0x04,
    WriteEprom = 0x05,
    Verify = 0x08,
    Reset = 0x09,
};

// The 10-byte header of every request: 0x55, the command, a 16-bit count, the write marker
// 55 AA (only in requests that erase or write memory), the low and upper 16 bits of the device
// address. Every 16-bit field is little-endian. Data, if any, follows directly.
inline constexpr std::size_t kFrameLength = 10;
using CommandFrame = std::array<std::uint8_t, kFrameLength>;

inline constexpr std::uint8_t kFrameStart = 0x55;

// The four fixed requests. Replies are recognised by carrying one of them as their header.
enum CommandTableIndex : int {
    kIdentifyEntry = 0,
    kReadSettingsEntry = 1,
    kWriteSettingsEntry = 2,
    kEraseEntry = 3,
};

inline constexpr std::array<CommandFrame, 4> CommandTable = {{
    {0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00},
    // The 12 settings bytes live in the eprom region (upper address 0x00F0) at 0x0010.
    {0x55, 0x04, 0x0C, 0x00, 0x00, 0x00, 0x10, 0x00, 0xF0, 0x00},
    {0x55, 0x05, 0x0C, 0x00, 0x55, 0xAA, 0x10, 0x00, 0xF0, 0x00},
    // Erases the application area: count 0x01C0 from program address 0x1000.
    {0x55, 0x03, 0xC0, 0x01, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00},
}};

// Copies table entry `index` (0 to 3) into `frame`.
void buildFrame(CommandFrame& frame, int index);
// True when the first 10 bytes of `frame` equal table entry `index`; false for a shorter frame.
bool frameMatches(ByteView frame, int index);
// The first table entry equal to the first 10 bytes of `frame`, or -1.
int frameIndex(ByteView frame);

// The device's answer to Identify.
struct IdentifyReply {
    CommandFrame header = CommandTable[kIdentifyEntry];
    std::array<std::uint8_t, 2> bootloaderVersion{};
    std::array<std::uint8_t, 4> reserved{};
    std::array<std::uint8_t, 2> deviceId{};
    std::array<std::uint8_t, 8> trailer{};

    ByteView bytes() const;
};

// The device's settings record: a header and the 12 bytes at eprom 0x0010. Read whole, edited one
// byte at a time, written back whole.
struct DeviceSettings {
    CommandFrame header = CommandTable[kReadSettingsEntry];
    std::uint8_t softwareVersion = 0;
    // 1, 2 or 4 for the window's choices 0, 1 and 2.
    std::uint8_t configMode = 0;
    // Not shown; carried through every write as last read.
    std::uint8_t auxSetting = 0;
    // Two one-hot 3-way choices (bits 0-2 and 3-5); carried through every write as last read.
    std::uint8_t choiceBits = 0;
    // Miles per hour.
    std::uint8_t speedLimit = 0;
    std::uint8_t autoMode = 0;
    std::array<std::uint8_t, 6> opaque{};

    ByteView bytes() const;
    // `bytes` must be exactly as long as the record.
    static DeviceSettings fromBytes(ByteView bytes);
};

inline constexpr std::size_t kIdentifyReplyLength = 26;
inline constexpr std::size_t kSettingsLength = 22;
static_assert(sizeof(IdentifyReply) == kIdentifyReplyLength);
static_assert(sizeof(DeviceSettings) == kSettingsLength);

}  // namespace korvane
