#pragma once

#include <string_view>

namespace korvane {

// Whether a typed answer to the update question says yes: "update", "u", "yes" or "y" in any
// case, blanks (a Windows console's carriage return among them) ignored. Anything else is no.
bool answersUpdate(std::string_view typed);

}  // namespace korvane
