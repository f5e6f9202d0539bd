// The firmware update, from the window: the user picks a file and confirms its version; the
// device is erased, programmed record by record, verified, and restarted.
#include <algorithm>
#include <memory>

#include "app/MainViewControl.h"
#include "firmware/FirmwareFile.h"
#include "platform/Log.h"
#include "util/StringPrintf.h"

namespace korvane {

void MainViewControl::onChooseFile(Control& sender) {
    chooseFile(sender);
}

void MainViewControl::chooseFile(Control& sender) {
    sender.setEnabled(false);
    view_.runOpenPanel("hex", [self = weak_from_this(), &sender,
                               forLink = linkNumber()](std::optional<std::string> path) {
        const auto control = self.lock();
        if (!control) {
            return;
        }
        sender.setEnabled(true);
        // A file picked after the link it was chosen for has gone is for no device: the loss's
        // alert has said so.
        if (!path || forLink == 0 || control->linkNumber() != forLink) {
            return;
        }
        const FileContent content =
            readRegularFile(*path, kMaxFirmwareFileBytes, kFirmwareFileKind);
        if (!content.problem.empty()) {
            logLine("Invalid firmware file: " + *path + ": " + content.problem);
            control->setFirmwareStatus("Invalid firmware file");
            control->setFirmwareDetail(*path + ": " + content.problem);
            return;
        }
        control->loadDataFile(content.bytes);
    });
}

void MainViewControl::loadDataFile(ByteView data) {
    if (_isUpdateRunning) {
        return;
    }
    FirmwareFileReading reading = readFirmwareFile(data);
    if (!reading.file) {
        logLine(stringPrintf("Invalid firmware file: line %zu: %s", reading.problem.line,
                             reading.problem.reason.c_str()));
        setFirmwareStatus("Invalid firmware file");
        setFirmwareDetail(describeProblem(reading.problem));
        return;
    }
    loadFirmware(std::move(*reading.file));
}

void MainViewControl::loadFirmware(FirmwareFile file) {
    if (_isUpdateRunning) {
        return;
    }
    const std::string question = updateQuestion(file.softwareVersion);
    // Known before the erase: records the controller has no memory for.
    std::string skipped = describeSkippedRecords(file);
    std::string detailBefore = firmwareDetail();
    setFirmwareDetail(std::move(skipped));
    showNotice(Notice::updateQuestion, question, {"Update", "Cancel"},
               [self = weak_from_this(), file = std::move(file), forLink = linkNumber(),
                shown = detailsShown_, detailBefore = std::move(detailBefore)](int response) {
                   const auto control = self.lock();
                   if (!control) {
                       return;
                   }
                   // An answer for a link that has gone starts nothing; the loss's alert has said
                   // why.
                   const bool linkKept = forLink != 0 && control->linkNumber() == forLink;
                   if (response == kAlertFirstButtonReturn && linkKept) {
                       control->firmware = file.lines;
                       control->firmwareOrigins_ = file.origins;
                       control->updateFirmware();
                       return;
                   }
                   // Not taken: a file not taken says nothing, and what was said before (a failed
                   // record, a refused file) stands again, unless something else was shown
                   // meanwhile (a reset).
                   if (linkKept && control->detailsShown_ == shown) {
                       control->setFirmwareDetail(detailBefore);
                   }
               });
}

void MainViewControl::updateFirmware() {
    if (deviceGone_) {
        return;  // confirmed under the loss's alert: nothing is sent to a device that is gone
    }
    // Two series of commands must never share the link: no update without a ready, idle link.
    const char* why = !hasReadyLink()    ? "no controller is connected"
                      : _isUpdateRunning ? "an update is running"
                      : !_isEnabled      ? "a setting is being written; choose the file again"
                                           " when it is done"
                                         : nullptr;
    if (why != nullptr) {
        setFirmwareStatus(std::string("Firmware update not started: ") + why);
        return;
    }
    setIsUpdateRunning(true);
    updateStage_ = UpdateStage::erasing;
    store(updateEnd_, std::optional<UpdateEnd>(), Property::updateEnd);
    // The link belongs to this controller: destroying it cancels these completions, and a loss
    // drops the one in flight, so none of them runs for a device that is gone.
    port->eraseFirmware([this](bool erased) {
        if (!erased) {
            updateStage_ = UpdateStage::none;  // nothing reached the device
            endUpdate(UpdateEnd::Kind::eraseNotSent);
            showAlertAndResetGui(kEraseNotSent, Notice::eraseNotSent);
            return;
        }
        updateFirmware2();
    });
}

void MainViewControl::updateFirmware2() {
    port->resetFirmwareState();
    updateStage_ = UpdateStage::programming;
    setFirmwareDetail("");
    setMaxFirmwareCount(firmware.size());
    setCurrFirmwareCount(0);
    setIsUpdatingFirmware(true);
    setFirmwareStatus("Updating firmware. Please wait...");
    writeFirstFirmwareLine();
}

void MainViewControl::writeFirstFirmwareLine() {
    // Records that need no exchange complete within writeRecord. They are taken in this loop
    // rather than by calling back in, so a long run of them does not deepen the stack.
    struct Pass {
        bool returned = false;
        std::optional<bool> result;
    };
    while (true) {
        setCurrFirmwareCount(maxFirmwareCount() - firmware.size());
        if (firmware.empty()) {
            finishUpdateFirmware();
            return;
        }
        const std::string line = firmware.front();
        logLine(stringPrintf("File line -%lu: %s", static_cast<unsigned long>(firmware.size()),
                             line.c_str()));
        firmware.pop_front();
        const auto pass = std::make_shared<Pass>();
        port->writeRecord(line, [this, pass](bool success) {
            if (pass->returned) {
                recordWritten(success);
            } else {
                pass->result = success;
            }
        });
        pass->returned = true;
        if (!pass->result) {
            return;  // the record is on its way; its completion goes on
        }
        if (!*pass->result) {
            recordWritten(false);
            return;
        }
    }
}

void MainViewControl::recordWritten(bool success) {
    if (success) {
        writeFirstFirmwareLine();
        return;
    }
    // Stopped: the user is told here, and a Disconnect or loss later clears it as usual.
    updateStage_ = UpdateStage::none;
    // The record that failed is the one after those finished.
    const std::uint64_t failed = currFirmwareCount();
    const RecordOrigin origin =
        failed < firmwareOrigins_.size() ? firmwareOrigins_[failed] : RecordOrigin{};
    endUpdate(UpdateEnd::Kind::recordRefused, origin);
    setFirmwareStatus(kCouldNotUpdate);
    setFirmwareDetail(
        stringPrintf("Record %llu of %llu failed (line %zu, address 0x%08X): the "
                     "controller's firmware is erased; flash again",
                     static_cast<unsigned long long>(failed) + 1,
                     static_cast<unsigned long long>(maxFirmwareCount()), origin.line,
                     unsigned{origin.address}));
    // The user may choose a file again; the unprogrammed lines stay until then.
    setIsUpdateRunning(false);
}

void MainViewControl::endUpdate(UpdateEnd::Kind kind, RecordOrigin failed) {
    store(updateEnd_,
          std::optional(
              UpdateEnd{kind, updateStage_, currFirmwareCount(), maxFirmwareCount(), failed}),
          Property::updateEnd);
}

std::size_t MainViewControl::firmwareRecordsFinished(RecordKind kind) const {
    const auto finished = static_cast<std::ptrdiff_t>(
        std::min<std::uint64_t>(currFirmwareCount(), firmwareOrigins_.size()));
    return static_cast<std::size_t>(
        std::count_if(firmwareOrigins_.begin(), firmwareOrigins_.begin() + finished,
                      [kind](const RecordOrigin& origin) { return origin.kind == kind; }));
}

std::string MainViewControl::interruptionStatement() const {
    const auto done = static_cast<unsigned long long>(currFirmwareCount());
    const auto total = static_cast<unsigned long long>(maxFirmwareCount());
    switch (updateStage_) {
        case UpdateStage::erasing:
            return "Firmware update interrupted during the erase: the controller may have no "
                   "firmware; flash again";
        case UpdateStage::programming:
            // The next record is always under way: its write or its check had no answer.
            return stringPrintf(
                "Firmware update interrupted after record %llu of %llu, with record %llu not "
                "confirmed: the controller has no complete firmware; flash again",
                done, total, done + 1);
        case UpdateStage::verifying:
            return stringPrintf(
                "Firmware update interrupted before the restart: every record (%llu of %llu) is "
                "written and confirmed, but the controller was not told to restart; switch it off "
                "and on, or run korvane-cli reset, to start the new firmware",
                done, total);
        case UpdateStage::none:
        case UpdateStage::restarting:
            break;
    }
    return {};
}

void MainViewControl::finishUpdateFirmware() {
    updateStage_ = UpdateStage::verifying;
    // The device checks the last record once more; whatever it says, it is restarted.
    port->verifyRecord([this](bool) { resetDevice(); });
}

bool MainViewControl::readProgramSum(std::uint16_t address, std::uint16_t length, SumBlock done) {
    if (!canWriteSettings() || !_isEnabled || port->isWaiting()) {
        return false;
    }
    port->readProgramSum(address, length, std::move(done));
    return true;
}

bool MainViewControl::resetDevice() {
    if (!port || (!port->sendReset() && !_isUpdateRunning)) {
        return false;
    }
    updateStage_ = UpdateStage::restarting;
    if (_isUpdateRunning) {
        endUpdate(UpdateEnd::Kind::complete);
    }
    // Counted now: a connect the user starts within the second owns the window when the notice
    // is answered.
    timers_.schedule(kRebootNoticeDelay, [this, connectsSoFar = connects_] {
        showAlertThenReset(Notice::rebooting, kRebootNotice, connectsSoFar);
    });
    return true;
}

}  // namespace korvane
