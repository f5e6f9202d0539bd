#include "firmware/ProgramSums.h"

#include <algorithm>

#include "protocol/HexBytes.h"
#include "protocol/ProgramFrame.h"

namespace korvane {

std::vector<ProgramSum> programSums(const FirmwareFile& file) {
    // Program memory as the file leaves it; every byte a record covers is written by it.
    std::vector<std::uint8_t> memory(kSegmentSize);
    std::vector<ProgramSum> sums;
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        const RecordOrigin& origin = file.origins[i];
        if (origin.kind != RecordKind::data || origin.address >> 16 != kProgramRegion) {
            continue;
        }
        // The file was checked whole: every record is sound and stays within its segment.
        const Bytes record = hexToBytes(std::string_view(file.lines[i]).substr(1));
        const std::uint8_t count = record[0];
        const auto address = static_cast<std::uint16_t>(origin.address & 0xFFFF);
        std::copy_n(record.begin() + kRecordHeaderLength, count, memory.begin() + address);
        sums.push_back({sums.size() + 1, origin.line, address, count, 0});
    }
    for (ProgramSum& each : sums) {
        each.sum = wordSum(ByteView(memory).subspan(each.address, each.length));
    }
    return sums;
}

}  // namespace korvane
