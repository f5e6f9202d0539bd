#pragma once

#include <string>
#include <vector>

#include "platform/ORSSerialPortManager.h"
#include "serial/PortProbe.h"

namespace korvane {

// When no controller answered and a port could not be opened for lack of permission: one line
// telling the user how to get access. Empty when every port could be opened.
std::string accessHint(const ORSSerialPortManager& ports);

// Why a probe found no controller: "silent", "in use by another program".
std::string probeReason(const PortProbe& probe);

// Why no controller answered, a line for each port that was probed in vain ("/dev/ttyS0:
// silent"), then the access hint; a port this user may not open is named by the hint alone.
std::string whyNoController(std::vector<PortProbe> failed, const ORSSerialPortManager& ports);

}  // namespace korvane
