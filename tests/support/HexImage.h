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
    return hexRecord(0x04, 0,
                     {static_cast<std::uint8_t>(upper >> 8), static_cast<std::uint8_t>(upper)});
}

// A firmware image as a file, with the bytes each region should hold afterwards.
struct HexImage {
    std::string text;
    std::size_t records = 0;
    // The software version the file carries, when it ends with a data record.
    std::uint8_t version = 0;
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
    // Puts what the file writes into `device`'s memory, as a flash would.
    void putInto(SimulatedController& device) const {
        for (const auto& [upper, bytes] : memory) {
            auto& region = upper == 0x00F0 ? device.eprom : device.programMemory;
            for (const auto& [address, byte] : bytes) {
                region[address] = byte;
            }
        }
    }
    Bytes bytes() const {
        const std::string whole = file();
        return Bytes(whole.begin(), whole.end());
    }
    // Whether `device` holds every byte of the image where the image puts it.
    bool heldBy(const SimulatedController& device) const {
        for (const auto& [upper, bytes] : memory) {
            const auto& region = upper == 0x00F0 ? device.eprom : device.programMemory;
            for (const auto& [address, value] : bytes) {
                if (region[address] != value) {
                    return false;
                }
            }
        }
        return true;
    }
};

// What a bootloader image looks like: program memory from 0x1000, an eprom block, and a block in
// a region the device does not have, which is skipped. Images of another `seed` hold other bytes.
inline HexImage realisticImage(std::size_t programRecords = 24, std::uint8_t seed = 1) {
    HexImage image;
    image.upper(0x0000);
    for (std::size_t r = 0; r < programRecords; ++r) {
        Bytes bytes(16);
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            bytes[i] = static_cast<std::uint8_t>(r * 31 + i * 7 + seed);
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

// An image drawn from `seed`: 1 to 40 data records of 1 to 16 bytes, most in program memory, some
// in the eprom and some in a region the device does not have, with an upper-address record where
// the region changes. The leading one is sometimes left out, as program memory is the default.
inline HexImage generatedImage(std::uint32_t seed) {
    std::mt19937 random(seed);
    const auto draw = [&](int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random);
    };
    HexImage image;
    std::uint16_t upper = 0x0000;
    if (draw(0, 3) != 0) {
        image.upper(upper);
    }
    std::map<std::uint16_t, std::uint16_t> next = {{0x0000, 0x1000}, {0x00F0, 0x0100}};
    const int records = draw(1, 40);
    for (int r = 0; r < records; ++r) {
        const int kind = draw(0, 9);
        const std::uint16_t region = kind < 7 ? 0x0000 : kind < 9 ? 0x00F0 : 0x0030;
        if (region != upper) {
            image.upper(region);
            upper = region;
        }
        Bytes bytes(static_cast<std::size_t>(draw(1, 16)));
        for (std::uint8_t& byte : bytes) {
            byte = static_cast<std::uint8_t>(draw(0, 255));
        }
        std::uint16_t& at = next[region];
        if (region == 0x0030) {
            image.add(hexRecord(0x00, at, bytes));  // skipped: nothing to check
        } else {
            image.data(region, at, bytes);
        }
        at = static_cast<std::uint16_t>(at + bytes.size());
        image.version = bytes.front();
    }
    return image;
}

}  // namespace korvane::testing
