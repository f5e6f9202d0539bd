#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/frontend/FrontEndOptions.h"
#include "platform/Log.h"
#include "platform/ORSSerialPortManager.h"
#include "platform/SelectedPortManager.h"
#include "platform/qt/QtRunLoop.h"

namespace korvane {

// The run loop, the serial ports and the log a front end runs on, installed for its lifetime.
// Needs a Qt application object.
class FrontEnd {
public:
    FrontEnd(const FrontEndOptions& options, const std::string& processName);
    ~FrontEnd();
    FrontEnd(const FrontEnd&) = delete;
    FrontEnd& operator=(const FrontEnd&) = delete;

    ORSSerialPortManager& ports() { return *ports_; }

private:
    QtRunLoop loop_;
    RunLoop::Scope loopScope_{loop_};
    std::unique_ptr<LogSink> log_;
    std::optional<LogSink::Scope> logScope_;
    std::unique_ptr<ORSSerialPortManager> system_;
    std::unique_ptr<SelectedPortManager> selected_;
    ORSSerialPortManager* ports_ = nullptr;
    std::optional<ORSSerialPortManager::Scope> portsScope_;
};

}  // namespace korvane
