#pragma once

#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "util/Bytes.h"
#include "util/RegularFile.h"

namespace korvane {

inline constexpr std::string_view kEndRecord = ":00000001FF";

// What a record line is to the controller.
enum class RecordKind {
    // An upper address record: it only moves where the next data records go.
    upperAddress,
    // Data for program memory or the eprom: written to the controller.
    data,
    // Data for memory the controller does not have: skipped.
    skipped,
};

// Where a record line came from: its line in the file (1 the first) and the address its data
// goes to (upper address << 16 | load address).
struct RecordOrigin {
    std::size_t line = 0;
    std::uint32_t address = 0;
    RecordKind kind = RecordKind::data;
};

// What the data records of a file put into one region of the controller.
struct RegionContent {
    std::size_t records = 0;
    std::size_t bytes = 0;
    // The lowest and the highest address written, when any is.
    std::uint16_t first = 0xFFFF;
    std::uint16_t last = 0;
};

// A firmware file fit to be programmed: its record lines in file order, each from its ":" on,
// without the end record; and the software version it carries.
struct FirmwareFile {
    std::deque<std::string> lines;
    std::uint8_t softwareVersion = 0;
    // One for each of `lines`.
    std::vector<RecordOrigin> origins;
    // Data records for memory the controller does not have: they are skipped, not written.
    std::size_t skippedRecords = 0;
    // Their upper addresses, in the order they first appear.
    std::vector<std::uint16_t> skippedUpperAddresses;
    RegionContent program;
    RegionContent eprom;
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
// 04, at most 245 data bytes within its 64 KiB segment), so that nothing is erased for a file
// that cannot be programmed. A refusal names the line and what is wrong with it.
FirmwareFileReading readFirmwareFile(ByteView data);

// "Records not written: 6 (upper addresses 0x0005, 0x0030)", or empty when every data record is
// written.
std::string describeSkippedRecords(const FirmwareFile& file);

// "line 4: checksum F3, should be F2", or the reason alone for the file as a whole.
std::string describeProblem(const FirmwareFileProblem& problem);

// A firmware file is far smaller: anything larger is refused before it is read.
inline constexpr std::uintmax_t kMaxFirmwareFileBytes = 16 * 1024 * 1024;
inline constexpr std::string_view kFirmwareFileKind = "firmware file";

// A firmware file named by its path, read and checked whole: its bytes and what they hold, or
// why it cannot be programmed ("line 4: checksum F3, should be F2", "is a folder, not a file").
struct CheckedFirmwareFile {
    Bytes bytes;
    std::optional<FirmwareFile> file;
    std::string problem;
};
CheckedFirmwareFile checkFirmwareFile(const std::string& path);

}  // namespace korvane
