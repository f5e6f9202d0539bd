#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/RunLoop.h"

namespace korvane {

// How long a firmware update still needs, from its rate so far, in whole seconds up. Nothing in
// its first 2 s of programming, when the rate still jumps about, nor before the first record, nor
// once every record is done: what is left is never shown as nothing.
std::optional<Duration> timeLeft(std::uint64_t done, std::uint64_t total, Duration elapsed);

// "0:07", "12:34", "1:02:03".
std::string clockText(Duration duration);

}  // namespace korvane
