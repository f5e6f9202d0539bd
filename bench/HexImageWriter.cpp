#include "bench/HexImageWriter.h"

#include "tests/support/HexImage.h"

namespace korvane::bench {

using testing::hexRecord;
using testing::upperAddressRecord;

std::string makeHexImage(std::size_t programRecords, std::size_t skippedRecords) {
    std::string text = upperAddressRecord(0x0000) + "\n";
    Bytes data(16);
    // Program memory ends at 0xFFFF: the addresses wrap past it rather than run out.
    for (std::size_t r = 0; r < programRecords; ++r) {
        for (unsigned i = 0; i < 16; ++i) {
            data[i] = static_cast<std::uint8_t>(r * 13 + i);
        }
        text +=
            hexRecord(0x00, static_cast<std::uint16_t>(0x1000 + (r * 16) % 0xF000), data) + "\n";
    }
    for (std::size_t r = 0; r < skippedRecords; ++r) {
        if (r % 4096 == 0) {
            text += upperAddressRecord(static_cast<std::uint16_t>(0x0100 + r / 4096)) + "\n";
        }
        text += hexRecord(0x00, static_cast<std::uint16_t>((r % 4096) * 16), data) + "\n";
    }
    return text + ":00000001FF\n";
}

}  // namespace korvane::bench
