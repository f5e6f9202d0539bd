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

// Virtual time, simulated ports and a captured log, installed for one test.
class SimulatedBench : public ::testing::Test {
protected:
    static constexpr const char* kControllerPath = "/dev/ttySIM0";

    VirtualRunLoop loop;
    SimulatedPortManager ports;
    LogCapture log;

    SimulatedBench() { ports.addDevice(kControllerPath, "ttySIM0", UsbIds{0x04D8, 0x000A}); }

    SimulatedDevice& controller() { return *ports.device(kControllerPath); }
    SimulatedController& device() { return controller().controller; }
    // The requests the controller received, in order.
    const std::vector<Bytes>& wire() { return device().requests(); }

    // A link to the controller whose port has opened and which reports losses.
    std::unique_ptr<SimpleSerial> openLink(const std::string& path = kControllerPath) {
        auto link = std::make_unique<SimpleSerial>(path);
        bool opened = false;
        link->open([&](bool result) { opened = result; });
        loop.runFor(kOpenCheckDelay);
        EXPECT_TRUE(opened);
        return link;
    }

    // A link that has identified the device and read its settings, as discovery leaves it.
    std::unique_ptr<SimpleSerial> readyLink() {
        auto link = std::make_unique<SimpleSerial>(kControllerPath);
        std::optional<bool> probed;
        link->probe([&](bool result) { probed = result; });
        loop.runUntil([&] { return probed.has_value(); });
        EXPECT_EQ(probed, std::optional(true));
        return link;
    }

    // Runs `operation` with a completion and the loop until it completes; the result, or none.
    template <typename Operation>
    std::optional<bool> complete(Operation&& operation) {
        std::optional<bool> result;
        operation([&](bool success) { result = success; });
        loop.runUntil([&] { return result.has_value(); });
        return result;
    }
    // Runs `link`'s `member` with `arguments` and a completion, as `complete` does.
    template <typename Member, typename... Arguments>
    std::optional<bool> complete(SimpleSerial& link, Member member, Arguments... arguments) {
        return complete([&](ResultBlock done) { (link.*member)(arguments..., std::move(done)); });
    }

private:
    ORSSerialPortManager::Scope portsScope_{ports};
    RunLoop::Scope loopScope_{loop};
};

}  // namespace korvane::testing
