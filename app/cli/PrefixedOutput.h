#pragma once

#include <ostream>
#include <streambuf>
#include <string>

namespace korvane {

// An output stream that starts each line it passes on with a prefix ("/dev/ttyUSB0: "), so that
// the lines of several controllers can share one terminal. Lines are passed on whole, so lines
// of different streams never mix.
class PrefixedOutput final : private std::streambuf, public std::ostream {
public:
    PrefixedOutput(std::ostream& target, std::string prefix);
    ~PrefixedOutput() override;
    PrefixedOutput(const PrefixedOutput&) = delete;
    PrefixedOutput& operator=(const PrefixedOutput&) = delete;

private:
    int overflow(int character) override;

    std::ostream& target_;
    std::string prefix_;
    std::string line_;
};

}  // namespace korvane
