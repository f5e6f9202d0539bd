#include "app/frontend/FrontEnd.h"

#include "platform/qt/QtSerialPortManager.h"
#include "sim/DemoPorts.h"

namespace korvane {

FrontEnd::FrontEnd(const FrontEndOptions& options, const std::string& processName) {
    if (options.verbose) {
        log_ = std::make_unique<StderrLog>(processName);
    } else {
        log_ = std::make_unique<SilentLog>();
    }
    logScope_.emplace(*log_);
    if (options.demo) {
        auto simulated = std::make_unique<SimulatedPortManager>();
        addDemoDevices(*simulated);
        system_ = std::move(simulated);
    } else {
        system_ = std::make_unique<QtSerialPortManager>();
    }
    ports_ = system_.get();
    if (!options.ports.empty()) {
        selected_ = std::make_unique<SelectedPortManager>(*system_, options.ports);
        ports_ = selected_.get();
    }
    portsScope_.emplace(*ports_);
}

FrontEnd::~FrontEnd() = default;

}  // namespace korvane
