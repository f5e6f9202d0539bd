#pragma once

#include <string>

#include "platform/PortError.h"
#include "util/Bytes.h"

namespace korvane {

class ORSSerialPort;

// The callbacks of a serial port. Every one arrives on the run loop's thread, one at a time;
// received bytes come in order, in chunks of any size, each byte once.
class ORSSerialPortDelegate {
public:
    // The device left the system; its port's close is reported next.
    virtual void serialPortWasRemovedFromSystem(ORSSerialPort& port) = 0;
    virtual void serialPortDidReceiveData(ORSSerialPort& port, ByteView data) = 0;
    virtual void serialPortDidEncounterError(ORSSerialPort& port, const PortError& error) = 0;
    virtual void serialPortWasOpened(ORSSerialPort& port) = 0;
    // Also when the device was unplugged: the only way a lost device is learned of.
    virtual void serialPortWasClosed(ORSSerialPort& port) = 0;

protected:
    ~ORSSerialPortDelegate() = default;
};

}  // namespace korvane
