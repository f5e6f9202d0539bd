// KORVANE_PROPERTY_RUNS=N runs N sequences instead of the few hundred CI runs;
// KORVANE_PROPERTY_SEED=S runs those a failed run printed, to replay its failure.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

namespace {
constexpr const char* kCiRuns = "300";
}

int main(int argc, char** argv) {
    const char* runs = std::getenv("KORVANE_PROPERTY_RUNS");
    const char* seed = std::getenv("KORVANE_PROPERTY_SEED");
    const std::string chosen = seed != nullptr ? seed : std::to_string(std::random_device{}());
    std::printf("Property seed %s: KORVANE_PROPERTY_SEED=%s replays this run\n", chosen.c_str(),
                chosen.c_str());
    // Read by the property library at its first use, which comes later.
    const char* given = std::getenv("RC_PARAMS");
    std::string params = given != nullptr ? given : "";
    params += std::string(params.empty() ? "" : " ") + "max_success=" + (runs ? runs : kCiRuns) +
              " seed=" + chosen;
    setenv("RC_PARAMS", params.c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
