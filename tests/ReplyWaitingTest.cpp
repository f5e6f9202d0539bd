#include <gtest/gtest.h>

#include "tests/support/SimulatedBench.h"

namespace korvane::testing {
namespace {

struct Completion {
    int calls = 0;
    bool received = false;
    Bytes bytes;
    Duration at{-1};
};

class ReplyWaitingTest : public SimulatedBench {
protected:
    void SetUp() override {
        link = openLink();
        controller().controller.faults.silent = true;
    }

    // Starts a wait now and records its completion.
    void wait(std::int32_t budgetMs, std::int32_t expectedCount) {
        started = loop.now();
        link->waitForReply(
            [this](bool received, ByteView bytes) {
                ++result.calls;
                result.received = received;
                result.bytes.assign(bytes.begin(), bytes.end());
                result.at = loop.now() - started;
            },
            budgetMs, expectedCount);
    }

    void transmitAt(Duration after, Bytes bytes) {
        loop.schedule(after, [this, bytes] { controller().transmit(bytes); });
    }

    std::unique_ptr<SimpleSerial> link;
    Duration started{0};
    Completion result;
};

TEST_F(ReplyWaitingTest, WaitEndsAtTheFirstPollThatSeesEnoughOrWhenTheBudgetIsSpent) {
    // One byte every 5 ms from 3 ms on, 26 in all.
    const struct {
        std::int32_t budgetMs;
        std::int32_t expectedCount;
        Duration at;
        std::size_t received;
    } cases[] = {
        {200, kUnreachableCount, Duration{200}, 26},  // the whole budget, everything delivered
        {1000, 11, Duration{60}, 12},                 // the 11th at 53 ms, the check at 60 ms
        {15, kUnreachableCount, Duration{20}, 4},     // budgets count 10 ms polls
        {0, kUnreachableCount, Duration{0}, 0},       // within the call
        {-5, 26, Duration{0}, 0},
        {200, 0, Duration{0}, 0},
    };
    for (const auto& each : cases) {
        result = {};
        const auto firedBefore = loop.firedTimers();
        wait(each.budgetMs, each.expectedCount);
        for (int i = 0; i < 26; ++i) {
            transmitAt(Duration{3 + 5 * i}, Bytes{static_cast<std::uint8_t>(i)});
        }
        EXPECT_EQ(result.calls, each.at == Duration{0} ? 1 : 0) << each.budgetMs;
        loop.runUntilIdle();
        EXPECT_EQ(result.at, each.at) << each.budgetMs;
        EXPECT_EQ(result.bytes.size(), each.received) << each.budgetMs;
        EXPECT_EQ(result.received, each.received > 0);
        EXPECT_EQ(result.calls, 1);
        if (each.budgetMs == 200 && each.expectedCount == kUnreachableCount) {
            EXPECT_EQ(loop.firedTimers() - firedBefore, 20u + 26u) << "20 polls";
        }
    }
}

TEST_F(ReplyWaitingTest, BytesFromBeforeTheWaitAreNeverSeen) {
    controller().transmit(Bytes{0x55});
    controller().transmit(Bytes{0x00, 0x01});
    EXPECT_EQ(log.count("didReceiveData <00 01>, total: <55 00 01>"), 1u);
    EXPECT_EQ(link->receiver().dataLength(), 3u);
    wait(50, kUnreachableCount);
    EXPECT_EQ(link->receiver().dataLength(), 0u);
    loop.runUntilIdle();
    EXPECT_FALSE(result.received);
    EXPECT_TRUE(result.bytes.empty());
}

TEST_F(ReplyWaitingTest, DeviceTalkingOnWhileNobodyWaitsKeepsOnlyItsLatestBytes) {
    Bytes burst(1000);
    for (int i = 0; i < 200; ++i) {
        burst[0] = static_cast<std::uint8_t>(i);
        controller().transmit(burst);
    }
    EXPECT_EQ(link->receiver().dataLength(), ORSDelegate::kMaxBuffered);
    EXPECT_EQ(link->receiver().data()[ORSDelegate::kMaxBuffered - 1000], 199);
    wait(20, kUnreachableCount);
    loop.runUntilIdle();
    EXPECT_FALSE(result.received);
}

}  // namespace
}  // namespace korvane::testing
