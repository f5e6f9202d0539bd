#pragma once

#include <array>
#include <cstdint>
#include <random>
#include <set>
#include <vector>

#include "protocol/CommandFrame.h"
#include "util/Bytes.h"

namespace korvane {

// What goes wrong with a single exchange.
enum class ExchangeFault {
    // The device vanishes at the request, which gets no answer.
    unplug,
    // The request gets no answer.
    silence,
    // It is answered with random bytes of random length, and not carried out.
    garbage,
    // Its reply lacks the last byte.
    shortReply,
    // A Verify is answered with a word sum one too high.
    wrongVerifySum,
    // A memory write is acknowledged with status 0 and stores nothing.
    refusedWrite,
    // A memory write is acknowledged, but the first byte it changes is stored with its lowest
    // bit flipped: a cell that did not take, which only a check of what was stored can tell.
    storedWrong,
};

// Whether `fault` changes anything at a request with `code`: a reset has no reply to shorten,
// only a Verify carries a sum, only writes store.
bool faultApplies(ExchangeFault fault, CommandCode code);

// A fault that strikes the requests from `request` on (1 is the first the controller counts, as
// requests() does), `count` of them in a row.
struct RequestFault {
    ExchangeFault kind = ExchangeFault::silence;
    std::uint64_t request = 0;
    std::uint64_t count = 1;

    bool strikes(std::uint64_t number) const {
        return number >= request && number - request < count;
    }
};

// Ways the simulated device misbehaves on request.
struct ControllerFaults {
    // Answers nothing at all.
    bool silent = false;
    // Answers nothing to these commands.
    std::set<CommandCode> unanswered;
    // Answers every request with random bytes of random length.
    bool garbage = false;
    // Changes the last header byte of every reply.
    bool wrongHeader = false;
    // Changes it only in the replies to these commands.
    std::set<CommandCode> wrongHeaderTo;
    // Shortens (negative) or lengthens (positive) every reply by this many bytes.
    int replyLengthDelta = 0;
    // Acknowledges memory writes with status 0 and stores nothing.
    bool refuseWrites = false;
    // Refuses only the write that is this request (1 is the first); 0 none.
    std::uint64_t refuseRequest = 0;
    // Answers Verify with a word sum one too high.
    bool wrongVerifySum = false;
    // Vanishes at this request (1 is the first), which gets no answer; 0 never.
    std::uint64_t unplugAtRequest = 0;
    // Faults for single requests; unplugAtRequest and refuseRequest are two of them.
    std::vector<RequestFault> atRequests;

    // Whether a fault of `kind` strikes request `number`.
    bool strikes(ExchangeFault kind, std::uint64_t number) const;
};

// The controller's bootloader, without timing: requests in, replies out. Requests may arrive in
// pieces; bytes that cannot start a frame are skipped.
class SimulatedController {
public:
    struct Response {
        std::vector<Bytes> replies;
        bool unplugged = false;
        bool restarting = false;
    };

    static constexpr std::uint16_t kSettingsAddress = 0x0010;
    static constexpr std::size_t kSettingsSize = 12;
    static constexpr std::uint16_t kApplicationStart = 0x1000;
    static constexpr std::uint8_t kErasedByte = 0xFF;
    // A write request carries at most this many data bytes.
    static constexpr std::size_t kMaxDataLength = 245;

    SimulatedController();

    Response receive(ByteView bytes);

    ControllerFaults faults;
    std::array<std::uint8_t, 2> bootloaderVersion{0x01, 0x2A};
    std::array<std::uint8_t, 2> deviceId{0xBE, 0xEF};

    // Program memory (upper address 0x0000) and the eprom region (upper address 0x00F0), 64 KiB
    // each.
    std::vector<std::uint8_t> programMemory;
    std::vector<std::uint8_t> eprom;

    // The 12 settings bytes at eprom 0x0010: version, configMode, aux, choiceBits, speed, auto, ...
    ByteView settingsRecord() const;
    void setSettingsRecord(ByteView record);

    // Every whole request received, in order.
    const std::vector<Bytes>& requests() const { return requests_; }
    // Every reply to a settings read, as it went out, faults and all.
    const std::vector<Bytes>& settingsReplies() const { return settingsReplies_; }
    void clearRequests() { requests_.clear(); }

    // Word sum of `length` program-memory bytes from `address`, as Verify answers it.
    std::uint16_t wordSum(std::uint32_t address, std::size_t length) const;

private:
    void handle(ByteView request, Response& response);
    // The reply to `request`, if any, with the faults that strike it.
    void respond(ByteView request, Response& response);
    Bytes answer(ByteView request, Response& response);
    Bytes acknowledge(ByteView request, bool accepted) const;
    std::vector<std::uint8_t>* region(std::uint16_t upperAddress);

    Bytes pending_;
    std::vector<Bytes> requests_;
    std::vector<Bytes> settingsReplies_;
    std::mt19937 random_{20261206};
};

}  // namespace korvane
