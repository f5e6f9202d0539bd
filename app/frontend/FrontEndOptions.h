#pragma once

#include <string>
#include <vector>

namespace korvane {

// The options both front ends take.
struct FrontEndOptions {
    // The built-in simulated controller instead of the serial ports.
    bool demo = false;
    // Only these ports are probed.
    std::vector<std::string> ports;
    // The log goes to stderr.
    bool verbose = false;
    // Each wait ends as soon as its reply is complete.
    bool fast = false;
};

}  // namespace korvane
