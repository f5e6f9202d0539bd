#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "util/Bytes.h"

namespace korvane {

// The whole content of a regular file, or why it cannot be had.
struct FileContent {
    Bytes bytes;
    // Empty when the file was read: "is a folder, not a file", "No such file or directory".
    std::string problem;
};

// Reads a file the user named, whatever the path turns out to be. The file is opened once and
// judged by what was opened: a pipe never blocks, a device is never read, and at most `maxBytes`
// + 1 bytes are read, also from a file that grows meanwhile. `what` names such a file in the
// reason for one that is too large ("firmware file").
FileContent readRegularFile(const std::string& path, std::uintmax_t maxBytes,
                            std::string_view what);

// Why `path` may not be replaced by a regular file: it is a folder, a device, a pipe or a socket
// (a link is followed). Empty when it is a regular file or there is none.
std::string notARegularFile(const std::string& path);

}  // namespace korvane
