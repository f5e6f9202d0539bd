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
    // None: the port refuses the bytes of the send, or the memory is changed.
    std::optional<ExchangeFault> exchange;
    // Not a fault of the exchange: a program byte the request sums is not the file's.
    bool changesProgram = false;
};

inline constexpr FaultKind kProgramChanged = {"program byte changed", std::nullopt, true};

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
    // The program address the request names, for a change of memory.
    std::uint16_t address = 0;

    std::string name() const {
        return stringPrintf("%s at request %llu (command %02X)", kind.name,
                            static_cast<unsigned long long>(request), unsigned{command});
    }
    // A send carries one whole request (checked on the fault-free run), so send N is request N.
    void arm(SimulatedDevice& device) const {
        if (kind.changesProgram) {
            device.controller.programMemory[address] ^= 0x01;
        } else if (kind.exchange) {
            device.controller.faults.atRequests.push_back({*kind.exchange, request});
        } else {
            device.portFaults.refuseSendAt = request;
        }
    }
};

// Every fault that changes something, at every request of a fault-free run, in order; with
// `memoryToo`, a changed program byte for every Verify as well.
inline std::vector<Strike> everyStrike(const std::vector<Bytes>& requests, bool memoryToo) {
    std::vector<Strike> strikes;
    for (std::size_t index = 0; index < requests.size(); ++index) {
        const std::uint8_t command = requests[index].at(1);
        for (const FaultKind& kind : kFaultKinds) {
            if (!kind.exchange || faultApplies(*kind.exchange, static_cast<CommandCode>(command))) {
                strikes.push_back({kind, index + 1, command});
            }
        }
        if (memoryToo && command == static_cast<std::uint8_t>(CommandCode::Verify)) {
            const ByteView request = requests[index];
            strikes.push_back({kProgramChanged, index + 1, command,
                               static_cast<std::uint16_t>(request[6] | request[7] << 8)});
        }
    }
    return strikes;
}

}  // namespace korvane::testing
