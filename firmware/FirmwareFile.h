#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

#include "util/Bytes.h"

namespace korvane {

inline constexpr std::string_view kEndRecord = ":00000001FF";

// A firmware file fit to be programmed: its record lines in file order, each from its ":" on,
// without the end record; and the software version it carries.
struct FirmwareFile {
    std::deque<std::string> lines;
    std::uint8_t softwareVersion = 0;
};

// Where a file was refused and why. Line 1 is the first of the file; 0 stands for the file as a
// whole.
struct FirmwareFileProblem {
    std::size_t line = 0;
    std::string reason;
};

struct FirmwareFileReading {
    std::optional<FirmwareFile> file;
    FirmwareFileProblem problem;
};

// Reads Intel HEX text: lines end with LF, optionally after one CR; reading stops at the first
// zero byte, at a line shorter than two characters, at a line that is not a record, and before a
// last line without a line end. What was read must end with the end record, hold a record before
// it, and every record must be sound (hex digit pairs, its byte count, its checksum, types 00 and
// 04, at most 245 data bytes), so that nothing is erased for a file that cannot be programmed.
FirmwareFileReading readFirmwareFile(ByteView data);

// The whole file, or nothing when it cannot be read.
Bytes readWholeFile(const std::string& path);

}  // namespace korvane
