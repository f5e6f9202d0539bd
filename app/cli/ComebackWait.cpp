#include "app/cli/ComebackWait.h"

#include <algorithm>

#include "app/ControllerIdentity.h"
#include "platform/ORSSerialPortManager.h"

namespace korvane {

ComebackWait::ComebackWait(Target target, Duration limit, Done done)
    : target_(std::move(target)), done_(std::move(done)) {
    timers_.schedule(limit, [this] {
        // Whatever is still being asked is cut short: its answer would come too late.
        timers_.cancelAll();
        std::exchange(probing_, {}).clear();
        std::exchange(done_, nullptr)(nullptr);
    });
    probeListed();
}

void ComebackWait::probeListed() {
    std::vector<std::string> paths = {target_.path};
    if (target_.elsewhere) {
        for (const PortDescription& port :
             ORSSerialPortManager::sharedSerialPortManager().availablePorts()) {
            paths.push_back(port.path);
        }
    }
    std::vector<SimpleSerial*> started;
    for (const std::string& path : paths) {
        if (!busy_.insert(path).second) {
            continue;  // being probed, or waiting to be probed again
        }
        probing_.push_back(std::make_unique<SimpleSerial>(path, target_.mode));
        started.push_back(probing_.back().get());
    }
    // Started once every link exists: no probe ends within this loop.
    for (SimpleSerial* link : started) {
        link->probe([this, link](bool identified) { probed(link, identified); });
    }
}

void ComebackWait::probed(SimpleSerial* link, bool identified) {
    const auto held = std::find_if(probing_.begin(), probing_.end(),
                                   [link](const auto& each) { return each.get() == link; });
    if (held == probing_.end()) {
        return;
    }
    std::unique_ptr<SimpleSerial> taken = std::move(*held);
    probing_.erase(held);
    if (identified && identityOf(*taken).deviceId == target_.deviceId) {
        timers_.cancelAll();
        std::exchange(probing_, {}).clear();
        std::exchange(done_, nullptr)(std::move(taken));
        return;
    }
    // Each port is asked again on its own: a silent one does not hold up the others.
    timers_.schedule(kComebackRetryPause, [this, path = taken->portPath()] {
        busy_.erase(path);
        probeListed();
    });
    // Not it, or not yet: destroyed here, within its own completion; nothing below touches it.
    taken.reset();
}

}  // namespace korvane
