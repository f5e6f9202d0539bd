#include "app/ControllerIdentity.h"

#include <cstdio>

namespace korvane {

ControllerIdentity identityOf(const SimpleSerial& link) {
    char bootloader[5] = "";
    char deviceId[5] = "";
    std::sscanf(link.identityText.c_str(), "Bootloader: %4[0-9A-F], Device ID: %4[0-9A-F]",
                bootloader, deviceId);
    return {bootloader, deviceId, link.settings.softwareVersion};
}

}  // namespace korvane
