#pragma once

#include <memory>

#include "platform/Log.h"
#include "platform/VirtualRunLoop.h"
#include "serial/SimpleSerial.h"
#include "sim/SimulatedPortManager.h"

namespace korvane::fuzz {

// Virtual time, one simulated controller, a silent log, and a link to it whose port is open.
struct FuzzBench {
    static constexpr const char* kPath = "/dev/ttyFUZZ0";

    VirtualRunLoop loop;
    SimulatedPortManager ports;
    SilentLog log;
    RunLoop::Scope loopScope{loop};
    ORSSerialPortManager::Scope portsScope{ports};
    LogSink::Scope logScope{log};
    SimulatedDevice& device = ports.addDevice(kPath);
    std::unique_ptr<SimpleSerial> link;

    FuzzBench() {
        link = std::make_unique<SimpleSerial>(kPath);
        link->open([](bool) {});
        loop.runFor(kOpenCheckDelay);
    }

    // Runs until the completion came; aborts when it did not come once, or came twice.
    template <typename Operation>
    bool complete(Operation&& operation) {
        int calls = 0;
        bool result = false;
        operation([&](bool success) {
            ++calls;
            result = success;
        });
        loop.runUntil([&] { return calls != 0; }, std::chrono::minutes(10));
        loop.runUntilIdle(std::chrono::minutes(10));
        if (calls != 1) {
            __builtin_trap();
        }
        return result;
    }
};

}  // namespace korvane::fuzz
