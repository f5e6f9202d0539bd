#include "protocol/ProgramFrame.h"

#include <algorithm>

#include "protocol/CommandFrame.h"

namespace korvane {

std::uint16_t wordSum(ByteView data) {
    unsigned sum = 0;
    for (std::size_t i = 0; i < data.size(); ++i) {
        sum += i % 2 == 0 ? data[i] : data[i] << 8;
    }
    return static_cast<std::uint16_t>(sum);
}

bool encodeRecord(ProgramFrame& frame, ByteView record) {
    const std::uint8_t count = record[0];
    auto& buffer = frame.buffer;
    buffer[0] = kFrameStart;
    buffer[2] = count;
    buffer[3] = 0x00;
    buffer[4] = 0x55;
    buffer[5] = 0xAA;
    // The record has the address high byte first; the frame has it low byte first.
    buffer[6] = record[2];
    buffer[7] = record[1];
    // Checked after the address is stored: the last Verify of an update finds the address of
    // the last data record here, skipped or not.
    if (!isWritableRegion(static_cast<std::uint16_t>(buffer[8] | buffer[9] << 8))) {
        return false;
    }
    const ByteView data = record.subspan(kRecordHeaderLength, count);
    std::copy(data.begin(), data.end(), buffer.begin() + kFrameLength);
    frame.frameLength = static_cast<std::uint8_t>(count + kFrameLength);
    if (buffer[8] == kEpromRegion) {
        buffer[1] = static_cast<std::uint8_t>(CommandCode::WriteEprom);
        return true;
    }
    buffer[1] = static_cast<std::uint8_t>(CommandCode::WriteProgram);
    frame.recordLength = count;
    frame.recordSum = wordSum(data);
    return true;
}

}  // namespace korvane
