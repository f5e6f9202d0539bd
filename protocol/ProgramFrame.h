#pragma once

#include <array>
#include <cstdint>

#include "util/Bytes.h"

namespace korvane {

// A firmware record converted from its line: count n, address (high byte first), type, n data
// bytes, checksum.
inline constexpr std::size_t kRecordHeaderLength = 4;
inline constexpr std::uint8_t kDataRecord = 0x00;
inline constexpr std::uint8_t kEndOfFileRecord = 0x01;
inline constexpr std::uint8_t kExtendedLinearAddressRecord = 0x04;
// What a write request can carry: the 256-byte frame less its 10-byte header, within an 8-bit
// length.
inline constexpr std::size_t kMaxRecordData = 245;
// A record's data stays within the 64 KiB segment of its upper address.
inline constexpr std::uint32_t kSegmentSize = 0x10000;

// The memory the controller has, by upper address: program memory and the eprom region. Data
// records for any other upper address are skipped.
inline constexpr std::uint16_t kProgramRegion = 0x0000;
inline constexpr std::uint16_t kEpromRegion = 0x00F0;
constexpr bool isWritableRegion(std::uint16_t upperAddress) {
    return upperAddress == kProgramRegion || upperAddress == kEpromRegion;
}

// The request of one firmware record being built, and the figures of the last program-memory
// record. Bytes 8-9 (the upper address) carry over from one record to the next.
struct ProgramFrame {
    std::array<std::uint8_t, 256> buffer{};
    std::uint8_t frameLength = 0;
    std::uint16_t recordSum = 0;
    std::uint16_t recordLength = 0;

    ByteView request() const { return ByteView(buffer).first(frameLength); }
};

// The Verify request: count and address are filled in before each send.
struct VerifyFrame {
    std::array<std::uint8_t, 10> bytes = {0x55, 0x08, 0x00, 0x00, 0x00,
                                          0x00, 0x00, 0x10, 0x00, 0x00};
    std::uint8_t length = 10;
};

// Sum modulo 65536 of the data read as little-endian 16-bit words; an odd last byte is a word
// of its own. 01 02 03 gives 0x0204; FF FF FF FF gives 0xFFFE.
std::uint16_t wordSum(ByteView data);

// Builds the write request of data record `record` into `frame`: true when it is to be sent,
// false when its region (the upper address) is neither program memory (0x0000) nor the eprom
// region (0x00F0) and it is skipped. `record` must hold its n data bytes, at most 245.
bool encodeRecord(ProgramFrame& frame, ByteView record);

}  // namespace korvane
