// KORVANE_PROPERTY_RUNS=N runs N sequences instead of the few hundred CI runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {
constexpr const char* kCiRuns = "300";
}

int main(int argc, char** argv) {
    // Read by the property library at its first use, which comes later.
    const char* runs = std::getenv("KORVANE_PROPERTY_RUNS");
    const char* given = std::getenv("RC_PARAMS");
    std::string params = given != nullptr ? given : "";
    params += std::string(params.empty() ? "" : " ") + "max_success=" + (runs ? runs : kCiRuns);
    setenv("RC_PARAMS", params.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
