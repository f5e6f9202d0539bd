#include <gtest/gtest.h>

#include "tests/support/SimulatedBench.h"

namespace korvane::testing {
namespace {

struct Completion {
    bool called = false;
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
                result.called = true;
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

Bytes identifyReply() {
    const IdentifyReply reply;
    return Bytes(reply.bytes().begin(), reply.bytes().end());
}

TEST_F(ReplyWaitingTest, UnreachableCountRunsTheWholeBudgetAndDeliversEverything) {
    wait(kSettingsReplyBudgetMs, kUnreachableCount);
    transmitAt(Duration{30}, identifyReply());
    loop.runFor(Duration{199});
    EXPECT_FALSE(result.called);
    loop.runUntilIdle();
    EXPECT_EQ(result.at, Duration{200});
    EXPECT_TRUE(result.received);
    EXPECT_EQ(result.bytes, identifyReply());
    EXPECT_EQ(result.calls, 1);
}

TEST_F(ReplyWaitingTest, ExpectedCountEndsAtTheFirstCheckAfterItArrived) {
    wait(1000, 11);
    // One byte every 5 ms from 3 ms on: the 11th comes at 53 ms, the check at 60 ms sees 12.
    for (int i = 0; i < 15; ++i) {
        transmitAt(Duration{3 + 5 * i}, Bytes{static_cast<std::uint8_t>(i)});
    }
    loop.runUntilIdle();
    EXPECT_EQ(result.at, Duration{60});
    EXPECT_EQ(result.bytes.size(), 12u);
    EXPECT_EQ(result.calls, 1);
}

TEST_F(ReplyWaitingTest, BudgetCountsPolls) {
    const auto firedBefore = loop.firedTimers();
    wait(1000, kUnreachableCount);
    loop.runUntilIdle();
    EXPECT_EQ(result.at, Duration{1000});
    EXPECT_EQ(loop.firedTimers() - firedBefore, 100u);
    EXPECT_FALSE(result.received);
    EXPECT_TRUE(result.bytes.empty());

    result = {};
    wait(15, kUnreachableCount);
    loop.runUntilIdle();
    EXPECT_EQ(result.at, Duration{20});
}

TEST_F(ReplyWaitingTest, NothingToWaitForCompletesWithinTheCall) {
    controller().transmit(Bytes{1, 2, 3});
    wait(0, kUnreachableCount);
    EXPECT_TRUE(result.called);
    EXPECT_FALSE(result.received);

    result = {};
    wait(-5, 26);
    EXPECT_TRUE(result.called);

    result = {};
    controller().transmit(Bytes{1, 2, 3});
    wait(200, 0);
    EXPECT_TRUE(result.called);
    EXPECT_FALSE(result.received);
    EXPECT_EQ(loop.pendingTimers(), 0u);
}

TEST_F(ReplyWaitingTest, BytesFromBeforeTheWaitAreNeverSeen) {
    controller().transmit(Bytes{0x55, 0x00, 0x01});
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

TEST_F(ReplyWaitingTest, SendLogsOnceAlsoWhenThePortRefuses) {
    const CommandFrame frame = CommandTable[kIdentifyEntry];
    controller().portFaults.refusesSend = true;
    EXPECT_FALSE(link->send(frame));
    controller().portFaults.refusesSend = false;
    EXPECT_TRUE(link->send(frame));
    EXPECT_EQ(log.count("Writing <55 00 00 00 00 00 00 00 00 00>"), 2u);
}

TEST_F(ReplyWaitingTest, ReplyInSingleByteChunksIsCollectedWhole) {
    controller().controller.faults.silent = false;
    controller().timing.chunkSize = 1;
    std::optional<bool> identified;
    link->identify([&](bool ok) { identified = ok; });
    loop.runUntilIdle();
    EXPECT_EQ(identified, std::optional(true));
    // 26 identify bytes and 22 settings bytes, one callback each.
    EXPECT_EQ(log.countStartingWith("didReceiveData "), 48u);
    EXPECT_EQ(log.count("didReceiveData <55>, total: <55>"), 2u);
}

}  // namespace
}  // namespace korvane::testing
