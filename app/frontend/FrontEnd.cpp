#include "app/frontend/FrontEnd.h"

#include <CLI/CLI.hpp>

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

void addPortOptions(CLI::App& app, FrontEndOptions& options) {
    app.add_option("--port", options.ports, "probe only this port (repeatable)")
        ->type_name("PATH")
        ->expected(1)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
        ->allow_extra_args(false);
    app.add_flag("--demo", options.demo, "talk to the built-in simulated controller");
}

}  // namespace korvane
