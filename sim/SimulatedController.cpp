#include "sim/SimulatedController.h"

#include "protocol/ProgramFrame.h"

#include <algorithm>

namespace korvane {

namespace {

constexpr std::size_t kMemorySize = kSegmentSize;

std::uint16_t word(ByteView bytes, std::size_t at) {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

bool carriesData(std::uint8_t code) {
    return code == static_cast<std::uint8_t>(CommandCode::WriteProgram) ||
           code == static_cast<std::uint8_t>(CommandCode::WriteEprom);
}

}  // namespace

bool faultApplies(ExchangeFault fault, CommandCode code) {
    const bool write = code == CommandCode::WriteProgram || code == CommandCode::WriteEprom;
    switch (fault) {
        case ExchangeFault::unplug:
        case ExchangeFault::silence:
        case ExchangeFault::garbage:
            return true;
        case ExchangeFault::shortReply:
            return code != CommandCode::Reset;
        case ExchangeFault::wrongVerifySum:
            return code == CommandCode::Verify;
        case ExchangeFault::refusedWrite:
        case ExchangeFault::storedWrong:
            return write;
    }
    return false;
}

bool ControllerFaults::strikes(ExchangeFault kind, std::uint64_t number) const {
    const auto at = [number](std::uint64_t request) {
        return request != 0 && request == number;
    };
    if ((kind == ExchangeFault::unplug && at(unplugAtRequest)) ||
        (kind == ExchangeFault::refusedWrite && at(refuseRequest))) {
        return true;
    }
    return std::any_of(atRequests.begin(), atRequests.end(), [&](const RequestFault& fault) {
        return fault.kind == kind && fault.strikes(number);
    });
}

SimulatedController::SimulatedController()
    : programMemory(kMemorySize, kErasedByte), eprom(kMemorySize, kErasedByte) {
    // Firmware 7, configuration choice 1, 19 mph, automatic mode off.
    const std::array<std::uint8_t, kSettingsSize> record = {0x07, 0x01, 0x03, 0x09, 19,   0x00,
                                                            0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    setSettingsRecord(record);
}

ByteView SimulatedController::settingsRecord() const {
    return ByteView(eprom).subspan(kSettingsAddress, kSettingsSize);
}

void SimulatedController::setSettingsRecord(ByteView record) {
    std::copy_n(record.begin(), std::min(record.size(), kSettingsSize),
                eprom.begin() + kSettingsAddress);
}

std::uint16_t SimulatedController::wordSum(std::uint32_t address, std::size_t length) const {
    const ByteView memory(programMemory);
    if (address >= memory.size()) {
        return 0;
    }
    return korvane::wordSum(memory.subspan(address, std::min(length, memory.size() - address)));
}

SimulatedController::Response SimulatedController::receive(ByteView bytes) {
    Response response;
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    std::size_t at = 0;
    while (true) {
        while (at < pending_.size() && pending_[at] != kFrameStart) {
            ++at;
        }
        if (pending_.size() - at < kFrameLength) {
            break;
        }
        const ByteView rest = ByteView(pending_).subspan(at);
        std::size_t length = kFrameLength;
        if (carriesData(rest[1])) {
            const std::size_t count = word(rest, 2);
            if (count > kMaxDataLength) {
                ++at;  // not a frame this device would take: look for the next start
                continue;
            }
            length += count;
        }
        if (rest.size() < length) {
            break;
        }
        handle(rest.first(length), response);
        at += length;
        if (response.unplugged) {
            at = pending_.size();
        }
    }
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(at));
    return response;
}

void SimulatedController::handle(ByteView request, Response& response) {
    requests_.emplace_back(request.begin(), request.end());
    const std::size_t repliesBefore = response.replies.size();
    respond(request, response);
    if (request[1] == static_cast<std::uint8_t>(CommandCode::ReadEprom) &&
        response.replies.size() > repliesBefore) {
        settingsReplies_.push_back(response.replies.back());
    }
}

void SimulatedController::respond(ByteView request, Response& response) {
    const std::uint64_t number = requests_.size();
    if (faults.strikes(ExchangeFault::unplug, number)) {
        response.unplugged = true;
        return;
    }
    const auto code = static_cast<CommandCode>(request[1]);
    if (faults.silent || faults.unanswered.contains(code) ||
        faults.strikes(ExchangeFault::silence, number)) {
        return;
    }
    if (faults.garbage || faults.strikes(ExchangeFault::garbage, number)) {
        std::uniform_int_distribution<int> length(1, 40);
        std::uniform_int_distribution<int> value(0, 255);
        Bytes noise(static_cast<std::size_t>(length(random_)));
        std::generate(noise.begin(), noise.end(),
                      [&] { return static_cast<std::uint8_t>(value(random_)); });
        response.replies.push_back(std::move(noise));
        return;
    }
    Bytes reply = answer(request, response);
    if (reply.empty()) {
        return;
    }
    if (faults.wrongHeader ||
        faults.wrongHeaderTo.count(static_cast<CommandCode>(request[1])) > 0) {
        reply[kFrameLength - 1] ^= 0x01;
    }
    if (faults.replyLengthDelta != 0) {
        const auto length = static_cast<long>(reply.size()) + faults.replyLengthDelta;
        reply.resize(static_cast<std::size_t>(std::max(length, 1L)), 0xEE);
    }
    if (faults.strikes(ExchangeFault::shortReply, number) && reply.size() > 1) {
        reply.pop_back();
    }
    response.replies.push_back(std::move(reply));
}

Bytes SimulatedController::answer(ByteView request, Response& response) {
    const auto code = static_cast<CommandCode>(request[1]);
    const std::uint16_t count = word(request, 2);
    const std::uint16_t address = word(request, 6);
    const std::uint16_t upper = word(request, 8);
    Bytes reply(request.begin(), request.begin() + kFrameLength);
    switch (code) {
        case CommandCode::Identify: {
            IdentifyReply identity;
            identity.bootloaderVersion = bootloaderVersion;
            identity.deviceId = deviceId;
            return Bytes(identity.bytes().begin(), identity.bytes().end());
        }
        case CommandCode::ReadEprom: {
            const std::vector<std::uint8_t>* memory = region(upper);
            if (memory == nullptr || address + std::size_t{count} > memory->size() ||
                count > kMaxDataLength) {
                return {};
            }
            reply.resize(kFrameLength + count);
            std::copy_n(memory->begin() + address, count, reply.begin() + kFrameLength);
            return reply;
        }
        case CommandCode::WriteProgram:
        case CommandCode::WriteEprom: {
            std::vector<std::uint8_t>* memory = region(upper);
            const bool expectedRegion =
                (code == CommandCode::WriteProgram) == (upper == kProgramRegion);
            const std::uint64_t number = requests_.size();
            const bool refused =
                faults.refuseWrites || faults.strikes(ExchangeFault::refusedWrite, number);
            const bool accepted = !refused && memory != nullptr && expectedRegion &&
                                  address + std::size_t{count} <= memory->size();
            if (accepted) {
                const auto data = request.begin() + kFrameLength;
                const auto stored = memory->begin() + address;
                const auto changed = std::mismatch(stored, stored + count, data).first;
                std::copy_n(data, count, stored);
                if (changed != stored + count &&
                    faults.strikes(ExchangeFault::storedWrong, number)) {
                    *changed ^= 0x01;
                }
            }
            return acknowledge(request, accepted);
        }
        case CommandCode::Erase:
            std::fill(programMemory.begin() + kApplicationStart, programMemory.end(), kErasedByte);
            return acknowledge(request, true);
        case CommandCode::Verify: {
            std::uint16_t sum = wordSum(address, count);
            if (faults.wrongVerifySum ||
                faults.strikes(ExchangeFault::wrongVerifySum, requests_.size())) {
                ++sum;
            }
            reply.push_back(static_cast<std::uint8_t>(sum & 0xFF));
            reply.push_back(static_cast<std::uint8_t>(sum >> 8));
            return reply;
        }
        case CommandCode::Reset:
            response.restarting = true;
            return {};
    }
    return {};
}

Bytes SimulatedController::acknowledge(ByteView request, bool accepted) const {
    Bytes reply(request.begin(), request.begin() + kFrameLength);
    reply.push_back(accepted ? 1 : 0);
    return reply;
}

std::vector<std::uint8_t>* SimulatedController::region(std::uint16_t upperAddress) {
    if (upperAddress == kProgramRegion) {
        return &programMemory;
    }
    if (upperAddress == kEpromRegion) {
        return &eprom;
    }
    return nullptr;
}

}  // namespace korvane
