#include "protocol/HexBytes.h"

#include <cctype>

namespace korvane {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

namespace {

std::uint8_t pieceValue(std::string_view piece) {
    std::size_t at = 0;
    while (at < piece.size() && std::isspace(static_cast<unsigned char>(piece[at])) != 0) {
        ++at;
    }
    bool negative = false;
    if (at < piece.size() && (piece[at] == '+' || piece[at] == '-')) {
        negative = piece[at] == '-';
        ++at;
    }
    int value = 0;
    for (; at < piece.size() && hexDigitValue(piece[at]) >= 0; ++at) {
        value = value * 16 + hexDigitValue(piece[at]);
    }
    return static_cast<std::uint8_t>(negative ? -value : value);
}

}  // namespace

Bytes hexToBytes(std::string_view text) {
    Bytes bytes;
    bytes.reserve((text.size() + 1) / 2);
    for (std::size_t at = 0; at < text.size(); at += 2) {
        bytes.push_back(pieceValue(text.substr(at, 2)));
    }
    return bytes;
}

}  // namespace korvane
