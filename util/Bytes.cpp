#include "util/Bytes.h"

namespace korvane {

std::string describeBytes(ByteView bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(2 + bytes.size() * 3);
    text += '<';
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0) {
            text += ' ';
        }
        text += kDigits[bytes[i] >> 4];
        text += kDigits[bytes[i] & 0x0F];
    }
    text += '>';
    return text;
}

}  // namespace korvane
