#pragma once

#include <string>

#include "platform/ORSSerialPortManager.h"

namespace korvane {

// When no controller answered and a port could not be opened for lack of permission: one line
// telling the user how to get access. Empty when every port could be opened.
std::string accessHint(const ORSSerialPortManager& ports);

}  // namespace korvane
