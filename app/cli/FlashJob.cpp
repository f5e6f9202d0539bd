// Replacing the firmware from the command line.
#include <ostream>

#include "app/cli/Run.h"
#include "serial/DeviceSearch.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

constexpr const char* kCompleteThenInterrupted =
    "The firmware update is complete: the device is rebooting.\nRun korvane-cli info again once "
    "it is back.";
constexpr const char* kWrittenNotSeenBack =
    "The firmware is written and verified; the controller restarted and has not been seen back "
    "yet.\nRun korvane-cli info again once it is back.";

struct Firmware {
    FirmwareFile file;
    // 0: the restart is not waited for.
    int waitBackSeconds = 0;
};

class Flash final : public Job {
public:
    Flash(Run& run, const std::string& path, std::shared_ptr<const Firmware> firmware)
        : Job(run, path), firmware_(std::move(firmware)) {
        // Said first: the records this update will not write.
        if (const std::string skipped = describeSkippedRecords(firmware_->file); !skipped.empty()) {
            out() << skipped << '\n';
        }
    }

    void start() override { control().loadFirmware(firmware_->file); }

    void question(const std::string& text, std::function<void(bool)> answer) override {
        // Asked once for all after the search, or --yes: what is about to happen, then the
        // question answered.
        if (!run().confirmed()) {
            questions() << run().preamble(described()) << '\n';
            out() << text << " Update\n";
        }
        answer(true);
    }

    void step() override {
        // The stages in the order UpdateStage has them; the erase before any record is counted.
        static const char* const kStages[] = {"", "erasing", "programming", "verifying",
                                              "restarting"};
        if (const auto stage = control().updateStage(); stage != UpdateStage::none) {
            const bool erasing = stage == UpdateStage::erasing;
            progress(kStages[static_cast<int>(stage)], erasing ? 0 : control().currFirmwareCount(),
                     erasing ? firmware_->file.lines.size() : control().maxFirmwareCount(),
                     control().isUpdatingFirmware() ? "Programmed" : nullptr);
        }
        if (const auto& end = control().updateEnd();
            end && end->kind == UpdateEnd::Kind::recordRefused) {
            fail(control().firmwareDetail(), kCouldNotUpdate);
        }
    }

    bool notice(Notice notice) override {
        if (notice == Notice::rebooting) {
            awaitComeback();
            return true;
        }
        if (notice != Notice::deviceLost) {
            return false;
        }
        if (const auto& end = control().updateEnd();
            end && end->kind == UpdateEnd::Kind::deviceLost) {
            fail(control().interruptionStatement(), kDeviceLost);
            return true;
        }
        // Restarting after the update, the device leaves the bus.
        return control().updateStage() == UpdateStage::restarting;
    }

    Interruption interruption() override {
        if (wait_) {
            return {kWrittenNotSeenBack, true};
        }
        switch (control().updateStage()) {
            case UpdateStage::none:
                // Nothing was written yet.
                return {kUpdateCancelled};
            case UpdateStage::restarting:
                // Every record was written and verified, and the reset sent.
                return {kCompleteThenInterrupted, true};
            default:
                return {control().interruptionStatement()};
        }
    }

    bool describesSettings() const override { return false; }

    void describe(nlohmann::json& object) const override {
        const FirmwareFile& file = firmware_->file;
        // Data records: the progress also counts the upper address records.
        object["fileSoftware"] = file.softwareVersion;
        object["records"] = file.program.records + file.eprom.records;
        object["recordsWritten"] = control().firmwareRecordsFinished(RecordKind::data);
        object["recordsSkipped"] = file.skippedRecords;
        if (back) {
            object["softwareAfter"] = back->software.value_or(0);
        }
    }

private:
    // After the reboot notice: lets go of the link and looks for the controller until it is back
    // or the limit, counted from the restart, is reached.
    void awaitComeback() {
        const int limit = firmware_->waitBackSeconds;
        if (limit == 0) {
            succeed(kRestarted);
            return;
        }
        // Flushed: a script reading a pipe learns of the wait when it begins, not when it ends.
        endBar();
        out() << stringPrintf("The device is rebooting; waiting up to %d s for it to come back",
                              limit)
              << '\n'
              << std::flush;
        const std::uint64_t total = control().maxFirmwareCount();
        progress("waiting-back", total, total);
        const Duration restartedAt = RunLoop::current().now() - kRebootNoticeDelay;
        // Of one device id, several controllers of one run cannot be told apart elsewhere.
        DeviceSearch::Target target{
            found.deviceId, path(), !run().invocation().all,
            control().fastTransfers() ? TransferMode::fast : TransferMode::standard};
        // Sends nothing: the link of the restarted device goes, so that its port may open again.
        control().resetGUI();
        wait_ = DeviceSearch::awaited(
            std::move(target), std::chrono::seconds(limit) - kRebootNoticeDelay,
            [this, restartedAt, limit](std::unique_ptr<SimpleSerial> link) {
                if (!link) {
                    fail(stringPrintf("Not back within %d s: the firmware is written and "
                                      "verified, but the controller has not answered since its "
                                      "restart; check its cable and power, then run korvane-cli "
                                      "info",
                                      limit),
                         {}, Result::notBack);
                    return;
                }
                const double after =
                    std::chrono::duration<double>(RunLoop::current().now() - restartedAt).count();
                const std::string where =
                    link->portPath() == path() ? std::string() : " on " + link->portPath();
                back = link->identity;
                // Its port closes with it; the run is over.
                succeed(stringPrintf("Back%s after %.1f s: ", where.c_str(), after) +
                        link->identityText);
            });
    }

    std::shared_ptr<const Firmware> firmware_;
    std::unique_ptr<DeviceSearch> wait_;
};

}  // namespace

Command flashCommand(const Invocation& invocation) {
    const FlashOptions& options = invocation.flash;
    // The file is checked whole before any port is touched, and read only here.
    CheckedFirmwareFile reading = fitFirmwareFile(options.file);
    const auto firmware = std::make_shared<const Firmware>(
        Firmware{std::move(*reading.file), options.waitBackSeconds});
    Command command = commandOf<Flash>(firmware);
    command.asks = !options.yes;
    command.fileSoftware = firmware->file.softwareVersion;
    command.file = options.file;
    command.fileSha256 = sha256Hex(reading.bytes);
    return command;
}

}  // namespace korvane
