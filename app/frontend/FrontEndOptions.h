#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

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

// --port PATH (repeatable) and --demo, as both front ends take them.
void addPortOptions(CLI::App& app, FrontEndOptions& options);

}  // namespace korvane
