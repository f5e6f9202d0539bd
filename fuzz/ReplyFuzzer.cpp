// The reply steps of identify, readSettings, writeSettings, writeRecord and verifyRecord fed
// arbitrary replies, of any length and content, in any chunks at any times.
//
// Input: one byte choosing the operation, then chunks of [delay in ms][length][bytes].
#include <cstddef>
#include <cstdint>

#include "fuzz/FuzzBench.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    fuzz::FuzzBench bench;
    bench.device.controller.faults.silent = true;
    Duration when{0};
    for (std::size_t at = 1; at + 2 <= size;) {
        when += Duration{data[at]};
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        const Bytes chunk(data + at + 2, data + at + 2 + length);
        bench.loop.schedule(when, [&bench, chunk] { bench.device.transmit(chunk); });
        at += 2 + length;
    }
    SimpleSerial& link = *bench.link;
    bool success = false;
    switch (data[0] % 5) {
        case 0:
            success = bench.complete([&](ResultBlock done) { link.identify(done); });
            if (success && link.identityText.rfind("Bootloader: ", 0) != 0) {
                __builtin_trap();
            }
            break;
        case 1:
            success = bench.complete([&](ResultBlock done) { link.readSettings(done); });
            break;
        case 2:
            success = bench.complete([&](ResultBlock done) { link.writeSettings(done); });
            break;
        case 3:
            success = bench.complete(
                [&](ResultBlock done) { link.writeRecord(":0400100001020304E2", done); });
            break;
        case 4:
            success = bench.complete([&](ResultBlock done) { link.verifyRecord(done); });
            break;
    }
    // A settings read that succeeded left a record with the read header.
    if (success && data[0] % 5 <= 2 && frameIndex(link.settings.header) != kReadSettingsEntry) {
        __builtin_trap();
    }
    return 0;
}
