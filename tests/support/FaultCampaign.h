#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/VirtualRunLoop.h"
#include "sim/SimulatedPortManager.h"
#include "tests/support/LogCapture.h"
#include "util/StringPrintf.h"

namespace korvane::testing {

// A machine of its own for one run: virtual time, simulated controllers on /dev/ttySIM0 and on,
// and a captured log.
struct FaultWorld {
    explicit FaultWorld(int controllers = 1) {
        for (int index = 0; index < controllers; ++index) {
            ports.addDevice(path(index));
        }
    }
    static std::string path(int index) { return "/dev/ttySIM" + std::to_string(index); }
    SimulatedDevice& device(int index = 0) { return *ports.device(path(index)); }

    VirtualRunLoop loop;
    SimulatedPortManager ports;
    LogCapture log;
    ORSSerialPortManager::Scope portsScope{ports};
    RunLoop::Scope loopScope{loop};
};

// A way one exchange goes wrong: one of the controller's, or the port refusing the send.
struct FaultKind {
    const char* name;
    // None: the port refuses the bytes of the send.
    std::optional<ExchangeFault> exchange;
};

inline constexpr std::array<FaultKind, 8> kFaultKinds = {{
    {"unplug", ExchangeFault::unplug},
    {"silence", ExchangeFault::silence},
    {"garbage", ExchangeFault::garbage},
    {"short reply", ExchangeFault::shortReply},
    {"refused send", std::nullopt},
    {"wrong verify sum", ExchangeFault::wrongVerifySum},
    {"refused write", ExchangeFault::refusedWrite},
    {"stored wrong", ExchangeFault::storedWrong},
}};

// One fault at one request of a run, as the controller counts them.
struct Strike {
    FaultKind kind;
    std::uint64_t request = 0;
    // The command of that request in the fault-free run.
    std::uint8_t command = 0;

    std::string name() const {
        return stringPrintf("%s at request %llu (command %02X)", kind.name,
                            static_cast<unsigned long long>(request), unsigned{command});
    }
    // A send carries one whole request (checked on the fault-free run), so send N is request N.
    void arm(SimulatedDevice& device) const {
        if (kind.exchange) {
            device.controller.faults.atRequests.push_back({*kind.exchange, request});
        } else {
            device.portFaults.refuseSendAt = request;
        }
    }
};

// Every fault that changes something, at every request of a fault-free run, in order.
inline std::vector<Strike> everyStrike(const std::vector<Bytes>& requests) {
    std::vector<Strike> strikes;
    for (std::size_t index = 0; index < requests.size(); ++index) {
        const std::uint8_t command = requests[index].at(1);
        for (const FaultKind& kind : kFaultKinds) {
            if (!kind.exchange || faultApplies(*kind.exchange, static_cast<CommandCode>(command))) {
                strikes.push_back({kind, index + 1, command});
            }
        }
    }
    return strikes;
}

}  // namespace korvane::testing
