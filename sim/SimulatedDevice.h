#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/ORSSerialPort.h"
#include "platform/TimerGroup.h"
#include "sim/ReplyScheduler.h"
#include "sim/SimulatedController.h"

namespace korvane {

class SimulatedPort;

// Ways the simulated port misbehaves.
struct PortFaults {
    // The port never reports that it opened.
    bool neverOpens = false;
    // The port reports that it opened only after this long.
    Duration openDelay{0};
    // The port takes no bytes for writing.
    bool refusesSend = false;
    // The port refuses only this send (1 is the first, as sendsAsked() counts); 0 none.
    std::uint64_t refuseSendAt = 0;
    // This user may not open the port.
    bool noAccess = false;
};

// What stands behind one simulated path: the controller (or a device that is not one), the line
// to it, and the port objects open on it. It outlives the ports and keeps what was programmed.
class SimulatedDevice {
public:
    SimulatedDevice(std::string path, std::string name, std::optional<UsbIds> usbIds);
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    const std::string& path() const { return path_; }
    const std::string& name() const { return name_; }
    std::optional<UsbIds> usbIds() const { return usbIds_; }

    SimulatedController controller;
    PortFaults portFaults;
    LineTiming timing;
    // A reset request makes the device restart, which closes the port under the host.
    bool restartClosesPort = true;
    // How long a restart keeps the device off the bus (not listed, cannot be opened); none: it
    // never comes back.
    std::optional<Duration> restartAbsence = Duration{0};

    // On the bus: listed, and its ports can open.
    bool present() const { return present_; }
    // Restarts as a reset makes it: it leaves the bus, which closes its open ports, and comes
    // back after `restartAbsence`.
    void restart();
    // Leaves the bus now, which closes its open ports, or comes back, whatever a restart said.
    void setPresent(bool present);

    // Bytes the device sends unasked, delivered now to the open port.
    void transmit(ByteView bytes);

    // The cable is pulled: every open port reports that it closed. The device can be opened again.
    void unplug();

    // Port objects for this path that exist, and those of them that are open.
    std::size_t livePorts() const { return ports_.size(); }
    std::size_t openPorts() const;
    // Sends its port objects were asked for, taken or not: also on a closed port.
    std::uint64_t sendsAsked() const { return sends_; }
    // Those of them while the port was not open: a host that follows its port's reports never
    // makes one.
    std::uint64_t sendsWhileClosed() const { return sendsWhileClosed_; }

private:
    friend class SimulatedPort;
    void attach(SimulatedPort& port) { ports_.push_back(&port); }
    void detach(SimulatedPort& port);

    std::string path_;
    std::string name_;
    std::optional<UsbIds> usbIds_;
    std::vector<SimulatedPort*> ports_;
    std::uint64_t sends_ = 0;
    std::uint64_t sendsWhileClosed_ = 0;
    bool present_ = true;
    TimerGroup timers_;
};

}  // namespace korvane
