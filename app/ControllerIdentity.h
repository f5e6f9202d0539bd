#pragma once

#include <string>

#include "serial/SimpleSerial.h"

namespace korvane {

// Who a controller says it is: from its identity text and the settings last read.
struct ControllerIdentity {
    // Four hexadecimal digits each, as the identity text shows them.
    std::string bootloader;
    std::string deviceId;
    unsigned software = 0;
};

ControllerIdentity identityOf(const SimpleSerial& link);

}  // namespace korvane
