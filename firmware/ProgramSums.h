#pragma once

#include <cstdint>
#include <vector>

#include "firmware/FirmwareFile.h"

namespace korvane {

// A program-memory record of a firmware file as the controller can check it: the word sum of
// the bytes at its addresses once the whole file is written. (A later record may overwrite part
// of an earlier one; what counts is what the file leaves.)
struct ProgramSum {
    // 1 for the file's first program-memory record.
    std::size_t number = 0;
    // Its line in the file.
    std::size_t line = 0;
    std::uint16_t address = 0;
    std::uint16_t length = 0;
    std::uint16_t sum = 0;

    bool operator==(const ProgramSum&) const = default;
};

// One for each program-memory data record of `file`, in file order. The eprom's records and
// those for memory the controller does not have are not among them: Verify sums program memory.
std::vector<ProgramSum> programSums(const FirmwareFile& file);

}  // namespace korvane
