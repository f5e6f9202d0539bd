#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvane {

using Bytes = std::vector<std::uint8_t>;
using ByteView = std::span<const std::uint8_t>;

// How byte buffers appear in log lines: "<55 0A FF>", "<>" when empty.
std::string describeBytes(ByteView bytes);

}  // namespace korvane
