#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "util/Bytes.h"

namespace korvane {

class SimpleSerial;

// Completions. Each is called exactly once, on the run loop's thread.

// The outcome of a device operation, of `open` and of `probe`.
using ResultBlock = std::function<void(bool success)>;
// The word sum a Verify request was answered with, or none when no whole answer came.
using SumBlock = std::function<void(std::optional<std::uint16_t> sum)>;
// The end of a reply wait: whether any byte arrived, and every byte that did. The bytes stay
// valid for the duration of the call only.
using ResponseBlock = std::function<void(bool received, ByteView bytes)>;
// The port closed under the link; the flag is always true.
using ConnectionLostBlock = std::function<void(bool lost)>;
// The link whose device answered, now owned by the receiver, or none.
using DiscoveryBlock = std::function<void(std::unique_ptr<SimpleSerial> link)>;
// Every link whose device answered, in the order of their paths; empty when none did.
using DevicesBlock = std::function<void(std::vector<std::unique_ptr<SimpleSerial>> links)>;

}  // namespace korvane
