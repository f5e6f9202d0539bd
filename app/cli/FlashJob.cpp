// Replacing the firmware from the command line.
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/cli/Commands.h"
#include "app/cli/Member.h"
#include "app/cli/Progress.h"
#include "app/cli/Report.h"
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
    std::string path;
    FirmwareFile file;
    // 0: the restart is not waited for.
    int waitBackSeconds = 0;
};

class Flash final : public Job {
public:
    explicit Flash(std::shared_ptr<const Firmware> firmware) : firmware_(std::move(firmware)) {}

    void start(Member& member) override {
        progress_.emplace(member.out(), member.barFits(), "Programmed");
        member.control().loadFirmware(firmware_->file);
    }

    void question(Member& member, const std::string& text,
                  std::function<void(bool)> answer) override {
        // Asked once for all after the search, or --yes: what is about to happen, then the
        // question answered.
        if (!member.run().confirmed()) {
            member.questions() << updatePreamble(
                                      stringPrintf("The controller on %s (software %02u)",
                                                   member.path().c_str(),
                                                   member.found.software.value_or(0)),
                                      firmware_->path, firmware_->file.softwareVersion)
                               << '\n';
            member.out() << text << " Update\n";
        }
        answer(true);
    }

    void step(Member& member) override {
        const MainViewControl& control = member.control();
        const std::uint64_t done = control.currFirmwareCount();
        const std::uint64_t total = control.maxFirmwareCount();
        if (control.isUpdatingFirmware()) {
            progress_->update(done, total);
        }
        // The stages in the order UpdateStage has them; the erase before any record is counted.
        static const char* const kStages[] = {"", "erasing", "programming", "verifying",
                                              "restarting"};
        if (const auto stage = control.updateStage(); stage != UpdateStage::none) {
            const bool erasing = stage == UpdateStage::erasing;
            member.progress(
                kStages[static_cast<int>(stage)], erasing ? 0 : done,
                erasing ? firmware_->file.lines.size() : total,
                stage == UpdateStage::programming ? progress_->left(done, total) : std::nullopt);
        }
        if (const auto& end = control.updateEnd();
            end && end->kind == UpdateEnd::Kind::recordRefused) {
            endBar();
            member.fail(control.firmwareDetail(), kCouldNotUpdate);
        }
    }

    bool notice(Member& member, Notice notice) override {
        const MainViewControl& control = member.control();
        endBar();
        if (notice == Notice::rebooting) {
            awaitComeback(member);
            return true;
        }
        if (notice != Notice::deviceLost) {
            return false;
        }
        if (const auto& end = control.updateEnd();
            end && end->kind == UpdateEnd::Kind::deviceLost) {
            member.fail(control.interruptionStatement(), kDeviceLost);
            return true;
        }
        // Restarting after the update, the device leaves the bus.
        return control.updateStage() == UpdateStage::restarting;
    }

    Interruption interruption(Member& member) override {
        endBar();
        if (wait_) {
            return {kWrittenNotSeenBack, true};
        }
        switch (member.control().updateStage()) {
            case UpdateStage::none:
                // Nothing was written yet.
                return {kUpdateCancelled};
            case UpdateStage::restarting:
                // Every record was written and verified, and the reset sent.
                return {kCompleteThenInterrupted, true};
            default:
                return {member.control().interruptionStatement()};
        }
    }

    bool describesSettings() const override { return false; }

    void describe(nlohmann::json& object, const Member& member) const override {
        const FirmwareFile& file = firmware_->file;
        // Data records: the progress also counts the upper address records.
        object["fileSoftware"] = file.softwareVersion;
        object["records"] = file.program.records + file.eprom.records;
        object["recordsWritten"] = member.control().firmwareRecordsFinished(RecordKind::data);
        object["recordsSkipped"] = file.skippedRecords;
        if (member.back) {
            object["softwareAfter"] = member.back->software.value_or(0);
        }
    }

private:
    void endBar() {
        if (progress_) {
            progress_->finish();
        }
    }

    // After the reboot notice: lets go of the link and looks for the controller until it is back
    // or the limit, counted from the restart, is reached.
    void awaitComeback(Member& member) {
        const int limit = firmware_->waitBackSeconds;
        if (limit == 0) {
            member.succeed(kRestarted);
            return;
        }
        // Flushed: a script reading a pipe learns of the wait when it begins, not when it ends.
        member.out() << stringPrintf(
                            "The device is rebooting; waiting up to %d s for it to come back",
                            limit)
                     << '\n'
                     << std::flush;
        const std::uint64_t total = member.control().maxFirmwareCount();
        member.progress("waiting-back", total, total);
        const Duration restartedAt = RunLoop::current().now() - kRebootNoticeDelay;
        // Of one device id, several controllers of one run cannot be told apart elsewhere.
        DeviceSearch::Target target{
            member.found.deviceId, member.path(), !member.run().invocation().all,
            member.control().fastTransfers() ? TransferMode::fast : TransferMode::standard};
        // Sends nothing: the link of the restarted device goes, so that its port may open again.
        member.control().resetGUI();
        wait_ = DeviceSearch::awaited(
            std::move(target), std::chrono::seconds(limit) - kRebootNoticeDelay,
            [&member, restartedAt, limit](std::unique_ptr<SimpleSerial> link) {
                if (!link) {
                    member.fail(stringPrintf("Not back within %d s: the firmware is written and "
                                             "verified, but the controller has not answered "
                                             "since its restart; check its cable and power, then "
                                             "run korvane-cli info",
                                             limit),
                                {}, Result::notBack);
                    return;
                }
                const double after =
                    std::chrono::duration<double>(RunLoop::current().now() - restartedAt).count();
                const std::string where =
                    link->portPath() == member.path() ? std::string() : " on " + link->portPath();
                member.back = link->identity;
                // Its port closes with it; the run is over.
                member.succeed(stringPrintf("Back%s after %.1f s: ", where.c_str(), after) +
                               link->identityText);
            });
    }

    std::shared_ptr<const Firmware> firmware_;
    std::optional<ProgressReport> progress_;
    std::unique_ptr<DeviceSearch> wait_;
};

}  // namespace

Command flashCommand(const FlashOptions& options) {
    // The file is checked whole before any port is touched, and read only here.
    CheckedFirmwareFile reading = checkFirmwareFile(options.file);
    if (!reading.file) {
        throw InputError{"Invalid firmware file\n" + options.file + ": " + reading.problem};
    }
    const auto firmware = std::make_shared<const Firmware>(
        Firmware{options.file, std::move(*reading.file), options.waitBackSeconds});
    Command command;
    command.job = [firmware] {
        return std::make_unique<Flash>(firmware);
    };
    command.asks = !options.yes;
    command.firmwarePath = options.file;
    command.fileSoftware = firmware->file.softwareVersion;
    command.opening = describeSkippedRecords(firmware->file);
    command.file = options.file;
    command.fileSha256 = sha256Hex(reading.bytes);
    return command;
}

}  // namespace korvane
