// Replacing the firmware from the command line.
#include <memory>
#include <ostream>

#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/Terminal.h"
#include "app/cli/Verbs.h"
#include "firmware/FirmwareFile.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

constexpr const char* kRecordFailed = "Could not update firmware";
constexpr const char* kCancelled = "Firmware update cancelled";

constexpr const char* kCompleteThenInterrupted =
    "The firmware update is complete: the device is rebooting.\nRun korvane-cli info again once "
    "it is back.";

// What an interruption leaves in the controller, by the stage the update reached.
Interruption interruptedFlash(const MainViewControl& control) {
    switch (control.updateStage()) {
        case UpdateStage::none:
            // Nothing was written yet, or a record failed and the failure is being told.
            return {control.isConnected() ? kCancelled : kInterruptedSearch};
        case UpdateStage::restarting:
            // Every record was written and verified, and the reset sent.
            return {kCompleteThenInterrupted, kSuccess};
        default:
            return {control.interruptionStatement()};
    }
}

struct FlashFile {
    std::string path;
    Bytes bytes;
    std::string skipped;
    unsigned software = 0;
};

void startFlash(ConsoleSession& session, const FlashFile& file, bool yes) {
    if (!file.skipped.empty()) {
        session.out() << file.skipped << '\n';
    }
    MainViewControl& control = session.control();
    // Owned by the session's handlers. A bar redraws its line: not on output that several
    // controllers share.
    const auto progress = std::make_shared<ProgressReport>(
        session.out(), outputIsTerminal() && !session.sharesOutput());
    session.setConfirmer([&session, &control, yes, path = file.path, software = file.software](
                             const std::string& text, std::function<void(bool)> answer) {
        if (session.confirmedBeforehand()) {
            answer(true);
            return;
        }
        // What is about to happen, before the question that lets it happen.
        const ControllerIdentity identity = identityOf(*control.link());
        session.questions() << updatePreamble(stringPrintf("The controller on %s (software %02u)",
                                                           control.link()->portPath().c_str(),
                                                           identity.software),
                                              path, software)
                            << '\n';
        if (yes) {
            session.out() << text << " Update\n";
            answer(true);
            return;
        }
        session.ask(text, [&session, answer = std::move(answer)](bool update) {
            if (!update) {
                session.err() << kCancelled << '\n';
                session.finish(kFailure);
            }
            answer(update);
        });
    });
    session.setInterruption([&control, progress] {
        progress->finish();
        return interruptedFlash(control);
    });
    const auto fail = [&session, progress](const std::string& what) {
        progress->finish();
        session.err() << what << '\n';
        session.finish(kFailure);
    };
    converse(
        session, [&control, bytes = file.bytes] { control.loadDataFile(bytes); },
        [&control, progress, fail] {
            if (control.isUpdatingFirmware()) {
                progress->update(control.currFirmwareCount(), control.maxFirmwareCount());
            }
            if (control.firmwareStatus() == kRecordFailed) {
                fail(std::string(kRecordFailed) + '\n' + control.firmwareDetail());
            }
        },
        [&session, &control, progress, fail](const std::string& alert) {
            const bool restarting = control.updateStage() == UpdateStage::restarting;
            if (alert == kDeviceLost && restarting) {
                return true;  // restarting after the update, the device leaves the bus
            }
            if (alert == kRebootNotice) {
                progress->finish();
                session.out() << kRestarted << '\n';
                session.finish(kSuccess);
                return true;
            }
            if (const std::string left = control.interruptionStatement();
                alert == kDeviceLost && !left.empty()) {
                fail(alert + '\n' + left);
                return true;
            }
            progress->finish();
            return false;
        });
}

}  // namespace

std::string updatePreamble(const std::string& controllers, const std::string& file,
                           unsigned fileSoftware) {
    return stringPrintf("%s will be erased and programmed with %s (software %02u).",
                        controllers.c_str(), file.c_str(), fileSoftware);
}

CommandAction parseFlash(std::vector<std::string> files) {
    const bool yes = takeFlag(files, "--yes");
    if (files.size() != 1) {
        throw UsageError{"expected: flash FILE [--yes]"};
    }
    // The file is checked whole before any port is touched.
    CheckedFirmwareFile reading = checkFirmwareFile(files[0]);
    if (!reading.file) {
        throw InputError{"Invalid firmware file\n" + files[0] + ": " + reading.problem};
    }
    const unsigned software = reading.file->softwareVersion;
    CommandAction action{[file = FlashFile{files[0], std::move(reading.bytes),
                                           describeSkippedRecords(*reading.file), software},
                          yes](ConsoleSession& session) {
        startFlash(session, file, yes);
    }};
    action.fileSoftware = software;
    action.fileRecords = reading.file->program.records + reading.file->eprom.records;
    action.fileRecordsSkipped = reading.file->skippedRecords;
    action.firmwarePath = files[0];
    if (!yes) {
        action.question =
            stringPrintf("Update firmware from file Software version: %02u?", software);
    }
    return action;
}

}  // namespace korvane
