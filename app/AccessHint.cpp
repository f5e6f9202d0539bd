#include "app/AccessHint.h"

#include <algorithm>

namespace korvane {

namespace {

// The port's own words without its path, which the line starts with already.
std::string withoutPath(const PortProbe& probe) {
    const std::string prefix = probe.path + ": ";
    return probe.error.starts_with(prefix) ? probe.error.substr(prefix.size()) : probe.error;
}

}  // namespace

std::string probeReason(const PortProbe& probe) {
    switch (probe.failure) {
        case ProbeFailure::noPermission:
            return "no permission";
        case ProbeFailure::inUse:
            return "in use by another program";
        case ProbeFailure::notOpened:
            return probe.error.empty() ? "did not open"
                                       : "could not be opened (" + withoutPath(probe) + ")";
        case ProbeFailure::silent:
            return "silent";
        case ProbeFailure::answeredOtherwise:
            return "answered something else";
        case ProbeFailure::noSettings:
            return "answered, but did not send its settings";
        case ProbeFailure::closed:
            return "closed while it was being asked";
        case ProbeFailure::none:
            break;
    }
    return {};
}

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

std::string whyNoController(std::vector<PortProbe> failed, const ORSSerialPortManager& ports) {
    // In the order of their paths, however the probes ended.
    std::sort(failed.begin(), failed.end(),
              [](const PortProbe& a, const PortProbe& b) { return a.path < b.path; });
    std::string lines;
    for (const PortProbe& probe : failed) {
        // The hint names the ports this user may not open, with what to do.
        if (probe.failure == ProbeFailure::noPermission) {
            continue;
        }
        if (const std::string why = probeReason(probe); !why.empty()) {
            lines += (lines.empty() ? "" : "\n") + probe.path + ": " + why;
        }
    }
    if (const std::string hint = accessHint(ports); !hint.empty()) {
        lines += (lines.empty() ? "" : "\n") + hint;
    }
    return lines;
}

}  // namespace korvane
