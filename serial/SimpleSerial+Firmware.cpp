// Replacing the firmware through the bootloader: erase, one record at a time, each program-memory
// record checked by the word sum the device computes over what it stored.
#include "platform/Log.h"
#include "protocol/HexBytes.h"
#include "serial/SimpleSerial.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

// A record write is answered by 11 bytes whose last is 1; a Verify by 12, the sum in 10-11.
constexpr std::size_t kWriteAcknowledgeLength = 11;
constexpr std::size_t kVerifyReplyLength = 12;
constexpr std::size_t kAcknowledgeStatus = 10;

}  // namespace

void SimpleSerial::eraseFirmware(ResultBlock completion) {
    CommandFrame request;
    buildFrame(request, kEraseEntry);
    if (!send(request)) {
        completion(false);
        return;
    }
    // The device answers when it is done, at some point within the second; nothing in the
    // answer is needed.
    waitForReply([completion = std::move(completion)](bool, ByteView) { completion(true); },
                 kFirmwareReplyBudgetMs, kUnreachableCount);
}

void SimpleSerial::resetFirmwareState() {
    programFrame = ProgramFrame{};
    verifyFrame = VerifyFrame{};
}

void SimpleSerial::writeRecord(const std::string& line, ResultBlock completion) {
    const Bytes record = hexToBytes(std::string_view(line).substr(line.empty() ? 0 : 1));
    if (record.size() < kRecordHeaderLength) {
        logLine("Could not update firmware. Record too short: " + line);
        completion(false);
        return;
    }
    switch (record[3]) {
        case kDataRecord:
            break;
        case kExtendedLinearAddressRecord:
            if (record.size() < kRecordHeaderLength + 2) {
                logLine("Could not update firmware. Record too short: " + line);
                completion(false);
                return;
            }
            // The record has the upper address high byte first; the frame low byte first.
            programFrame.buffer[8] = record[5];
            programFrame.buffer[9] = record[4];
            completion(true);
            return;
        default:
            logLine("Could not update firmware. 3");
            completion(false);
            return;
    }
    const std::size_t count = record[0];
    if (count > kMaxRecordData || record.size() < kRecordHeaderLength + count) {
        logLine("Could not update firmware. Record does not fit: " + line);
        completion(false);
        return;
    }
    if (!encodeRecord(programFrame, record)) {
        completion(true);  // a region this device does not have: skipped
        return;
    }
    waitForReply(
        [this, completion = std::move(completion)](bool received, ByteView reply) {
            const bool acknowledged = received && reply.size() == kWriteAcknowledgeLength &&
                                      reply[kAcknowledgeStatus] == 1;
            if (!acknowledged) {
                logLine(stringPrintf("Could not update firmware 2. success: %d, datalen: %zu",
                                     received ? 1 : 0, reply.size()));
                completion(false);
                return;
            }
            // Only program memory is checked; the eprom region is taken as written.
            if (programFrame.buffer[8] == kProgramRegion && programFrame.buffer[9] == 0) {
                verifyRecord(completion);
                return;
            }
            completion(true);
        },
        kFirmwareReplyBudgetMs, static_cast<std::int32_t>(kWriteAcknowledgeLength),
        ReplyEnd{kWriteAcknowledgeLength});
    send(programFrame.request());
}

void SimpleSerial::verifyRecord(ResultBlock completion) {
    // The frame holds the last record's address low byte first.
    const auto address =
        static_cast<std::uint16_t>(programFrame.buffer[6] | programFrame.buffer[7] << 8);
    readProgramSum(address, programFrame.recordLength,
                   [this, completion = std::move(completion)](std::optional<std::uint16_t> sum) {
                       completion(sum == programFrame.recordSum);
                   });
}

void SimpleSerial::readProgramSum(std::uint16_t address, std::uint16_t length,
                                  SumBlock completion) {
    waitForReply(
        [completion = std::move(completion)](bool, ByteView reply) {
            if (reply.size() < kVerifyReplyLength) {
                completion(std::nullopt);
                return;
            }
            completion(static_cast<std::uint16_t>(reply[10] | (reply[11] << 8)));
        },
        kFirmwareReplyBudgetMs, static_cast<std::int32_t>(kVerifyReplyLength),
        ReplyEnd{kVerifyReplyLength});
    auto& bytes = verifyFrame.bytes;
    bytes[2] = static_cast<std::uint8_t>(length & 0xFF);
    bytes[3] = static_cast<std::uint8_t>(length >> 8);
    bytes[6] = static_cast<std::uint8_t>(address & 0xFF);
    bytes[7] = static_cast<std::uint8_t>(address >> 8);
    send(ByteView(bytes).first(verifyFrame.length));
}

}  // namespace korvane
