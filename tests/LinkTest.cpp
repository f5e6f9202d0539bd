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
const Bytes kSettingsRecord = {0x07, 0x01, 0x03, 0x09, 19,   0x00,
                               0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
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
    const auto report = [&](bool lost) {
        losses.push_back(lost);
    };
    // Closed by the device before the link looked at it: nothing to report yet.
    auto link = std::make_unique<SimpleSerial>(kControllerPath);
    link->connectionLostBlock = report;
    loop.runFor(Duration{0});
    controller().unplug();
    EXPECT_FALSE(link->receiver().isOpened());
    EXPECT_TRUE(losses.empty());
    // The device left the system: told, then the close.
    EXPECT_EQ(std::vector(log.lines().end() - 2, log.lines().end()),
              (std::vector<std::string>{"serialPortWasRemovedFromSystem", "serialPortWasClosed"}));
    // Lost during a write of the value held: the wait runs out all the same, and the link keeps
    // what it knew.
    link = openLink(true);
    link->connectionLostBlock = report;
    device().faults.unplugAtRequest = 3;
    EXPECT_EQ(timed([&](ResultBlock done) { link->setAutoMode(0, done); }),
              std::pair(Duration{200}, std::optional(false)));
    EXPECT_EQ(losses, std::vector<bool>{true});
    EXPECT_EQ(link->identityText, "Bootloader: 012A, Device ID: BEEF, Soft: 07");
    EXPECT_EQ(bytesOf(link->settings.bytes()), kReadSettings + kSettingsRecord);
}

TEST_F(LinkTest, DestroyingALinkCancelsItsWaitsAndChecks) {
    for (const int destroyedAtMs : {500, 1100, 1300}) {
        int completions = 0;
        auto link = std::make_unique<SimpleSerial>(kControllerPath);
        // Nothing completes, and the port closes unreported.
        link->connectionLostBlock = [&](bool) {
            ++completions;
        };
        link->probe([&](bool) { ++completions; });
        loop.runFor(Duration{destroyedAtMs});
        link.reset();
        EXPECT_EQ(loop.pendingTimers(), 0u) << destroyedAtMs;
        loop.runUntilIdle();
        EXPECT_EQ(completions, 0) << destroyedAtMs;
        EXPECT_EQ(ports.livePorts(), 0u);
    }
}

TEST_F(LinkTest, TheOpenCheckLooksOneSecondOnOrInFastModeAsSoonAsThePortSaysItOpened) {
    // clang-format off
    // The port, how late it opens, the mode, the wait before the check is asked; when it ends, its result.
    const struct { const char* path; int lateMs; TransferMode mode; int waitedMs; int endsMs; bool opened; } rows[] = {
        {"/dev/ttySIM0", 0, TransferMode::standard, 0, 1000, true}, {"/dev/ttyNOWHERE", 0, TransferMode::standard, 0, 1000, false},
        {"/dev/ttySIM0", 1500, TransferMode::standard, 0, 1000, false}, {"/dev/ttySIM0", 1500, TransferMode::fast, 0, 1000, false},
        {"/dev/ttySIM0", 0, TransferMode::fast, 5, 0, true}, {"/dev/ttySIM0", 0, TransferMode::fast, 0, 0, true},  // it said so first
    };
    // clang-format on
    for (const auto& row : rows) {
        controller().portFaults.openDelay = Duration{row.lateMs};
        SimpleSerial link(row.path, row.mode);
        loop.runFor(Duration{row.waitedMs});
        const std::size_t logged = log.lines().size();
        EXPECT_EQ(timed([&](ResultBlock done) { link.open(done); }),
                  std::pair(Duration{row.endsMs}, std::optional(row.opened)))
            << row.path << row.lateMs;
        EXPECT_EQ(log.lines().at(logged), "Device " + std::string(row.path) +
                                              (row.opened ? " Opened\r\n" : " Not opened\r\n"));
        EXPECT_EQ(link.send(kIdentify), row.opened);
    }
}

using Operation = std::function<void(SimpleSerial&, ResultBlock)>;
Operation call(void (SimpleSerial::*operation)(ResultBlock)) {
    return [=](SimpleSerial& link, ResultBlock done) {
        (link.*operation)(std::move(done));
    };
}
Operation set(void (SimpleSerial::*setter)(int, ResultBlock), int value) {
    return [=](SimpleSerial& link, ResultBlock done) {
        (link.*setter)(value, std::move(done));
    };
}
// Writes `line` after an upper-address record for `upper`.
Operation record(std::uint16_t upper, const std::string& line) {
    return [=](SimpleSerial& link, ResultBlock done) {
        link.writeRecord(upperAddressRecord(upper), [](bool) {});
        link.writeRecord(line, std::move(done));
    };
}
const Operation kIdentifies = call(&SimpleSerial::identify);
const Operation kReads = call(&SimpleSerial::readSettings);
const Operation kVerify = call(&SimpleSerial::verifyRecord);
const Operation kErase = call(&SimpleSerial::eraseFirmware);
// The record with byte `at` changed to `value` (and the version to `version`).
Bytes with(std::size_t at, std::uint8_t value, std::uint8_t version = 7) {
    Bytes changed = kSettingsRecord;
    changed[at] = value;
    changed[0] = version;
    return changed;
}
void none(Bench&) {}
// A record of data 01 02 (word sum 0x0201) and its Verify, as sent; the device's replies to them at
// 3 and 13 ms, none when empty: the write's wait polls at 10 ms, the Verify follows at once.
const Bytes kAck = {0x55, 0x02, 0x02, 0x00, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00};
const Bytes kWrite12 = kAck + Bytes{0x01, 0x02};
const Bytes kVerify12 = {0x55, 0x08, 0x02, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00};
std::function<void(Bench&)> answered(const Bytes& acknowledgement, const Bytes& sum) {
    return [=](Bench& b) {
        b.device().faults.unanswered = {CommandCode::WriteProgram, CommandCode::Verify};
        b.loop.schedule(Duration{3},
                        [&b, acknowledgement] { b.controller().transmit(acknowledgement); });
        b.loop.schedule(Duration{13}, [&b, sum] { b.controller().transmit(sum); });
    };
}
const Bytes kSixteen = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7,
                        0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0xAF};

// clang-format off
// One operation on a link whose probe read the controller, after a change to the controller: the
// requests it got, how long the operation took (a wait of unknown length runs its whole budget;
// one of known length ends at the first poll that sees it), its result, the record the link holds
// then and whether it knows it to be the controller's, and a line the log gains.
const struct { const char* what; bool fast; std::function<void(Bench&)> change; Operation operation; std::vector<Bytes> wire; int tookMs; bool result; Bytes record; bool asRead; const char* logged; } kOperations[] = {
    {"identify", false, none, kIdentifies, {kIdentify, kReadSettings}, 400, true, kSettingsRecord, true, "got eprom: Bootloader: 012A, Device ID: BEEF, Soft: 07"},
    {"identify, three digits of software", false, [](Bench& b) { b.device().setSettingsRecord(std::array<std::uint8_t, 1>{123}); b.device().bootloaderVersion = {1, 2}; b.device().deviceId = {0x1A, 0x2B}; },
     kIdentifies, {kIdentify, kReadSettings}, 400, true, with(0, 123, 123), true, "got eprom: Bootloader: 0102, Device ID: 1A2B, Soft: 123"},
    // Nothing follows a refused identify; a refused read leaves the record, unless it was whole.
    {"identify answered a byte long", false, [](Bench& b) { b.device().faults.replyLengthDelta = 1; }, kIdentifies, {kIdentify}, 200, false, kSettingsRecord, true, ""},
    {"identify answered a byte short", false, [](Bench& b) { b.device().faults.replyLengthDelta = -1; }, kIdentifies, {kIdentify}, 200, false, kSettingsRecord, true, ""},
    {"identify answered with another header", false, [](Bench& b) { b.device().faults.wrongHeader = true; }, kIdentifies, {kIdentify}, 200, false, kSettingsRecord, true, ""},
    {"settings a byte long", false, [](Bench& b) { b.device().faults.replyLengthDelta = 1; b.device().setSettingsRecord(with(4, 25)); }, kReads, {kReadSettings}, 200, false, kSettingsRecord, true, ""},
    {"settings a byte short", false, [](Bench& b) { b.device().faults.replyLengthDelta = -1; b.device().setSettingsRecord(with(4, 25)); }, kReads, {kReadSettings}, 200, false, kSettingsRecord, true, ""},
    {"settings with another header", false, [](Bench& b) { b.device().faults.wrongHeaderTo = {CommandCode::ReadEprom}; b.device().setSettingsRecord(with(4, 25)); }, kReads, {kReadSettings}, 200, false, with(4, 25), false, ""},
    // A setter writes the record as last read with its byte changed, and counts only the read-back.
    {"config 4", false, none, set(&SimpleSerial::setConfigMode, 4), {kWriteSettings + with(1, 4), kReadSettings}, 400, true, with(1, 4), true, ""},
    {"speed 25", false, none, set(&SimpleSerial::setSpeedLimit, 25), {kWriteSettings + with(4, 25), kReadSettings}, 400, true, with(4, 25), true, ""},
    {"auto on", false, none, set(&SimpleSerial::setAutoMode, 1), {kWriteSettings + with(5, 1), kReadSettings}, 400, true, with(5, 1), true, ""},
    {"config 4, echoed but not kept", false, [](Bench& b) { b.device().faults.refuseWrites = true; }, set(&SimpleSerial::setConfigMode, 4), {kWriteSettings + with(1, 4), kReadSettings}, 400, false, kSettingsRecord, true, "write not kept: configMode is 1, not 4"},
    {"speed 25, echoed but not kept", false, [](Bench& b) { b.device().faults.refuseWrites = true; }, set(&SimpleSerial::setSpeedLimit, 25), {kWriteSettings + with(4, 25), kReadSettings}, 400, false, kSettingsRecord, true, "write not kept: speedLimit is 19, not 25"},
    {"auto on, echoed but not kept", false, [](Bench& b) { b.device().faults.refuseWrites = true; }, set(&SimpleSerial::setAutoMode, 1), {kWriteSettings + with(5, 1), kReadSettings}, 400, false, kSettingsRecord, true, "write not kept: autoMode is 0, not 1"},
    // Only the field counts: the device may change other bytes meanwhile (its version, shown once).
    {"auto on, the version changed", false, [](Bench& b) { b.loop.schedule(Duration{100}, [&b] { b.device().setSettingsRecord(std::array<std::uint8_t, 1>{9}); }); },
     set(&SimpleSerial::setAutoMode, 1), {kWriteSettings + with(5, 1), kReadSettings}, 400, true, with(5, 1, 9), true, "got eprom: Bootloader: 012A, Device ID: BEEF, Soft: 09"},
    {"auto on, stored but not echoed", false, [](Bench& b) { b.device().faults.unanswered = {CommandCode::WriteEprom}; }, set(&SimpleSerial::setAutoMode, 1), {kWriteSettings + with(5, 1)}, 200, false, kSettingsRecord, false, ""},
    {"auto on, the read-back unanswered", false, [](Bench& b) { b.device().faults.unanswered = {CommandCode::ReadEprom}; }, set(&SimpleSerial::setAutoMode, 1), {kWriteSettings + with(5, 1), kReadSettings}, 400, false, kSettingsRecord, false, ""},
    // Program memory is written and the record's word sum verified; the eprom only written; memory
    // the controller lacks is skipped at once.
    {"16 program bytes", false, none, record(0x0000, hexRecord(0, 0x0100, kSixteen)), {Bytes{0x55, 0x02, 0x10, 0x00, 0x55, 0xAA, 0x00, 0x01, 0x00, 0x00} + kSixteen, {0x55, 0x08, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}}, 20, true, kSettingsRecord, true, ""},
    {"no program bytes", false, none, record(0x0000, hexRecord(0, 0x1000, {})), {{0x55, 0x02, 0x00, 0x00, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00}, {0x55, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00}}, 20, true, kSettingsRecord, true, ""},
    {"3 eprom bytes", false, none, record(0x00F0, hexRecord(0, 0x0020, {1, 2, 3})), {{0x55, 0x05, 0x03, 0x00, 0x55, 0xAA, 0x20, 0x00, 0xF0, 0x00, 1, 2, 3}}, 10, true, kSettingsRecord, true, ""},
    {"a byte for memory it lacks", false, none, record(0x0030, hexRecord(0, 0x0040, {7})), {}, 0, true, kSettingsRecord, true, ""},
    {"the largest record", false, none, record(0x0000, hexRecord(0, 0x1000, Bytes(245, 7))), {Bytes{0x55, 0x02, 0xF5, 0x00, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00} + Bytes(245, 7), {0x55, 0x08, 0xF5, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x00}}, 20, true, kSettingsRecord, true, ""},
    // A write is acknowledged by exactly 11 bytes whose last is 1; a Verify by at least 12, the sum in bytes 10-11.
    {"acknowledged and verified", false, answered(kAck + Bytes{1}, kVerify12 + Bytes{1, 2}), record(0, hexRecord(0, 0x1000, {1, 2})), {kWrite12, kVerify12}, 20, true, kSettingsRecord, true, ""},
    {"a Verify a byte long", false, answered(kAck + Bytes{1}, kVerify12 + Bytes{1, 2, 0}), record(0, hexRecord(0, 0x1000, {1, 2})), {kWrite12, kVerify12}, 20, true, kSettingsRecord, true, ""},
    {"a Verify a byte short", false, answered(kAck + Bytes{1}, kVerify12 + Bytes{1}), record(0, hexRecord(0, 0x1000, {1, 2})), {kWrite12, kVerify12}, 10 + 1000, false, kSettingsRecord, true, ""},
    {"a Verify of another sum", false, answered(kAck + Bytes{1}, kVerify12 + Bytes{2, 1}), record(0, hexRecord(0, 0x1000, {1, 2})), {kWrite12, kVerify12}, 20, false, kSettingsRecord, true, ""},
    {"acknowledged with status 2", false, answered(kAck + Bytes{2}, {}), record(0, hexRecord(0, 0x1000, {1, 2})), {kWrite12}, 10, false, kSettingsRecord, true, "Could not update firmware 2. success: 1, datalen: 11"},
    {"acknowledged with status 0", false, answered(kAck + Bytes{0}, {}), record(0, hexRecord(0, 0x1000, {1, 2})), {kWrite12}, 10, false, kSettingsRecord, true, "Could not update firmware 2. success: 1, datalen: 11"},
    {"an acknowledgement a byte long", false, answered(kAck + Bytes{1, 1}, {}), record(0, hexRecord(0, 0x1000, {1, 2})), {kWrite12}, 10, false, kSettingsRecord, true, "Could not update firmware 2. success: 1, datalen: 12"},
    {"an acknowledgement a byte short", false, answered(kAck, {}), record(0, hexRecord(0, 0x1000, {1, 2})), {kWrite12}, 1000, false, kSettingsRecord, true, "Could not update firmware 2. success: 1, datalen: 10"},
    {"a record unanswered", false, [](Bench& b) { b.device().faults.silent = true; }, record(0, hexRecord(0, 0x1000, {1, 2})), {kWrite12}, 1000, false, kSettingsRecord, true, "Could not update firmware 2. success: 0, datalen: 0"},
    // Programming starts over: the last Verify then asks for nothing.
    {"Verify after a reset", false, none, kVerify, {{0x55, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}}, 10, true, kSettingsRecord, true, ""},
    {"Verify after a reset, another sum", false, [](Bench& b) { b.device().faults.wrongVerifySum = true; }, kVerify, {{0x55, 0x08, 0, 0, 0, 0, 0, 0, 0, 0}}, 10, false, kSettingsRecord, true, ""},
    {"erase, its reply awaited for a second", false, none, kErase, {{0x55, 0x03, 0xC0, 0x01, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00}}, 1000, true, kSettingsRecord, true, ""},
    {"erase the port does not take", false, [](Bench& b) { b.controller().portFaults.refusesSend = true; }, kErase, {}, 0, false, kSettingsRecord, true, "Writing <55 03 C0 01 55 AA 00 10 00 00>"},
    // Fast transfers: each wait ends when its reply is complete (5 ms after its request), the
    // settings echo after a quiet gap of 2 ms; the same replies are refused.
    {"fast identify", true, none, kIdentifies, {kIdentify, kReadSettings}, 10, true, kSettingsRecord, true, ""},
    {"fast auto on", true, none, set(&SimpleSerial::setAutoMode, 1), {kWriteSettings + with(5, 1), kReadSettings}, 12, true, with(5, 1), true, ""},
    {"fast program bytes", true, none, record(0x0000, hexRecord(0, 0x0100, kSixteen)), {Bytes{0x55, 0x02, 0x10, 0x00, 0x55, 0xAA, 0x00, 0x01, 0x00, 0x00} + kSixteen, {0x55, 0x08, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}}, 10, true, kSettingsRecord, true, ""},
    {"fast erase, which keeps its second", true, none, kErase, {{0x55, 0x03, 0xC0, 0x01, 0x55, 0xAA, 0x00, 0x10, 0x00, 0x00}}, 1000, true, kSettingsRecord, true, ""},
    // Each byte restarts the gap; the value is held, so the device only echoes, and nothing of the
    // echo may be taken for the read-back.
    {"fast echo in three pieces", true, [](Bench& b) { b.device().faults.unanswered = {CommandCode::WriteEprom}; for (const int ms : {5, 6, 8}) b.loop.schedule(Duration{ms}, [&b, ms] { b.controller().transmit(ms == 5 ? kWriteSettings : Bytes{1}); }); },
     set(&SimpleSerial::setAutoMode, 0), {kWriteSettings + kSettingsRecord, kReadSettings}, 8 + 2 + 5, true, kSettingsRecord, true, ""},
    {"fast identify with a stray byte", true, [](Bench& b) { b.device().faults.replyLengthDelta = 1; }, kIdentifies, {kIdentify}, 5, false, kSettingsRecord, true, ""},
    {"fast identify, a byte a millisecond", true, [](Bench& b) { b.controller().timing = {Duration{5}, 1, Duration{1}}; }, kIdentifies, {kIdentify, kReadSettings}, 5 + 25 + 5 + 21, true, kSettingsRecord, true, ""},
    // The acknowledgement is taken at 5 ms; a stray byte at 6 ms lands in the Verify's reply.
    {"fast program bytes, a stray byte", true, [](Bench& b) { b.loop.schedule(Duration{6}, [&b] { b.controller().transmit(Bytes{0}); }); }, record(0x0000, hexRecord(0, 0x0100, kSixteen)),
     {Bytes{0x55, 0x02, 0x10, 0x00, 0x55, 0xAA, 0x00, 0x01, 0x00, 0x00} + kSixteen, {0x55, 0x08, 0x10, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00}}, 10, false, kSettingsRecord, true, ""},
};
// clang-format on

TEST_F(LinkTest, EachOperationPutsItsBytesOnTheWireAndTakesOnlyExactReplies) {
    for (const auto& row : kOperations) {
        device() = SimulatedController();
        controller().portFaults = {};
        controller().timing = {};
        auto link = openLink(true, row.fast ? TransferMode::fast : TransferMode::standard);
        link->resetFirmwareState();
        device().clearRequests();
        const std::size_t logged = log.count(row.logged);
        row.change(*this);
        EXPECT_EQ(timed([&](ResultBlock done) { row.operation(*link, done); }),
                  std::pair(Duration{row.tookMs}, std::optional(row.result)))
            << row.what;
        EXPECT_EQ(wire(), row.wire) << row.what;
        EXPECT_EQ(bytesOf(link->settings.bytes().subspan(10)), row.record) << row.what;
        EXPECT_EQ(link->settingsAsRead(), row.asRead) << row.what;
        EXPECT_EQ(log.count(row.logged) - logged, *row.logged ? 1u : 0u) << row.what;
        loop.runUntilIdle();
    }
}

TEST_F(LinkTest, RecordsThatCannotBeSentFailAtOnce) {
    auto link = openLink();
    link->resetFirmwareState();
    device().clearRequests();
    for (const std::string& line :
         std::vector<std::string>{":00000001FF", ":0400", ":", "", ":01000004AA", ":FF00000001",
                                  hexRecord(0, 0x1000, Bytes(246, 7))}) {
        bool atOnce = false;
        link->writeRecord(line, [&](bool success) { atOnce = !success; });
        EXPECT_TRUE(atOnce) << line;
    }
    EXPECT_EQ(log.count("Could not update firmware. 3"), 1u);
    EXPECT_TRUE(wire().empty());
}

}  // namespace
}  // namespace korvane::testing
