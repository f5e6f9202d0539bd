// Reading the firmware file the user named, whatever the path turns out to be.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "firmware/FirmwareFile.h"
#include "util/StringPrintf.h"

namespace korvane {

FileContent readWholeFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (error) {
        return {{}, error.message()};
    }
    // Checked before opening: a pipe would block the open, a device would never end.
    if (fs::is_directory(status)) {
        return {{}, "is a folder, not a file"};
    }
    if (!fs::is_regular_file(status)) {
        return {{}, "is not a regular file (a device, a pipe or a socket)"};
    }
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        return {{}, error.message()};
    }
    if (size > kMaxFirmwareFileBytes) {
        return {{},
                stringPrintf("is %ju bytes, larger than any firmware file (at most %ju)", size,
                             kMaxFirmwareFileBytes)};
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return {{}, errno != 0 ? std::strerror(errno) : "cannot be opened"};
    }
    Bytes bytes(static_cast<std::size_t>(size));
    stream.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    if (static_cast<std::uintmax_t>(stream.gcount()) != size) {
        return {{}, "cannot be read whole"};
    }
    return {std::move(bytes), {}};
}

CheckedFirmwareFile checkFirmwareFile(const std::string& path) {
    FileContent content = readWholeFile(path);
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
