#include "firmware/FirmwareFile.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "protocol/HexBytes.h"
#include "protocol/ProgramFrame.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

// Count, two address bytes, type, checksum.
constexpr std::size_t kRecordFrame = 5;
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

bool startsWithBlank(std::string_view text) {
    return !text.empty() && kBlanks.find(text.front()) != std::string_view::npos;
}

bool endsWithBlank(std::string_view text) {
    return !text.empty() && kBlanks.find(text.back()) != std::string_view::npos;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) ==
               std::toupper(static_cast<unsigned char>(y));
    });
}

// A record line, converted and checked: its bytes, or why it cannot be programmed. The end
// record is checked elsewhere.
struct CheckedRecord {
    Bytes bytes;
    std::string problem;
};

CheckedRecord checkRecord(std::string_view line) {
    const std::string_view digits = line.substr(1);
    if (endsWithBlank(digits)) {
        return {{}, "blanks after the record"};
    }
    const auto bad =
        std::find_if(digits.begin(), digits.end(), [](char c) { return hexDigitValue(c) < 0; });
    if (bad != digits.end()) {
        return {{}, stringPrintf("'%c' is not a hexadecimal digit", *bad)};
    }
    if (digits.size() % 2 != 0) {
        return {{}, "odd number of hexadecimal digits"};
    }
    Bytes record = hexToBytes(digits);
    if (record.size() < kRecordFrame) {
        return {{}, "too short for a record"};
    }
    const std::size_t count = record[0];
    if (record.size() != count + kRecordFrame) {
        return {{},
                stringPrintf("byte count %zu, but %zu data bytes", count,
                             record.size() - kRecordFrame)};
    }
    unsigned sum = 0;
    for (const std::uint8_t byte : record) {
        sum += byte;
    }
    if ((sum & 0xFF) != 0) {
        const unsigned expected = (0x100 - ((sum - record.back()) & 0xFF)) & 0xFF;
        return {{},
                stringPrintf("checksum %02X, should be %02X", unsigned{record.back()}, expected)};
    }
    const unsigned address = record[1] << 8 | record[2];
    switch (record[3]) {
        case kDataRecord:
            if (count > kMaxRecordData) {
                return {{},
                        stringPrintf("%zu data bytes, more than one request carries (%zu)", count,
                                     kMaxRecordData)};
            }
            if (address + count > kSegmentSize) {
                return {{},
                        stringPrintf("%zu data bytes at %04X run past the end of the 64 KiB "
                                     "segment",
                                     count, address)};
            }
            return {std::move(record), {}};
        case kExtendedLinearAddressRecord:
            if (count != 2) {
                return {{}, "an upper address record carries 2 bytes"};
            }
            return {std::move(record), {}};
        case kEndOfFileRecord:
            return {{}, "end record before the end of the file"};
        default:
            return {{}, stringPrintf("record type %02X is not supported", unsigned{record[3]})};
    }
}

// Why reading stopped.
enum class Stop { endOfText, shortLine, notARecord };

// Why the records read do not end with the end record: the last record read, or the line that
// stopped the reading.
FirmwareFileProblem missingEndRecord(std::string_view lastRecord, std::size_t lastNumber, Stop stop,
                                     std::string_view stopLine, std::size_t stopNumber,
                                     bool zeroByte) {
    const std::string_view endRecordPrefix = lastRecord.substr(0, kEndRecord.size());
    if (equalIgnoringCase(endRecordPrefix, kEndRecord)) {
        const std::string_view rest = lastRecord.substr(endRecordPrefix.size());
        if (!rest.empty() && endRecordPrefix == kEndRecord) {
            const bool blanks = rest.find_first_not_of(kBlanks) == std::string_view::npos;
            return {lastNumber, blanks ? "blanks after the end record"
                                       : "characters after the end record :00000001FF"};
        }
        if (lastRecord.size() == kEndRecord.size()) {
            return {lastNumber, "the end record must be written in uppercase: :00000001FF"};
        }
    }
    switch (stop) {
        case Stop::shortLine:
            return {stopNumber, "a blank line before the end record :00000001FF"};
        case Stop::notARecord:
            if (stopLine.starts_with(kByteOrderMark)) {
                return {stopNumber, "a byte-order mark before the record"};
            }
            if (startsWithBlank(stopLine)) {
                return {stopNumber, "blanks before the record"};
            }
            return {stopNumber, "not a record (it does not begin with ':'), before the end record"};
        case Stop::endOfText:
            break;
    }
    if (zeroByte) {
        return {stopNumber, "a zero byte ends the text before the end record :00000001FF"};
    }
    if (!stopLine.empty()) {
        return {stopNumber, "the last line has no line end, so it is not read"};
    }
    if (lastNumber == 0) {
        return {0, "the file is empty"};
    }
    return {lastNumber, "the records do not end with the end record :00000001FF"};
}

}  // namespace

FirmwareFileReading readFirmwareFile(ByteView data) {
    const auto zero = std::find(data.begin(), data.end(), std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(data.data()),
                                static_cast<std::size_t>(zero - data.begin()));
    FirmwareFile file;
    std::vector<std::size_t> lineNumbers;
    std::size_t at = 0;
    std::size_t number = 1;
    Stop stop = Stop::endOfText;
    std::string_view stopLine;
    for (;; ++number) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            stopLine = text.substr(at);  // a last line without a line end is not read
            break;
        }
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() < 2) {
            stop = Stop::shortLine;
            break;
        }
        if (line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.front() != ':') {
            stop = Stop::notARecord;
            stopLine = line;
            break;
        }
        file.lines.emplace_back(line);
        lineNumbers.push_back(number);
    }

    if (file.lines.empty() || file.lines.back() != kEndRecord) {
        const std::string_view last =
            file.lines.empty() ? std::string_view() : std::string_view(file.lines.back());
        const std::size_t lastNumber = lineNumbers.empty() ? 0 : lineNumbers.back();
        return {std::nullopt,
                missingEndRecord(last, lastNumber, stop, stopLine, number, zero != data.end())};
    }
    file.lines.pop_back();
    lineNumbers.pop_back();
    if (file.lines.empty()) {
        return {std::nullopt, {0, "no record before the end record"}};
    }
    file.origins.reserve(file.lines.size());
    std::uint16_t upper = kProgramRegion;  // as the link starts an update
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        CheckedRecord record = checkRecord(file.lines[i]);
        if (!record.problem.empty()) {
            return {std::nullopt, {lineNumbers[i], std::move(record.problem)}};
        }
        const Bytes& bytes = record.bytes;
        RecordKind kind = RecordKind::data;
        if (bytes[3] == kExtendedLinearAddressRecord) {
            kind = RecordKind::upperAddress;
            upper = static_cast<std::uint16_t>(bytes[4] << 8 | bytes[5]);
        } else if (!isWritableRegion(upper)) {
            kind = RecordKind::skipped;
            ++file.skippedRecords;
            auto& seen = file.skippedUpperAddresses;
            if (std::find(seen.begin(), seen.end(), upper) == seen.end()) {
                seen.push_back(upper);
            }
        } else {
            RegionContent& region = upper == kProgramRegion ? file.program : file.eprom;
            ++region.records;
            if (const std::size_t count = bytes[0]; count > 0) {
                const auto address = static_cast<std::uint16_t>(bytes[1] << 8 | bytes[2]);
                region.bytes += count;
                region.first = std::min(region.first, address);
                // Within the segment: checked above.
                region.last =
                    std::max(region.last, static_cast<std::uint16_t>(address + count - 1));
            }
        }
        file.origins.push_back(
            {lineNumbers[i], std::uint32_t{upper} << 16 | bytes[1] << 8 | bytes[2], kind});
    }
    // The version is the first data byte of the last record before the end record.
    file.softwareVersion = hexToBytes(std::string_view(file.lines.back()).substr(1))[4];
    return {std::move(file), {}};
}

std::string describeSkippedRecords(const FirmwareFile& file) {
    if (file.skippedRecords == 0) {
        return {};
    }
    const auto& uppers = file.skippedUpperAddresses;
    std::string text = stringPrintf("Records not written: %zu (upper address%s ",
                                    file.skippedRecords, uppers.size() == 1 ? "" : "es");
    for (std::size_t i = 0; i < uppers.size(); ++i) {
        text += stringPrintf(i == 0 ? "0x%04X" : ", 0x%04X", unsigned{uppers[i]});
    }
    return text + ")";
}

std::string describeProblem(const FirmwareFileProblem& problem) {
    return problem.line == 0 ? problem.reason
                             : stringPrintf("line %zu: %s", problem.line, problem.reason.c_str());
}

}  // namespace korvane
