#include "app/AccessHint.h"

namespace korvane {

std::string accessHint(const ORSSerialPortManager& ports) {
    std::string denied;
    for (const PortDescription& port : ports.availablePorts()) {
        if (!ports.canAccess(port.path)) {
            denied += (denied.empty() ? "" : ", ") + port.path;
        }
    }
    if (denied.empty()) {
        return {};
    }
#ifdef __linux__
    return "No permission to open " + denied +
           ": add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in again";
#else
    return "No permission to open " + denied;
#endif
}

}  // namespace korvane
