// Finding the device: every port is opened, given a second to report that it did, and asked the
// identify question.
#include <algorithm>
#include <set>
#include <vector>

#include "platform/Log.h"
#include "platform/ORSSerialPortManager.h"
#include "serial/Attributes.h"
#include "serial/DeviceSearch.h"
#include "serial/SimpleSerial.h"
#include "util/StringPrintf.h"

namespace korvane {

// One search, shared by the probes of all ports; it lives as long as the last of them. The first
// search takes the first port that answers; a search for all waits for every probe; a wait for a
// device probes its ports again until it answers with its device id or the deadline passes.
struct PortSearch : std::enable_shared_from_this<PortSearch> {
    bool keepAll = false;
    bool found = false;
    std::uint64_t remaining = 0;
    TransferMode mode = TransferMode::standard;
    DiscoveryBlock first;
    DevicesBlock all;
    ProbeReportBlock report;
    std::vector<PortProbe> failed;
    // Every link still probing. A winner leaves with the completion; the others are closed.
    std::vector<std::unique_ptr<SimpleSerial>> links;
    // PortSearch for all: the links whose device answered, by port.
    std::vector<std::unique_ptr<SimpleSerial>> answered;
    // A wait: whom it waits for, and the paths being probed or waiting to be probed again.
    std::optional<DeviceSearch::Target> awaited;
    std::set<std::string> busy;
    TimerGroup timers;

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
    // Ends the search: nothing still probing reports any more.
    void stop() {
        timers.cancelAll();
        std::exchange(links, {}).clear();
    }
};

namespace {

void probe(const std::shared_ptr<PortSearch>& search, const std::vector<std::string>& paths);
std::vector<std::string> listedPaths();

// Where an awaited device may come back: where it was, and, unless other devices of its id are
// being waited for, any listed port.
std::vector<std::string> awaitedPaths(const PortSearch& search) {
    std::vector<std::string> paths = {search.awaited->path};
    if (search.awaited->elsewhere) {
        for (const std::string& path : listedPaths()) {
            paths.push_back(path);
        }
    }
    return paths;
}

// A wait's probe ended: the device it waits for, or another try at that port after a pause.
void awaitedProbed(const std::shared_ptr<PortSearch>& search, std::unique_ptr<SimpleSerial> taken,
                   bool result) {
    if (result && taken->identity.deviceId == search->awaited->deviceId) {
        search->stop();
        std::exchange(search->first, nullptr)(std::move(taken));
        return;
    }
    // Each port is asked again on its own: a silent one does not hold up the others. The timer
    // goes with the search.
    search->timers.schedule(kDeviceWaitRetryPause, [raw = search.get(), path = taken->portPath()] {
        raw->busy.erase(path);
        probe(raw->shared_from_this(), awaitedPaths(*raw));
    });
    // Not it, or not yet: destroyed here, within its own completion; nothing below touches it.
    taken.reset();
}

// The search is held by value: the caller's copy lives in the link's own completion, which
// taken.reset() below destroys while the search is still used.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void probed(std::shared_ptr<PortSearch> search, SimpleSerial* link, bool result) {
    if (search->found) {
        return;
    }
    std::unique_ptr<SimpleSerial> taken = search->take(link);
    if (search->awaited) {
        if (taken) {
            awaitedProbed(search, std::move(taken), result);
        }
        return;
    }
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

// Every available port, once however often it is listed.
std::vector<std::string> listedPaths() {
    std::vector<std::string> paths;
    for (const PortDescription& port :
         ORSSerialPortManager::sharedSerialPortManager().availablePorts()) {
        if (std::find(paths.begin(), paths.end(), port.path) == paths.end()) {
            paths.push_back(port.path);
        }
    }
    return paths;
}

// Probes each of `paths` that is not being probed already.
void probe(const std::shared_ptr<PortSearch>& search, const std::vector<std::string>& paths) {
    std::vector<SimpleSerial*> started;
    for (const std::string& path : paths) {
        if (!search->busy.insert(path).second) {
            continue;
        }
        search->links.push_back(std::make_unique<SimpleSerial>(path, search->mode));
        started.push_back(search->links.back().get());
    }
    // Started after every link exists; no probe can finish within this loop, so the list holds.
    for (SimpleSerial* link : started) {
        link->probe([search, link](bool result) { probed(search, link, result); });
    }
}

void startSearch(const std::shared_ptr<PortSearch>& search) {
    const std::vector<std::string> paths = listedPaths();
    if (paths.empty()) {
        if (search->report) {
            search->report({});
        }
        search->keepAll ? search->all({}) : search->first(nullptr);
        return;
    }
    search->remaining = paths.size();
    probe(search, paths);
}

}  // namespace

namespace {

std::shared_ptr<PortSearch> started(TransferMode mode, DiscoveryBlock first, DevicesBlock all,
                                    ProbeReportBlock report) {
    auto search = std::make_shared<PortSearch>();
    search->mode = mode;
    search->keepAll = all != nullptr;
    search->first = std::move(first);
    search->all = std::move(all);
    search->report = std::move(report);
    startSearch(search);
    return search;
}

}  // namespace

void SimpleSerial::findDevice(DiscoveryBlock completion, TransferMode mode,
                              ProbeReportBlock report) {
    started(mode, std::move(completion), nullptr, std::move(report));
}

std::unique_ptr<DeviceSearch> DeviceSearch::first(DiscoveryBlock done, TransferMode mode,
                                                  ProbeReportBlock report) {
    return std::unique_ptr<DeviceSearch>(
        new DeviceSearch(started(mode, std::move(done), nullptr, std::move(report))));
}

std::unique_ptr<DeviceSearch> DeviceSearch::all(DevicesBlock done, TransferMode mode,
                                                ProbeReportBlock report) {
    return std::unique_ptr<DeviceSearch>(
        new DeviceSearch(started(mode, nullptr, std::move(done), std::move(report))));
}

std::unique_ptr<DeviceSearch> DeviceSearch::awaited(Target target, Duration deadline,
                                                    DiscoveryBlock done) {
    auto search = std::make_shared<PortSearch>();
    search->mode = target.mode;
    search->awaited = std::move(target);
    search->first = std::move(done);
    search->timers.schedule(deadline, [raw = search.get()] {
        // Whatever is still being asked is cut short: its answer would come too late.
        raw->stop();
        std::exchange(raw->first, nullptr)(nullptr);
    });
    std::unique_ptr<DeviceSearch> handle(new DeviceSearch(search));
    probe(search, awaitedPaths(*search));
    return handle;
}

DeviceSearch::~DeviceSearch() {
    if (search_) {
        search_->stop();
        search_->first = nullptr;
        search_->all = nullptr;
        search_->report = nullptr;
    }
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
