// The firmware file reader on arbitrary bytes: it never reads out of bounds, and what it accepts
// is programmable record by record.
#include <cstddef>
#include <cstdint>

#include "firmware/FirmwareFile.h"
#include "protocol/HexBytes.h"
#include "protocol/ProgramFrame.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FirmwareFileReading reading = readFirmwareFile(ByteView(data, size));
    if (!reading.file) {
        return 0;
    }
    const FirmwareFile& file = *reading.file;
    if (file.lines.empty()) {
        __builtin_trap();
    }
    for (const std::string& line : file.lines) {
        const Bytes record = hexToBytes(std::string_view(line).substr(1));
        const bool sound = line[0] == ':' && record.size() >= 5 &&
                           record.size() == record[0] + 5u && record[0] <= kMaxRecordData &&
                           (record[3] == kDataRecord || record[3] == kExtendedLinearAddressRecord);
        if (!sound) {
            __builtin_trap();
        }
    }
    if (file.softwareVersion != hexToBytes(std::string_view(file.lines.back()).substr(1))[4]) {
        __builtin_trap();
    }
    return 0;
}
