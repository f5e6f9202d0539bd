// The firmware update, from the window: the user picks a file and confirms its version; the
// device is erased, programmed record by record, verified, and restarted.
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
    view_.runOpenPanel("hex", [self = weak_from_this(), &sender](std::optional<std::string> path) {
        const auto control = self.lock();
        if (!control) {
            return;
        }
        sender.setEnabled(true);
        if (path) {
            // A file that cannot be read is an empty one, and refused as such.
            control->loadDataFile(readWholeFile(*path));
        }
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
        return;
    }
    const std::string question = stringPrintf("Update firmware from file Software version: %02u?",
                                              unsigned{reading.file->softwareVersion});
    view_.showAlert(
        question, {"Update", "Cancel"},
        [self = weak_from_this(), lines = std::move(reading.file->lines)](int response) {
            const auto control = self.lock();
            if (control && response == kAlertFirstButtonReturn) {
                control->firmware = lines;
                control->updateFirmware();
            }
        });
}

void MainViewControl::updateFirmware() {
    // Two series of commands must never share the link: no update without a ready, idle link.
    if (!hasReadyLink() || _isUpdateRunning || !_isEnabled) {
        return;
    }
    setIsUpdateRunning(true);
    // The link belongs to this controller: destroying it cancels these completions.
    port->eraseFirmware([this](bool erased) {
        if (!erased) {
            showAlertAndResetGui("Failed to send Erase command");
            return;
        }
        updateFirmware2();
    });
}

void MainViewControl::updateFirmware2() {
    port->resetFirmwareState();
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
    setFirmwareStatus("Could not update firmware");
    // The user may choose a file again; the unprogrammed lines stay until then.
    setIsUpdateRunning(false);
}

void MainViewControl::finishUpdateFirmware() {
    // The device checks the last record once more; whatever it says, it is restarted.
    port->verifyRecord([this](bool) { resetDevice(); });
}

void MainViewControl::resetDevice() {
    if (!port) {
        return;
    }
    port->sendReset();
    timers_.schedule(kRebootNoticeDelay, [this] {
        showAlertAndResetGui("The device is rebooting. Click Connect button to reconnect");
    });
}

}  // namespace korvane
