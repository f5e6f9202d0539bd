// The link with one device on virtual time: reply waits and their polls, what a loss and a
// destroyed link leave, the device's operations as bytes on the wire, and fast transfers.
#include <gtest/gtest.h>

#include "tests/support/HexImage.h"
#include "tests/support/SimulatedBench.h"

namespace korvane::testing {
namespace {

const Bytes kIdentify = {0x55, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
const Bytes kReadSettings = {0x55, 0x04, 0x0C, 0x00, 0x00, 0x00, 0x10, 0x00, 0xF0, 0x00};
const Bytes kWriteSettings = {0x55, 0x05, 0x0C, 0x00, 0x55, 0xAA, 0x10, 0x00, 0xF0, 0x00};
// The simulated controller's record: software 7, configMode 1, aux 3, choices 9, 19 mph, auto off.
const Bytes kRecord = {0x07, 0x01, 0x03, 0x09, 19, 0x00, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
constexpr std::int32_t kNoCount = 0x100000;

Bytes bytesOf(ByteView view) {
    return Bytes(view.begin(), view.end());
}

class LinkTest : public SimulatedBench {
protected:
    // How long `operation` takes, and its result.
    template <typename Operation>
    std::pair<Duration, std::optional<bool>> timed(Operation&& operation) {
        const Duration start = loop.now();
        const auto result = complete(operation);
        return {loop.now() - start, result};
    }
};

TEST_F(LinkTest, AWaitEndsAtThePollThatSeesEnoughOrWhenItsBudgetIsSpent) {
    auto link = openLink();
    device().faults.silent = true;
    // clang-format off
    // One byte every 5 ms from 3 ms on, 26 in all: a wait's budget and count, when it ends, what it got.
    const struct { std::int32_t budgetMs, count; int endsMs; std::size_t got; } rows[] = {
        {200, kNoCount, 200, 26},  // the whole budget: 20 polls
        {1000, 11, 60, 12},        // the 11th byte at 53 ms, seen at 60 ms
        {15, kNoCount, 20, 4},     // a budget counts 10 ms polls
        {0, kNoCount, 0, 0}, {-5, 26, 0, 0}, {200, 0, 0, 0},  // within the call
    };
    // clang-format on
    for (const auto& row : rows) {
        const Duration start = loop.now();
        const std::uint64_t fired = loop.firedTimers();
        std::vector<std::pair<Duration, std::size_t>> ends;
        link->waitForReply(
            [&](bool received, ByteView bytes) {
                ends.emplace_back(loop.now() - start, bytes.size());
                EXPECT_EQ(received, !bytes.empty()) << "silence is no reply";
            },
            row.budgetMs, row.count);
        EXPECT_EQ(ends.size(), row.endsMs == 0 ? 1u : 0u);
        for (int i = 0; i < 26; ++i) {
            loop.schedule(Duration{3 + 5 * i},
                          [this, i] { controller().transmit(Bytes{std::uint8_t(i)}); });
        }
        loop.runUntilIdle();
        EXPECT_EQ(ends, (std::vector{std::pair{Duration{row.endsMs}, row.got}})) << row.budgetMs;
        EXPECT_TRUE(row.endsMs != 200 || loop.firedTimers() - fired == 20u + 26u) << "20 polls";
    }
}

TEST_F(LinkTest, BytesThatCameBeforeAWaitAreNeverItsReply) {
    auto link = openLink();
    device().faults.silent = true;
    controller().transmit(Bytes{0x55});
    controller().transmit(Bytes{0x00, 0x01});
    EXPECT_EQ(log.count("didReceiveData <00 01>, total: <55 00 01>"), 1u);
    // A device talking on while nobody waits: only its latest 64 KiB are kept.
    Bytes burst(1000);
    for (int i = 0; i < 200; ++i) {
        burst[0] = static_cast<std::uint8_t>(i);
        controller().transmit(burst);
    }
    EXPECT_EQ(link->receiver().dataLength(), 65536u);
    EXPECT_EQ(link->receiver().data()[65536 - 1000], 199);
    std::optional<std::size_t> got;
    link->waitForReply([&](bool, ByteView bytes) { got = bytes.size(); }, 50, kNoCount);
    loop.runUntilIdle();
    EXPECT_EQ(got, std::optional<std::size_t>(0));
}

TEST_F(LinkTest, OnlyTheDeviceClosingAnOpenPortIsALoss) {
    std::vector<bool> losses;
    const auto reported = [&](std::unique_ptr<SimpleSerial> link) {
        link->connectionLostBlock = [&](bool lost) {
            losses.push_back(lost);
        };
        return link;
    };
    // Closed by the device before the link looked at it: nothing to report yet.
    auto link = reported(std::make_unique<SimpleSerial>(kControllerPath));
    loop.runFor(Duration{0});
    controller().unplug();
    EXPECT_FALSE(link->receiver().isOpened());
    EXPECT_TRUE(losses.empty());
    // The device left the system: told, then the close.
    EXPECT_EQ(std::vector(log.lines().end() - 2, log.lines().end()),
              (std::vector<std::string>{"serialPortWasRemovedFromSystem", "serialPortWasClosed"}));
    // Lost during a write of the value held: the wait runs out all the same, and the link keeps
    // what it knew.
    link = reported(openLink(true));
    device().faults.unplugAtRequest = 3;
    EXPECT_EQ(timed([&](ResultBlock done) { link->setAutoMode(0, done); }),
              std::pair(Duration{200}, std::optional(false)));
    EXPECT_EQ(losses, std::vector<bool>{true});
    EXPECT_EQ(link->identityText, "Bootloader: 012A, Device ID: BEEF, Soft: 07");
    EXPECT_EQ(bytesOf(link->settings.bytes()), kReadSettings + kRecord);
    // Destroyed by its holder: the port closes without a report.
    link = reported(openLink());
    link.reset();
    EXPECT_EQ(ports.livePorts(), 0u);
    EXPECT_EQ(losses.size(), 1u);
    EXPECT_EQ(log.count("serialPortWasClosed"), 2u);
}

TEST_F(LinkTest, DestroyingALinkCancelsItsWaitsAndChecks) {
    for (const int destroyedAtMs : {500, 1100, 1300}) {
        int completions = 0;
        auto link = std::make_unique<SimpleSerial>(kControllerPath);
        link->probe([&](bool) { ++completions; });
        loop.runFor(Duration{destroyedAtMs});
        link.reset();
        EXPECT_EQ(loop.pendingTimers(), 0u) << destroyedAtMs;
        loop.runUntilIdle();
        EXPECT_EQ(completions, 0) << destroyedAtMs;
        EXPECT_EQ(ports.openPorts(), 0u);
    }
}

TEST_F(LinkTest, TheOpenCheckSaysWhatItFoundOneSecondOn) {
    SimpleSerial link(kControllerPath);
    EXPECT_EQ(timed([&](ResultBlock done) { link.open(done); }),
              std::pair(Duration{1000}, std::optional(true)));
    EXPECT_EQ(log.count("Device /dev/ttySIM0 Opened\r\n"), 1u);
    EXPECT_EQ(log.count("Device info. Name: ttySIM0, Path: /dev/ttySIM0, Dict: {idProduct = 10; "
                        "idVendor = 1240}, VendorId: 1240, ProductId: 10"),
              1u);
    SimpleSerial nowhere("/dev/ttyNOWHERE");
    EXPECT_FALSE(nowhere.send(kIdentify));
    EXPECT_EQ(complete([&](ResultBlock done) { nowhere.probe(done); }), std::optional(false));
    EXPECT_EQ(log.count("Device /dev/ttyNOWHERE Not opened\r\n"), 1u);
    controller().portFaults.openDelay = Duration{1500};
    SimpleSerial late(kControllerPath);
    EXPECT_EQ(timed([&](ResultBlock done) { late.probe(done); }),
              std::pair(Duration{1000}, std::optional(false)));
}

TEST_F(LinkTest, AProbeIdentifiesThenReadsAndTakesOnlyExactReplies) {
    auto link = openLink(true);
    EXPECT_EQ(wire(), (std::vector<Bytes>{kIdentify, kReadSettings}));
    EXPECT_EQ(loop.now(), Duration{1400}) << "the open check's second, each wait's whole budget";
    EXPECT_EQ(link->identityText, "Bootloader: 012A, Device ID: BEEF, Soft: 07");
    EXPECT_EQ(log.count("got eprom: Bootloader: 012A, Device ID: BEEF, Soft: 07"), 1u);
    EXPECT_EQ(bytesOf(link->settings.bytes()), kReadSettings + kRecord);
    // Replies a byte long or short, or with another frame's header: a settings read is refused
    // and, only with a whole record, kept; identify is refused, and nothing follows it.
    const std::uint8_t changed[] = {0x09, 0x02, 0x03, 0x09, 25, 0x01};
    device().setSettingsRecord(changed);
    for (const auto& [delta, header] : {std::pair{1, false}, {-1, false}, {0, true}}) {
        device().faults.replyLengthDelta = delta;
        device().faults.wrongHeader = header;
        EXPECT_EQ(complete([&](ResultBlock done) { link->readSettings(done); }),
                  std::optional(false));
        EXPECT_EQ(link->settings.speedLimit, header ? 25 : 19) << delta;
        EXPECT_EQ(link->settingsAsRead(), !header);
    }
    link.reset();
    for (const auto& [delta, header] : {std::pair{1, false}, {-1, false}, {0, true}}) {
        device().faults.replyLengthDelta = delta;
        device().faults.wrongHeader = header;
        device().clearRequests();
        SimpleSerial refused(kControllerPath);
        EXPECT_EQ(complete([&](ResultBlock done) { refused.probe(done); }), std::optional(false));
        EXPECT_EQ(wire().size(), 1u) << "nothing follows a refused identify";
        EXPECT_EQ(refused.identityText, "");
    }
    // Three digits of software: at least two are shown.
    device().faults = {};
    const std::uint8_t version[] = {123};
    device().setSettingsRecord(version);
    device().bootloaderVersion = {0x01, 0x02};
    device().deviceId = {0x1A, 0x2B};
    EXPECT_EQ(openLink(true)->identityText, "Bootloader: 0102, Device ID: 1A2B, Soft: 123");
}

TEST_F(LinkTest, ASetterWritesTheRecordAsReadWithItsByteChangedAndCountsOnlyTheReadBack) {
    // clang-format off
    // Each setter, the byte it changes, and the log line when the read-back holds another value.
    const struct { void (SimpleSerial::*set)(int, ResultBlock); int value; std::size_t at; const char* notKept; } rows[] = {
        {&SimpleSerial::setConfigMode, 4, 1, "write not kept: configMode is 1, not 4"},
        {&SimpleSerial::setSpeedLimit, 25, 4, "write not kept: speedLimit is 19, not 25"},
        {&SimpleSerial::setAutoMode, 1, 5, "write not kept: autoMode is 0, not 1"},
    };
    // clang-format on
    for (const auto& row : rows) {
        auto link = openLink(true);
        const auto set = [&](ResultBlock done) {
            ((*link).*row.set)(row.value, std::move(done));
        };
        Bytes sent = kRecord;
        sent[row.at] = static_cast<std::uint8_t>(row.value);
        // Echoed, but the old record kept: the link holds what the device holds.
        device().faults.refuseWrites = true;
        device().clearRequests();
        EXPECT_EQ(timed(set), std::pair(Duration{400}, std::optional(false))) << "echo, read-back";
        EXPECT_EQ(wire(), (std::vector<Bytes>{kWriteSettings + sent, kReadSettings}));
        EXPECT_EQ(log.count(row.notKept), 1u);
        EXPECT_EQ(bytesOf(link->settings.bytes()), kReadSettings + kRecord);
        // Kept, while the device changed another byte (its version): only the field counts.
        device().faults = {};
        loop.schedule(Duration{100},
                      [this] { device().setSettingsRecord(std::array<std::uint8_t, 1>{9}); });
        EXPECT_EQ(complete(set), std::optional(true));
        sent[0] = 9;
        EXPECT_EQ(bytesOf(link->settings.bytes()), kReadSettings + sent);
        EXPECT_EQ(link->identityText, "Bootloader: 012A, Device ID: BEEF, Soft: 09");
        device().setSettingsRecord(kRecord);
    }
    // Not echoed (though stored), or echoed and the read-back unanswered: not confirmed, and the
    // link holds the record as last read, known not to be the device's.
    for (const auto& [unanswered, requests] :
         {std::pair{CommandCode::WriteEprom, 1u}, {CommandCode::ReadEprom, 2u}}) {
        auto link = openLink(true);
        device().faults.unanswered = {unanswered};
        device().clearRequests();
        EXPECT_EQ(complete([&](ResultBlock done) { link->setAutoMode(1, done); }),
                  std::optional(false));
        EXPECT_EQ(wire().size(), requests);
        EXPECT_EQ(bytesOf(link->settings.bytes()), kReadSettings + kRecord);
        EXPECT_FALSE(link->settingsAsRead());
        device().faults = {};
        device().setSettingsRecord(kRecord);
    }
}

TEST_F(LinkTest, FastTransfersEndEachWaitWhenItsReplyIsComplete) {
    {
        // The open check looks as soon as the port says it opened, also when it said so first.
        SimpleSerial early(kControllerPath, TransferMode::fast);
        loop.runFor(Duration{5});
        EXPECT_EQ(timed([&](ResultBlock done) { early.open(done); }),
                  std::pair(Duration{0}, std::optional(true)));
    }
    auto link = openLink(false, TransferMode::fast);
    // clang-format off
    // Replies come 5 ms after their request; the settings echo ends after a quiet gap of 2 ms.
    const struct { const char* what; std::function<void(SimpleSerial&, ResultBlock)> operation; int tookMs; } rows[] = {
        {"identify and read", [](SimpleSerial& l, ResultBlock d) { l.identify(d); }, 10},
        {"setter", [](SimpleSerial& l, ResultBlock d) { l.setAutoMode(1, d); }, 12},
        {"record and Verify", [](SimpleSerial& l, ResultBlock d) { l.writeRecord(hexRecord(0, 0x1000, {1, 2}), d); }, 10},
        {"erase keeps its second", [](SimpleSerial& l, ResultBlock d) { l.eraseFirmware(d); }, 1000},
    };
    // clang-format on
    for (const auto& row : rows) {
        EXPECT_EQ(timed([&](ResultBlock done) { row.operation(*link, done); }),
                  std::pair(Duration{row.tookMs}, std::optional(true)))
            << row.what;
    }
    // An echo in three pieces, 1 and 2 ms apart: each byte restarts the gap. The value is held
    // already, so the device only echoes: nothing of the echo may be taken for the read-back.
    device().faults.unanswered = {CommandCode::WriteEprom};
    loop.schedule(Duration{5}, [this] { controller().transmit(kWriteSettings); });
    loop.schedule(Duration{6}, [this] { controller().transmit(Bytes{1}); });
    loop.schedule(Duration{8}, [this] { controller().transmit(Bytes{1}); });
    EXPECT_EQ(timed([&](ResultBlock done) { link->setAutoMode(1, done); }),
              std::pair(Duration{8 + 2 + 5}, std::optional(true)));
    device().faults = {};
    // Judged as in the default mode: a stray byte in the same chunk (27 bytes) is refused; one
    // byte a millisecond is taken only when whole (26 and 22 bytes).
    device().faults.replyLengthDelta = 1;
    EXPECT_EQ(timed([&](ResultBlock done) { link->identify(done); }).second, std::optional(false));
    device().faults = {};
    controller().timing.chunkSize = 1;
    controller().timing.chunkGap = Duration{1};
    EXPECT_EQ(timed([&](ResultBlock done) { link->identify(done); }),
              std::pair(Duration{5 + 25 + 5 + 21}, std::optional(true)));
    controller().timing = {};
    // A byte after a reply was judged lands in the next: the acknowledgement is taken at 5 ms,
    // the stray byte at 6 ms spoils the Verify.
    link->resetFirmwareState();
    loop.schedule(Duration{6}, [this] { controller().transmit(Bytes{0x00}); });
    EXPECT_EQ(complete([&](ResultBlock done) {
                  link->writeRecord(hexRecord(0, 0x1000, {1, 2}), done);
              }),
              std::optional(false));
}

}  // namespace
}  // namespace korvane::testing
