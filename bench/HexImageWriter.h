#pragma once

#include <cstdint>
#include <string>

namespace korvane::bench {

// An Intel HEX image of `programRecords` 16-byte records from 0x1000, then `skippedRecords`
// records in a region the device does not have, then the end record.
std::string makeHexImage(std::size_t programRecords, std::size_t skippedRecords = 0);

}  // namespace korvane::bench
