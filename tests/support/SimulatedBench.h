#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <optional>

#include "platform/VirtualRunLoop.h"
#include "serial/SimpleSerial.h"
#include "sim/SimulatedPortManager.h"
#include "tests/support/HexImage.h"
#include "tests/support/LogCapture.h"

namespace korvane::testing {

// A request's header followed by its data, as it goes on the wire.
inline Bytes operator+(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

// Virtual time, simulated ports with a controller on /dev/ttySIM0, and a captured log, installed
// for as long as it lives.
struct Bench {
    static constexpr const char* kControllerPath = "/dev/ttySIM0";
    VirtualRunLoop loop;
    SimulatedPortManager ports;
    LogCapture log;

    Bench() { ports.addDevice(kControllerPath, "ttySIM0", UsbIds{0x04D8, 0x000A}); }
    SimulatedDevice& controller() { return *ports.device(kControllerPath); }
    SimulatedController& device() { return controller().controller; }
    // The requests the controller received, in order.
    const std::vector<Bytes>& wire() { return device().requests(); }

private:
    ORSSerialPortManager::Scope portsScope_{ports};
    RunLoop::Scope loopScope_{loop};
};

class SimulatedBench : public ::testing::Test, public Bench {
protected:
    // Runs `operation` with a completion, and the loop until it completes: the result, or none.
    template <typename Operation>
    std::optional<bool> complete(Operation&& operation) {
        std::optional<bool> result;
        operation([&](bool success) { result = success; });
        loop.runUntil([&] { return result.has_value(); });
        return result;
    }
    // A link whose port has opened (`probe`: that has identified the device and read its
    // settings, as discovery leaves it).
    std::unique_ptr<SimpleSerial> openLink(bool probe = false,
                                           TransferMode mode = TransferMode::standard) {
        auto link = std::make_unique<SimpleSerial>(kControllerPath, mode);
        EXPECT_EQ(complete([&](ResultBlock done) {
                      probe ? link->probe(std::move(done)) : link->open(std::move(done));
                  }),
                  std::optional(true));
        return link;
    }
};

}  // namespace korvane::testing
