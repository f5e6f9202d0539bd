#include "app/Property.h"

namespace korvane {

std::string_view propertyName(Property property) {
    switch (property) {
        case Property::isAuto:
            return "isAuto";
        case Property::config:
            return "config";
        case Property::maxSpeed:
            return "maxSpeed";
        case Property::isKmh:
            return "isKmh";
        case Property::canConnect:
            return "canConnect";
        case Property::isConnected:
            return "isConnected";
        case Property::connectStatus:
            return "connectStatus";
        case Property::isEnabled:
            return "isEnabled";
        case Property::setStatus:
            return "setStatus";
        case Property::maxFirmwareCount:
            return "maxFirmwareCount";
        case Property::currFirmwareCount:
            return "currFirmwareCount";
        case Property::isUpdatingFirmware:
            return "isUpdatingFirmware";
        case Property::firmwareStatus:
            return "firmwareStatus";
        case Property::isUpdateRunning:
            return "isUpdateRunning";
        case Property::firmwareDetail:
            return "firmwareDetail";
        case Property::connectDetail:
            return "connectDetail";
    }
    return "?";
}

}  // namespace korvane
