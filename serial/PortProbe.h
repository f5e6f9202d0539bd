#pragma once

#include <functional>
#include <string>
#include <vector>

namespace korvane {

// Why a port's probe found no controller there.
enum class ProbeFailure {
    none,
    // The port did not open: this user may not open it.
    noPermission,
    // The port did not open: another program holds it.
    inUse,
    // The port did not open for another reason (`error` says which), or never said it had.
    notOpened,
    // Nothing came back to the identify question.
    silent,
    // Something came back, but not the controller's answer.
    answeredOtherwise,
    // The controller answered but did not send its settings.
    noSettings,
    // The port closed while it was being asked: the device went away.
    closed,
};

struct PortProbe {
    std::string path;
    ProbeFailure failure = ProbeFailure::none;
    // The port's own words, when it reported an error.
    std::string error;
};

// The ports a search probed in vain, in the order their probes ended.
using ProbeReportBlock = std::function<void(const std::vector<PortProbe>& failed)>;

}  // namespace korvane
