#include "sim/DemoPorts.h"

namespace korvane {

void addDemoDevices(SimulatedPortManager& ports) {
    SimulatedDevice& controller =
        ports.addDevice(kDemoControllerPath, "ttyDEMO0", UsbIds{0x1209, 0x4B56});
    // About the time a real line of 19200 baud takes for a short reply.
    controller.timing.latency = Duration{15};
    SimulatedDevice& modem = ports.addDevice("/dev/ttyDEMO1", "ttyDEMO1", UsbIds{0x0A12, 0x0001});
    modem.controller.faults.silent = true;
}

}  // namespace korvane
