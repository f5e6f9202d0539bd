// Finding the device: every port is opened, given a second to report that it did, and asked the
// identify question.
#include <algorithm>
#include <vector>

#include "platform/Log.h"
#include "platform/ORSSerialPortManager.h"
#include "serial/Attributes.h"
#include "serial/SimpleSerial.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

// One search, shared by the probes of all ports; it lives as long as the last of them. The first
// search takes the first port that answers; a search for all waits for every probe.
struct Search {
    bool keepAll = false;
    bool found = false;
    std::uint64_t remaining = 0;
    DiscoveryBlock first;
    DevicesBlock all;
    ProbeReportBlock report;
    std::vector<PortProbe> failed;
    // Every link still probing. A winner leaves with the completion; the others are closed.
    std::vector<std::unique_ptr<SimpleSerial>> links;
    // Search for all: the links whose device answered, by port.
    std::vector<std::unique_ptr<SimpleSerial>> answered;

    std::unique_ptr<SimpleSerial> take(SimpleSerial* link) {
        const auto held = std::find_if(links.begin(), links.end(),
                                       [link](const auto& each) { return each.get() == link; });
        if (held == links.end()) {
            return nullptr;
        }
        std::unique_ptr<SimpleSerial> taken = std::move(*held);
        links.erase(held);
        return taken;
    }
};

void probed(const std::shared_ptr<Search>& search, SimpleSerial* link, bool result) {
    if (search->found) {
        return;
    }
    std::unique_ptr<SimpleSerial> taken = search->take(link);
    if (result && !search->keepAll) {
        search->found = true;
        // Devices that identified themselves too; they are not waited for.
        for (const auto& other : search->links) {
            if (!other->identityText.empty()) {
                taken->othersIdentified.push_back(other->portPath());
            }
        }
        // The losers still probing are closed now rather than left with their ports open.
        std::exchange(search->links, {}).clear();
        search->first(std::move(taken));
        return;
    }
    if (result) {
        search->answered.push_back(std::move(taken));
    } else if (taken) {
        search->failed.push_back(
            {taken->portPath(), taken->probeFailure,
             taken->receiver().lastError() ? taken->receiver().lastError()->text : std::string()});
    }
    // A failed link is destroyed here, from within its own completion: nothing below touches it.
    taken.reset();
    if (--search->remaining > 0) {
        return;
    }
    if (search->report) {
        search->report(search->failed);
    }
    if (search->keepAll) {
        std::sort(search->answered.begin(), search->answered.end(),
                  [](const auto& a, const auto& b) { return a->portPath() < b->portPath(); });
        search->all(std::move(search->answered));
    } else {
        search->first(nullptr);
    }
}

// Probes every available port once, however often it is listed.
void startSearch(const std::shared_ptr<Search>& search, TransferMode mode) {
    std::vector<std::string> paths;
    for (const PortDescription& port :
         ORSSerialPortManager::sharedSerialPortManager().availablePorts()) {
        if (std::find(paths.begin(), paths.end(), port.path) == paths.end()) {
            paths.push_back(port.path);
        }
    }
    if (paths.empty()) {
        if (search->report) {
            search->report({});
        }
        search->keepAll ? search->all({}) : search->first(nullptr);
        return;
    }
    search->remaining = paths.size();
    for (const std::string& path : paths) {
        search->links.push_back(std::make_unique<SimpleSerial>(path, mode));
    }
    // Started after every link exists; no probe can finish within this loop, so the list holds.
    for (const auto& held : search->links) {
        SimpleSerial* link = held.get();
        link->probe([search, link](bool result) { probed(search, link, result); });
    }
}

}  // namespace

void SimpleSerial::findDevice(DiscoveryBlock completion, TransferMode mode,
                              ProbeReportBlock report) {
    auto search = std::make_shared<Search>();
    search->first = std::move(completion);
    search->report = std::move(report);
    startSearch(search, mode);
}

void SimpleSerial::findDevices(DevicesBlock completion, TransferMode mode,
                               ProbeReportBlock report) {
    auto search = std::make_shared<Search>();
    search->keepAll = true;
    search->all = std::move(completion);
    search->report = std::move(report);
    startSearch(search, mode);
}

void SimpleSerial::open(ResultBlock completion) {
    // The constructor asked already; a second request is harmless.
    serialPort->open();
    portDelegate->setDelegate(this);
    openCompletion_ = std::move(completion);
    timers.schedule(kOpenCheckDelay, [this] { openChecked(); });
    // Fast mode looks as soon as the port says it opened, and at the second at the latest.
    if (mode_ == TransferMode::fast && portDelegate->isOpened()) {
        timers.schedule(Duration{0}, [this] { openChecked(); });
    }
}

void SimpleSerial::openChecked() {
    if (!openCompletion_) {
        return;
    }
    const ResultBlock completion = std::exchange(openCompletion_, nullptr);
    logLine(stringPrintf("Device %s %s\r\n", portPath_.c_str(),
                         portDelegate->isOpened() ? "Opened" : "Not opened"));
    if (portDelegate->isOpened()) {
        logLine("Device info. Name: " + serialPort->name() + ", Path: " + serialPort->path() +
                ", Dict: " + describeAttributes(ioDeviceAttributes(*serialPort)) +
                ", VendorId: " + describeNumber(vendorID(*serialPort)) +
                ", ProductId: " + describeNumber(productID(*serialPort)));
    }
    completion(portDelegate->isOpened());
}

void SimpleSerial::probe(ResultBlock completion) {
    open([this, completion = std::move(completion)](bool opened) {
        if (!opened) {
            const std::optional<PortError>& error = portDelegate->lastError();
            probeFailure = !error                                       ? ProbeFailure::notOpened
                           : error->kind == PortErrorKind::noPermission ? ProbeFailure::noPermission
                           : error->kind == PortErrorKind::inUse        ? ProbeFailure::inUse
                                                                        : ProbeFailure::notOpened;
            completion(false);
            return;
        }
        identify([this, completion](bool answered) {
            // A port that closed meanwhile holds no controller any more, whatever came first.
            const bool closed = !portDelegate->isOpened();
            const bool identified = answered && !closed;
            deviceReady = identified;
            // What the failed exchange left in the buffer tells silence from another answer.
            probeFailure = identified                        ? ProbeFailure::none
                           : closed                          ? ProbeFailure::closed
                           : !identityText.empty()           ? ProbeFailure::noSettings
                           : portDelegate->dataLength() == 0 ? ProbeFailure::silent
                                                             : ProbeFailure::answeredOtherwise;
            completion(identified);
        });
    });
}

}  // namespace korvane
