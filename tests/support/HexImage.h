#pragma once

#include <cstdint>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "sim/SimulatedController.h"
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
    return hexRecord(0x04, 0, {static_cast<std::uint8_t>(upper >> 8), std::uint8_t(upper)});
}

// A firmware image as a file, with where each record lies and what the device holds afterwards.
struct HexImage {
    std::string text;
    std::size_t records = 0;
    // Each record's upper address and address, as one number.
    std::vector<std::uint32_t> origins;
    // The software version the file carries: the first data byte of its last record.
    std::uint8_t version = 0;
    // Program memory (upper address 0x0000) and the eprom (0x00F0), by address.
    std::map<std::uint16_t, std::map<std::uint16_t, std::uint8_t>> memory;
    std::uint16_t upperAddress = 0;

    void add(std::uint8_t type, std::uint16_t address, const Bytes& data) {
        text += hexRecord(type, address, data) + "\n";
        ++records;
        if (type == 4) {
            upperAddress = static_cast<std::uint16_t>(data[0] << 8 | data[1]);
        }
        origins.push_back(std::uint32_t{upperAddress} << 16 | (type == 0 ? address : 0));
        for (std::size_t i = 0; type == 0 && i < data.size(); ++i) {
            if (upperAddress == 0x0000 || upperAddress == 0x00F0) {
                memory[upperAddress][static_cast<std::uint16_t>(address + i)] = data[i];
            }
        }
        version = type == 0 && !data.empty() ? data[0] : version;
    }
    void upper(std::uint16_t value) { add(4, 0, {std::uint8_t(value >> 8), std::uint8_t(value)}); }
    std::string file() const { return text + ":00000001FF\n"; }
    Bytes bytes() const {
        const std::string whole = file();
        return Bytes(whole.begin(), whole.end());
    }
    // Whether program memory and the eprom hold what the image puts there.
    bool heldIn(const std::vector<std::uint8_t>& program,
                const std::vector<std::uint8_t>& eprom) const {
        for (const auto& [region, bytes] : memory) {
            for (const auto& [address, byte] : bytes) {
                if ((region == 0 ? program : eprom).at(address) != byte) {
                    return false;
                }
            }
        }
        return true;
    }
    // Puts what the file writes into `device`'s memory, as a flash would.
    void putInto(SimulatedController& device) const {
        for (const auto& [region, bytes] : memory) {
            for (const auto& [address, byte] : bytes) {
                (region == 0 ? device.programMemory : device.eprom)[address] = byte;
            }
        }
    }
};

// What a bootloader image looks like: program memory from 0x1000, a block in a region the device
// does not have (skipped), an eprom block, and the version 12 last. Another `seed`, other bytes.
inline HexImage realisticImage(std::size_t programRecords = 24, std::uint8_t seed = 1) {
    HexImage image;
    image.upper(0x0000);
    for (std::size_t r = 0; r < programRecords; ++r) {
        Bytes bytes(16);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(r * 31 + i * 7 + seed);
        }
        image.add(0, static_cast<std::uint16_t>(0x1000 + r * 16), bytes);
    }
    image.upper(0x0030);
    image.add(0, 0x0000, Bytes(16, 0x5A));
    image.add(0, 0x0010, Bytes(8, 0x5B));
    image.upper(0x00F0);
    image.add(0, 0x0100, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70, 0x80});
    image.add(0, 0x0108, {0x11, 0x22, 0x33});
    image.upper(0x0000);
    image.add(0, 0x2000, {0x0C, 0x00, 0xAB, 0xCD});
    return image;
}

// An image drawn from `seed`: 1 to 40 data records of 1 to 16 bytes, most in program memory, some
// in the eprom and some in a region the device does not have, with an upper-address record where
// the region changes (the leading one sometimes left out: program memory is the default).
inline HexImage generatedImage(std::uint32_t seed) {
    std::mt19937 random(seed);
    const auto draw = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    HexImage image;
    if (draw(0, 3) != 0) {
        image.upper(0x0000);
    }
    std::map<std::uint16_t, std::uint16_t> next = {{0x0000, 0x1000}, {0x00F0, 0x0100}};
    for (int r = draw(1, 40); r > 0; --r) {
        const int kind = draw(0, 9);
        const std::uint16_t region = kind < 7 ? 0x0000 : kind < 9 ? 0x00F0 : 0x0030;
        if (region != image.upperAddress) {
            image.upper(region);
        }
        Bytes bytes(static_cast<std::size_t>(draw(1, 16)));
        for (std::uint8_t& byte : bytes) {
            byte = static_cast<std::uint8_t>(draw(0, 255));
        }
        image.add(0, next[region], bytes);
        next[region] = static_cast<std::uint16_t>(next[region] + bytes.size());
    }
    return image;
}

}  // namespace korvane::testing
