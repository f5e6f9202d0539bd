#include "firmware/FirmwareFile.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "protocol/HexBytes.h"
#include "protocol/ProgramFrame.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

// Count, two address bytes, type, checksum.
constexpr std::size_t kRecordFrame = 5;

// Why the record line cannot be programmed, or nothing. The end record is checked elsewhere.
std::optional<std::string> recordProblem(std::string_view line) {
    const std::string_view digits = line.substr(1);
    const auto bad =
        std::find_if(digits.begin(), digits.end(), [](char c) { return hexDigitValue(c) < 0; });
    if (bad != digits.end()) {
        return stringPrintf("'%c' is not a hexadecimal digit", *bad);
    }
    if (digits.size() % 2 != 0) {
        return std::string("odd number of hexadecimal digits");
    }
    const Bytes record = hexToBytes(digits);
    if (record.size() < kRecordFrame) {
        return std::string("too short for a record");
    }
    const std::size_t count = record[0];
    if (record.size() != count + kRecordFrame) {
        return stringPrintf("byte count %zu, but %zu data bytes", count,
                            record.size() - kRecordFrame);
    }
    unsigned sum = 0;
    for (const std::uint8_t byte : record) {
        sum += byte;
    }
    if ((sum & 0xFF) != 0) {
        const unsigned expected = (0x100 - ((sum - record.back()) & 0xFF)) & 0xFF;
        return stringPrintf("checksum %02X, should be %02X", unsigned{record.back()}, expected);
    }
    switch (record[3]) {
        case kDataRecord:
            if (count > kMaxRecordData) {
                return stringPrintf("%zu data bytes, more than one request carries (%zu)", count,
                                    kMaxRecordData);
            }
            return std::nullopt;
        case kExtendedLinearAddressRecord:
            if (count != 2) {
                return std::string("an upper address record carries 2 bytes");
            }
            return std::nullopt;
        case kEndOfFileRecord:
            return std::string("end record before the end of the file");
        default:
            return stringPrintf("record type %02X is not supported", unsigned{record[3]});
    }
}

}  // namespace

FirmwareFileReading readFirmwareFile(ByteView data) {
    const auto zero = std::find(data.begin(), data.end(), std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(data.data()),
                                static_cast<std::size_t>(zero - data.begin()));
    FirmwareFile file;
    std::vector<std::size_t> lineNumbers;
    std::size_t at = 0;
    for (std::size_t number = 1;; ++number) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            break;  // a last line without a line end is not read
        }
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() < 2) {
            break;
        }
        if (line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.front() != ':') {
            break;
        }
        file.lines.emplace_back(line);
        lineNumbers.push_back(number);
    }

    if (file.lines.empty() || file.lines.back() != kEndRecord) {
        const std::size_t last = lineNumbers.empty() ? 0 : lineNumbers.back();
        return {std::nullopt, {last, "the records do not end with the end record :00000001FF"}};
    }
    file.lines.pop_back();
    lineNumbers.pop_back();
    if (file.lines.empty()) {
        return {std::nullopt, {0, "no record before the end record"}};
    }
    for (std::size_t i = 0; i < file.lines.size(); ++i) {
        if (auto problem = recordProblem(file.lines[i])) {
            return {std::nullopt, {lineNumbers[i], std::move(*problem)}};
        }
    }
    // The version is the first data byte of the last record before the end record.
    file.softwareVersion = hexToBytes(std::string_view(file.lines.back()).substr(1))[4];
    return {std::move(file), {}};
}

Bytes readWholeFile(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return {};
    }
    return Bytes(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
}

}  // namespace korvane
