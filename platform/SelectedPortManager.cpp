#include "platform/SelectedPortManager.h"

#include <algorithm>

namespace korvane {

std::vector<PortDescription> SelectedPortManager::availablePorts() const {
    const std::vector<PortDescription> listed = system_.availablePorts();
    std::vector<PortDescription> selected;
    for (const std::string& path : paths_) {
        const auto found =
            std::find_if(listed.begin(), listed.end(),
                         [&](const PortDescription& port) { return port.path == path; });
        if (found != listed.end()) {
            selected.push_back(*found);
        } else {
            selected.push_back({path, path.substr(path.find_last_of('/') + 1), std::nullopt});
        }
    }
    return selected;
}

}  // namespace korvane
