#include "bench/HexImageWriter.h"

#include "util/StringPrintf.h"

namespace korvane::bench {

namespace {

std::string record(unsigned type, unsigned address, const std::uint8_t* data, unsigned count) {
    std::string line = stringPrintf(":%02X%04X%02X", count, address, type);
    unsigned sum = count + (address >> 8) + (address & 0xFF) + type;
    for (unsigned i = 0; i < count; ++i) {
        line += stringPrintf("%02X", unsigned{data[i]});
        sum += data[i];
    }
    return line + stringPrintf("%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
}

std::string upper(unsigned value) {
    const std::uint8_t bytes[] = {static_cast<std::uint8_t>(value >> 8),
                                  static_cast<std::uint8_t>(value)};
    return record(0x04, 0, bytes, 2);
}

}  // namespace

std::string makeHexImage(std::size_t programRecords, std::size_t skippedRecords) {
    std::string text = upper(0x0000);
    std::uint8_t data[16];
    // Program memory ends at 0xFFFF: the addresses wrap past it rather than run out.
    for (std::size_t r = 0; r < programRecords; ++r) {
        for (unsigned i = 0; i < 16; ++i) {
            data[i] = static_cast<std::uint8_t>(r * 13 + i);
        }
        text += record(0x00, static_cast<unsigned>(0x1000 + (r * 16) % 0xF000), data, 16);
    }
    for (std::size_t r = 0; r < skippedRecords; ++r) {
        if (r % 4096 == 0) {
            text += upper(static_cast<unsigned>(0x0100 + r / 4096));
        }
        text += record(0x00, static_cast<unsigned>((r % 4096) * 16), data, 16);
    }
    return text + ":00000001FF\n";
}

}  // namespace korvane::bench
