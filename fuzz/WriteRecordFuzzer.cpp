// writeRecord on arbitrary record lines against the simulated controller: every call completes
// exactly once, nothing reads beyond a record, and nothing hangs.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzBench.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzBench bench;
    bench.link->resetFirmwareState();
    const std::string text(reinterpret_cast<const char*>(data), size);
    // One line per text line, so a run can set an upper address and then write.
    std::size_t at = 0;
    for (int lines = 0; lines < 16 && at <= text.size(); ++lines) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        bench.complete([&](ResultBlock done) { bench.link->writeRecord(line, done); });
        at = end + 1;
    }
    return 0;
}
