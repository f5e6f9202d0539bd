#pragma once

#include <string>

namespace korvane {

// Writes `text` to `path` whole or not at all (a temporary file in the same folder renamed into
// place, with the old file's permissions). An existing file is replaced only when `replace` is
// set, and never when it is not a regular file. Empty when written, otherwise why not.
std::string writeWholeFile(const std::string& path, const std::string& text, bool replace);

}  // namespace korvane
