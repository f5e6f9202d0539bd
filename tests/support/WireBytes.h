#pragma once

#include "protocol/CommandFrame.h"
#include "util/Bytes.h"

namespace korvane::testing {

// Bytes as they go on the wire, in a form that compares and prints.
inline Bytes bytesOf(ByteView view) {
    return Bytes(view.begin(), view.end());
}

// The fixed request `index` of the command table.
inline Bytes frameBytes(int index) {
    return bytesOf(CommandTable[index]);
}

// A request's header followed by its data.
inline Bytes concat(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

}  // namespace korvane::testing
