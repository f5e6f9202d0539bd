#pragma once

#include "sim/SimulatedPortManager.h"

namespace korvane {

// What --demo shows: the controller on one port, and a port with something else on it, so that
// discovery has a choice to make.
inline constexpr const char* kDemoControllerPath = "/dev/ttyDEMO0";
void addDemoDevices(SimulatedPortManager& ports);

}  // namespace korvane
