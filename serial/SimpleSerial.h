#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ORSSerialPort.h"
#include "platform/RunLoop.h"
#include "platform/TimerGroup.h"
#include "protocol/CommandFrame.h"
#include "protocol/ProgramFrame.h"
#include "serial/Blocks.h"
#include "serial/ORSConnectionLostDelegate.h"
#include "serial/ORSDelegate.h"
#include "serial/PortProbe.h"

namespace korvane {

// Reply waits poll the receive buffer every 10 ms and take 10 ms off their budget each time, so
// a budget counts polls rather than elapsed time.
inline constexpr Duration kPollInterval{10};
inline constexpr std::int32_t kBudgetStepMs = 10;
// For replies of unknown length: never reached, so the wait runs its whole budget.
inline constexpr std::int32_t kUnreachableCount = 0x100000;
// How long a port gets to report that it opened.
inline constexpr Duration kOpenCheckDelay{1000};
// Identify and the settings read and write.
inline constexpr std::int32_t kSettingsReplyBudgetMs = 200;
// Erase, record writes and Verify.
inline constexpr std::int32_t kFirmwareReplyBudgetMs = 1000;

// How waits end: at the polls, as the protocol always did, or in fast mode as soon as the reply
// has reached what decides it. Budgets, requests and the rules replies are judged by are the same.
enum class TransferMode { standard, fast };

// When a reply is complete in fast mode: once it holds `length` bytes, or, with a quiet gap, once
// it holds them and no byte has come for the gap. A length of 0: only the budget ends the wait.
struct ReplyEnd {
    std::size_t length = 0;
    Duration quietGap{0};
};
// A reply of no fixed length is over after this long without a byte: several byte times at
// 19200 baud.
inline constexpr Duration kQuietGap{2};

// Who a controller says it is: four hexadecimal digits each, as the identity text shows them.
struct DeviceIdentity {
    std::string bootloader;
    std::string deviceId;
    std::optional<unsigned> software;
};

// The link with one device: its port, the delegate that collects what the port receives, and
// what is known of the device at the other end. Everything runs on the run loop's thread; every
// operation returns at once and reports through its completion. Destroying a link cancels every
// timer and completion that refers to it.
class SimpleSerial final : public ORSConnectionLostDelegate {
public:
    // Asks the port for `path` to open; the outcome is sampled by `open`.
    explicit SimpleSerial(std::string path, TransferMode mode = TransferMode::standard);
    // Closes the port without reporting the close as a lost connection.
    ~SimpleSerial();
    SimpleSerial(const SimpleSerial&) = delete;
    SimpleSerial& operator=(const SimpleSerial&) = delete;

    void connectionLost(ORSDelegate& notifier) override;

    // Discovery: every available port is probed at once; the first whose device identifies
    // itself and delivers its settings wins. The completion gets it, or none; when none, `report`
    // hears first why each port failed.
    static void findDevice(DiscoveryBlock completion, TransferMode mode = TransferMode::standard,
                           ProbeReportBlock report = nullptr);
    void open(ResultBlock completion);
    void probe(ResultBlock completion);

    // Request and reply.
    void waitForReply(ResponseBlock completion, std::int32_t budgetMs, std::int32_t expectedCount,
                      ReplyEnd fastEnd = {});
    bool send(ByteView bytes);

    // Device operations.
    void identify(ResultBlock completion);
    void readSettings(ResultBlock completion);
    void writeSettings(ResultBlock completion);
    void setConfigMode(int value, ResultBlock completion);
    void setSpeedLimit(int value, ResultBlock completion);
    void setAutoMode(int value, ResultBlock completion);
    // Whether the port took it.
    bool sendReset();

    // Firmware programming.
    void eraseFirmware(ResultBlock completion);
    void resetFirmwareState();
    // One record line, from its ":". Completes within the call when nothing is exchanged.
    void writeRecord(const std::string& line, ResultBlock completion);
    void verifyRecord(ResultBlock completion);
    // Asks for the word sum of `length` program-memory bytes from `address`: the Verify request
    // the update sends after each record, and nothing else.
    void readProgramSum(std::uint16_t address, std::uint16_t length, SumBlock completion);

    // A reply wait runs: the receive buffer belongs to one exchange until it completes.
    bool isWaiting() const { return wait_.has_value(); }
    // The port is gone: the exchange waited for ends here, and its completion never comes.
    void abandonWait();
    TransferMode transferMode() const { return mode_; }
    const std::string& portPath() const { return portPath_; }
    const ORSDelegate& receiver() const { return *portDelegate; }

    // Set by the holder of the link; called when the port closes under it.
    ConnectionLostBlock connectionLostBlock;
    // The last probe that got past opening identified the device and read its settings.
    bool deviceReady = false;
    // Why the last probe found no controller here.
    ProbeFailure probeFailure = ProbeFailure::none;
    // Discovery's winner: the ports of other devices that had identified themselves by then.
    std::vector<std::string> othersIdentified;
    // Who the device said it is: identify gives the first two, the settings read the software.
    DeviceIdentity identity;
    // "Bootloader: %02X%02X, Device ID: %02X%02X, Soft: %02d", made from `identity`.
    std::string identityText;
    // The device's settings record as last read, with the changes of a write in progress. A
    // write that fails puts the record as last read back: the value sent was not confirmed.
    DeviceSettings settings;
    // The device is known to hold `settings`: read, and no write since that may have changed it
    // unseen (one the device took but did not acknowledge).
    bool settingsAsRead() const { return settingsAsRead_; }

private:
    void check(std::uint64_t wait, std::int32_t budgetMs, std::int32_t expectedCount);
    // Fast mode: bytes came; the reply may be complete.
    void dataArrived();
    void finishWait();
    void openChecked();
    // Writes the record with one field changed; true only when the read-back holds that field.
    void writeField(std::uint8_t DeviceSettings::*field, const char* name, ResultBlock completion);

    std::unique_ptr<ORSSerialPort> serialPort;
    std::unique_ptr<ORSDelegate> portDelegate;
    std::string portPath_;
    ProgramFrame programFrame;
    VerifyFrame verifyFrame;
    TimerGroup timers;
    TransferMode mode_;
    // The wait running, if any. Polls and checks of an earlier wait find another number and stop.
    struct Wait {
        std::uint64_t number = 0;
        ResponseBlock completion;
        ReplyEnd fastEnd;
    };
    std::optional<Wait> wait_;
    std::uint64_t waits_ = 0;
    std::uint64_t arrivals_ = 0;
    // The open check not yet made.
    ResultBlock openCompletion_;
    bool settingsAsRead_ = false;
    // The record as the device last sent it, for a write that fails.
    DeviceSettings lastRead_;
};

}  // namespace korvane
