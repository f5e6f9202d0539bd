// Reading and checking the firmware file the user named, whatever the path turns out to be.
#include "firmware/FirmwareFile.h"

namespace korvane {

CheckedFirmwareFile checkFirmwareFile(const std::string& path) {
    FileContent content = readRegularFile(path, kMaxFirmwareFileBytes, kFirmwareFileKind);
    if (!content.problem.empty()) {
        return {{}, std::nullopt, std::move(content.problem)};
    }
    FirmwareFileReading reading = readFirmwareFile(content.bytes);
    if (!reading.file) {
        return {{}, std::nullopt, describeProblem(reading.problem)};
    }
    return {std::move(content.bytes), std::move(reading.file), {}};
}

}  // namespace korvane
