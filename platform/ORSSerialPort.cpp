#include "platform/ORSSerialPort.h"

#include "platform/ORSSerialPortManager.h"

namespace korvane {

std::unique_ptr<ORSSerialPort> ORSSerialPort::serialPortWithPath(const std::string& path) {
    return ORSSerialPortManager::sharedSerialPortManager().portWithPath(path);
}

}  // namespace korvane
