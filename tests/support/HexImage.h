#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "util/Bytes.h"
#include "util/StringPrintf.h"

namespace korvane::testing {

// One Intel HEX record line, with its checksum.
inline std::string hexRecord(std::uint8_t type, std::uint16_t address, const Bytes& data) {
    std::string line = stringPrintf(":%02X%04X%02X", static_cast<unsigned>(data.size()),
                                    unsigned{address}, unsigned{type});
    unsigned sum = static_cast<unsigned>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    for (const std::uint8_t byte : data) {
        line += stringPrintf("%02X", unsigned{byte});
        sum += byte;
    }
    return line + stringPrintf("%02X", (0x100 - (sum & 0xFF)) & 0xFF);
}

inline std::string upperAddressRecord(std::uint16_t upper) {
    return hexRecord(0x04, 0,
                     {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}

// A firmware image as a file, with the bytes each region should hold afterwards.
struct HexImage {
    std::string text;
    std::size_t records = 0;
    // By upper address, then address.
    std::map<std::uint16_t, std::map<std::uint16_t, std::uint8_t>> memory;

    void add(const std::string& line) {
        text += line + "\n";
        ++records;
    }
    void upper(std::uint16_t value) { add(upperAddressRecord(value)); }
    void data(std::uint16_t upperAddress, std::uint16_t address, const Bytes& bytes) {
        add(hexRecord(0x00, address, bytes));
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            memory[upperAddress][static_cast<std::uint16_t>(address + i)] = bytes[i];
        }
    }
    std::string file() const { return text + ":00000001FF\n"; }
    // Whether program memory and the eprom (upper address 0x00F0) hold what the image puts there.
    bool heldIn(const std::vector<std::uint8_t>& program,
                const std::vector<std::uint8_t>& eprom) const {
        for (const auto& [upper, bytes] : memory) {
            const auto& region = upper == 0x00F0 ? eprom : program;
            for (const auto& [address, byte] : bytes) {
                if (address >= region.size() || region[address] != byte) {
                    return false;
                }
            }
        }
        return true;
    }
    Bytes bytes() const {
        const std::string whole = file();
        return Bytes(whole.begin(), whole.end());
    }
};

// What a bootloader image looks like: program memory from 0x1000, an eprom block, and a block in
// a region the device does not have, which is skipped.
inline HexImage realisticImage(std::size_t programRecords = 24) {
    HexImage image;
    image.upper(0x0000);
    for (std::size_t r = 0; r < programRecords; ++r) {
        Bytes bytes(16);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(r * 31 + i * 7 + 1);
        }
        image.data(0x0000, static_cast<std::uint16_t>(0x1000 + r * 16), bytes);
    }
    image.upper(0x0030);
    image.add(hexRecord(0x00, 0x0000, Bytes(16, 0x5A)));
    image.add(hexRecord(0x00, 0x0010, Bytes(8, 0x5B)));
    image.upper(0x00F0);
    image.data(0x00F0, 0x0100, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80});
    image.data(0x00F0, 0x0108, {0x11, 0x22, 0x33});
    image.upper(0x0000);
    // The version the file carries: the first data byte of its last record.
    image.data(0x0000, 0x2000, {0x0C, 0x00, 0xAB, 0xCD});
    return image;
}

}  // namespace korvane::testing
