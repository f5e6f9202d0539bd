// Fast transfers: each wait ends when its reply is complete, with the requests and the judging of
// the default mode.
#include <gtest/gtest.h>

#include "tests/support/ControlBench.h"
#include "tests/support/HexImage.h"

namespace korvane::testing {
namespace {

class FastTransfersTest : public ControlBench {
protected:
    std::unique_ptr<SimpleSerial> fastLink() {
        auto link = std::make_unique<SimpleSerial>(kControllerPath, TransferMode::fast);
        EXPECT_EQ(complete(*link, &SimpleSerial::open), std::optional(true));
        return link;
    }

    // How long `operation` takes on `link`, and its result.
    template <typename Operation>
    std::pair<Duration, std::optional<bool>> timed(Operation&& operation) {
        const Duration start = loop.now();
        const auto result = complete(operation);
        return {loop.now() - start, result};
    }
};

TEST_F(FastTransfersTest, EachWaitEndsWhenItsReplyIsComplete) {
    {
        // The open check looks as soon as the port says it opened, also when it said so first.
        SimpleSerial early(kControllerPath, TransferMode::fast);
        loop.runFor(Duration{5});
        EXPECT_EQ(timed([&](ResultBlock done) { early.open(done); }),
                  std::make_pair(Duration{0}, std::optional(true)));
    }
    // Replies come 5 ms after their request (the simulated line's latency).
    const Duration start = loop.now();
    auto link = fastLink();
    EXPECT_EQ(loop.now() - start, Duration{0}) << "the port reported that it opened";
    const struct {
        const char* what;
        std::function<void(SimpleSerial&, ResultBlock)> operation;
        Duration took;
    } cases[] = {
        {"identify and read", [](SimpleSerial& l, ResultBlock d) { l.identify(d); }, Duration{10}},
        // The echo, a quiet gap, the read-back.
        {"setter", [](SimpleSerial& l, ResultBlock d) { l.setAutoMode(1, d); }, Duration{12}},
        {"record and Verify",
         [](SimpleSerial& l, ResultBlock d) {
             l.writeRecord(hexRecord(0, 0x1000, {1, 2}), d);
         },
         Duration{10}},
        {"erase keeps its second", [](SimpleSerial& l, ResultBlock d) { l.eraseFirmware(d); },
         Duration{1000}},
    };
    for (const auto& each : cases) {
        const auto [took, result] = timed([&](ResultBlock done) { each.operation(*link, done); });
        EXPECT_EQ(result, std::optional(true)) << each.what;
        EXPECT_EQ(took, each.took) << each.what;
    }
}

TEST_F(FastTransfersTest, SettingsEchoEndsAfterAQuietGap) {
    auto link = fastLink();
    // The echo comes as ten bytes, one more after 1 ms and another after 2 ms: each byte
    // restarts the gap.
    device().faults.unanswered = {CommandCode::WriteEprom};
    const Bytes header(CommandTable[kWriteSettingsEntry].begin(),
                       CommandTable[kWriteSettingsEntry].end());
    loop.schedule(Duration{5}, [&] { controller().transmit(header); });
    loop.schedule(Duration{6}, [&] { controller().transmit(Bytes{1}); });
    loop.schedule(Duration{8}, [&] { controller().transmit(Bytes{1}); });
    // The value the device holds already: it does not store the write, it only echoes it here.
    const auto [took, result] = timed([&](ResultBlock done) { link->setAutoMode(0, done); });
    EXPECT_EQ(result, std::optional(true)) << "the whole echo, and nothing of it in the read-back";
    EXPECT_EQ(took, Duration{8} + kQuietGap + Duration{5});
}

TEST_F(FastTransfersTest, RepliesAreJudgedAsInTheDefaultMode) {
    auto link = fastLink();
    // A stray byte in the same chunk: 27 bytes, refused.
    device().faults.replyLengthDelta = 1;
    EXPECT_EQ(timed([&](ResultBlock done) { link->identify(done); }).second, std::optional(false));
    device().faults = {};

    // Taken whole from one byte a millisecond, and only when whole: 26 and 22 bytes.
    controller().timing.chunkSize = 1;
    controller().timing.chunkGap = Duration{1};
    const auto [took, identified] = timed([&](ResultBlock done) { link->identify(done); });
    EXPECT_EQ(identified, std::optional(true));
    EXPECT_EQ(took, Duration{5 + 25 + 5 + 21});
    controller().timing = {};

    // A byte that comes after a reply was judged lands in the next reply, which then fails: the
    // write's acknowledgement is taken at 5 ms, the stray byte at 6 ms spoils the Verify.
    link->resetFirmwareState();
    loop.schedule(Duration{6}, [&] { controller().transmit(Bytes{0x00}); });
    EXPECT_EQ(timed([&](ResultBlock done) {
                  link->writeRecord(hexRecord(0, 0x1000, {1, 2}), done);
              }).second,
              std::optional(false));
}

TEST_F(FastTransfersTest, TheWireCarriesTheSameBytesInBothModes) {
    std::vector<Bytes> wires[2];
    controller().restartClosesPort = false;
    for (const bool fast : {false, true}) {
        control->setFastTransfers(fast);
        device().clearRequests();
        connect();
        control->setIsAuto(1);
        settle();
        control->setConfig(2);
        settle();
        chooseSpeed("12");
        settle();
        control->loadDataFile(realisticImage().bytes());
        view.answer(0);
        answerEveryAlert();
        wires[fast] = wire();
        // Back to where the first run started.
        const std::uint8_t record[] = {7, 1, 3, 9, 19, 0};
        device().setSettingsRecord(record);
    }
    EXPECT_EQ(wires[0], wires[1]);
    EXPECT_GT(wires[0].size(), 50u);
}

}  // namespace
}  // namespace korvane::testing
