// Replacing the firmware from the command line.
#include <algorithm>
#include <memory>
#include <ostream>

#include "app/cli/ComebackWait.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/History.h"
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
constexpr const char* kWrittenNotSeenBack =
    "The firmware is written and verified; the controller restarted and has not been seen back "
    "yet.\nRun korvane-cli info again once it is back.";

// The wait for the restarted controller: none with 0, up to a limit counted from the restart.
constexpr int kDefaultWaitBackSeconds = 15;
// The wait starts with the reboot notice, a second after the restart: a shorter limit would
// always run out.
constexpr int kShortestWaitBackSeconds = 2;
constexpr int kLongestWaitBackSeconds = 3600;

// What the update needs while it runs; the session's handlers own it.
struct Run {
    Run(std::ostream& out, bool terminal) : progress(out, terminal) {}
    ProgressReport progress;
    // From the reboot notice until the controller is back or the time is up.
    std::unique_ptr<ComebackWait> comeback;
};

// What an interruption leaves in the controller, by the stage the update reached.
Interruption interruptedFlash(const MainViewControl& control, const Run& run) {
    if (run.comeback) {
        return {kWrittenNotSeenBack, kSuccess};
    }
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
    // 0: the restart is not waited for.
    int waitBackSeconds = kDefaultWaitBackSeconds;
};

// After the reboot notice: lets go of the link and looks for the controller until it is back
// (status 0) or the limit, counted from the restart, is reached (kNotBack).
void awaitComeback(ConsoleSession& session, Run& run, int limitSeconds) {
    MainViewControl& control = session.control();
    const Duration restartedAt = RunLoop::current().now() - kRebootNoticeDelay;
    // Flushed: a script reading a pipe learns of the wait when it begins, not when it ends.
    session.out() << stringPrintf("The device is rebooting; waiting up to %d s for it to come back",
                                  limitSeconds)
                  << '\n'
                  << std::flush;
    ComebackWait::Target target{
        session.found()->deviceId, session.foundPath(), !session.sharesOutput(),
        control.fastTransfers() ? TransferMode::fast : TransferMode::standard};
    // Sends nothing: the link of the restarted device goes, so that its port may open again.
    control.resetGUI();
    const Duration limit = std::chrono::seconds(limitSeconds) - kRebootNoticeDelay;
    run.comeback = std::make_unique<ComebackWait>(
        std::move(target), limit,
        [&session, &run, restartedAt, limitSeconds](std::unique_ptr<SimpleSerial> link) {
            if (!link) {
                session.err() << stringPrintf(
                                     "Not back within %d s: the firmware is written and "
                                     "verified, but the controller has not answered since its "
                                     "restart; check its cable and power, then run korvane-cli "
                                     "info",
                                     limitSeconds)
                              << '\n';
                session.finish(kNotBack);
                run.comeback.reset();
                return;
            }
            const double after =
                std::chrono::duration<double>(RunLoop::current().now() - restartedAt).count();
            const std::string where =
                link->portPath() == session.foundPath() ? std::string() : " on " + link->portPath();
            session.setBack(identityOf(*link));
            session.out() << stringPrintf("Back%s after %.1f s: ", where.c_str(), after)
                          << link->identityText << '\n';
            // Its port closes with it; the run is over.
            link.reset();
            session.finish(kSuccess);
            run.comeback.reset();
        });
}

void startFlash(ConsoleSession& session, const FlashFile& file, bool yes) {
    if (!file.skipped.empty()) {
        session.out() << file.skipped << '\n';
    }
    MainViewControl& control = session.control();
    // A bar redraws its line: not on output that several controllers share.
    const auto run =
        std::make_shared<Run>(session.out(), outputIsTerminal() && !session.sharesOutput());
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
    session.setInterruption([&control, run] {
        run->progress.finish();
        return interruptedFlash(control, *run);
    });
    const auto fail = [&session, run](const std::string& what) {
        run->progress.finish();
        session.err() << what << '\n';
        session.finish(kFailure);
    };
    converse(
        session, [&control, bytes = file.bytes] { control.loadDataFile(bytes); },
        [&control, run, fail] {
            if (control.isUpdatingFirmware()) {
                run->progress.update(control.currFirmwareCount(), control.maxFirmwareCount());
            }
            if (control.firmwareStatus() == kRecordFailed) {
                fail(std::string(kRecordFailed) + '\n' + control.firmwareDetail());
            }
        },
        [&session, &control, run, fail, waitBack = file.waitBackSeconds](const std::string& alert) {
            const bool restarting = control.updateStage() == UpdateStage::restarting;
            if (alert == kDeviceLost && restarting) {
                return true;  // restarting after the update, the device leaves the bus
            }
            if (alert == kRebootNotice) {
                run->progress.finish();
                if (waitBack == 0) {
                    session.out() << kRestarted << '\n';
                    session.finish(kSuccess);
                } else {
                    awaitComeback(session, *run, waitBack);
                }
                return true;
            }
            if (const std::string left = control.interruptionStatement();
                alert == kDeviceLost && !left.empty()) {
                fail(alert + '\n' + left);
                return true;
            }
            run->progress.finish();
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
    int waitBack = kDefaultWaitBackSeconds;
    if (const auto given = std::find(files.begin(), files.end(), "--wait-back");
        given != files.end()) {
        const std::string value = given + 1 != files.end() ? *(given + 1) : "";
        std::size_t used = 0;
        try {
            waitBack = std::stoi(value, &used);
        } catch (const std::exception&) {
            used = 0;
        }
        if (used == 0 || used != value.size() ||
            (waitBack != 0 &&
             (waitBack < kShortestWaitBackSeconds || waitBack > kLongestWaitBackSeconds))) {
            throw UsageError{
                stringPrintf("--wait-back takes 0 (no wait) or %d to %d seconds, not "
                             "\"%s\"",
                             kShortestWaitBackSeconds, kLongestWaitBackSeconds, value.c_str())};
        }
        files.erase(given, given + 2);
    }
    if (files.size() != 1) {
        throw UsageError{"expected: flash FILE [--yes] [--wait-back SECONDS]"};
    }
    // The file is checked whole before any port is touched.
    CheckedFirmwareFile reading = checkFirmwareFile(files[0]);
    if (!reading.file) {
        throw InputError{"Invalid firmware file\n" + files[0] + ": " + reading.problem};
    }
    const unsigned software = reading.file->softwareVersion;
    const std::string digest = sha256Hex(reading.bytes);
    CommandAction action{
        [file = FlashFile{files[0], std::move(reading.bytes), describeSkippedRecords(*reading.file),
                          software, waitBack},
         yes](ConsoleSession& session) {
            startFlash(session, file, yes);
        }};
    action.fileSoftware = software;
    action.fileRecords = reading.file->program.records + reading.file->eprom.records;
    action.fileRecordsSkipped = reading.file->skippedRecords;
    action.firmwarePath = files[0];
    action.file = files[0];
    action.fileSha256 = digest;
    if (!yes) {
        action.question =
            stringPrintf("Update firmware from file Software version: %02u?", software);
    }
    return action;
}

}  // namespace korvane
