#pragma once

#include <string>
#include <vector>

namespace korvane::bench {

// How a run of korvane-cli went: the time it took, its CPU time, its peak memory, whether it
// ended with status 0.
struct CliRun {
    double seconds = -1;
    double cpuSeconds = 0;
    long peakKib = 0;
    bool ok = false;
};

// Runs korvane-cli (`cli`) with `arguments`, its output thrown away.
CliRun runCli(const std::string& cli, const std::vector<std::string>& arguments);

}  // namespace korvane::bench
