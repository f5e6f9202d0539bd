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

// What an interruption leaves in the controller, by the stage the update reached.
std::string interruptedFlash(const MainViewControl& control) {
    switch (control.updateStage()) {
        case UpdateStage::none:
            return kCancelled;  // nothing was written yet
        case UpdateStage::restarting:
            return kRestarted;  // the update is complete
        default:
            return control.interruptionStatement();
    }
}

void startFlash(ConsoleSession& session, const Bytes& file, const std::string& skipped, bool yes) {
    if (!skipped.empty()) {
        session.out() << skipped << '\n';
    }
    MainViewControl& control = session.control();
    // What the update needs while it runs; the session's handlers own it.
    struct Run {
        Run(std::ostream& out, bool terminal) : progress(out, terminal) {}
        TerminalQuestion question;
        ProgressReport progress;
    };
    // A bar redraws its line: not on output that several controllers share.
    const auto run =
        std::make_shared<Run>(session.out(), outputIsTerminal() && !session.sharesOutput());
    session.setConfirmer(
        [&session, run, yes](const std::string& text, std::function<void(bool)> answer) {
            if (session.confirmedBeforehand()) {
                answer(true);
                return;
            }
            if (yes) {
                session.out() << text << " Update\n";
                answer(true);
                return;
            }
            run->question.ask(text, [&session, answer = std::move(answer)](bool update) {
                if (!update) {
                    session.err() << kCancelled << '\n';
                    session.finish(kFailure);
                }
                answer(update);
            });
        });
    session.setInterruptStatement([&control, run] {
        run->progress.finish();
        return interruptedFlash(control);
    });
    const auto fail = [&session, run](const std::string& what) {
        run->progress.finish();
        session.err() << what << '\n';
        session.finish(kFailure);
    };
    converse(
        session, [&control, file] { control.loadDataFile(file); },
        [&control, run, fail] {
            if (control.isUpdatingFirmware()) {
                run->progress.update(control.currFirmwareCount(), control.maxFirmwareCount());
            }
            if (control.firmwareStatus() == kRecordFailed) {
                fail(std::string(kRecordFailed) + '\n' + control.firmwareDetail());
            }
        },
        [&session, &control, run, fail](const std::string& alert) {
            const bool restarting = control.updateStage() == UpdateStage::restarting;
            if (alert == kDeviceLost && restarting) {
                return true;  // restarting after the update, the device leaves the bus
            }
            if (alert == kRebootNotice) {
                run->progress.finish();
                session.out() << kRestarted << '\n';
                session.finish(kSuccess);
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
    if (!yes && !inputIsTerminal()) {
        throw UsageError{"no terminal to confirm the update on: add --yes"};
    }
    CommandAction action{[file = std::move(reading.bytes),
                          skipped = describeSkippedRecords(*reading.file),
                          yes](ConsoleSession& session) {
        startFlash(session, file, skipped, yes);
    }};
    action.softwareAfter = reading.file->softwareVersion;
    if (!yes) {
        action.question = stringPrintf("Update firmware from file Software version: %02u?",
                                       unsigned{reading.file->softwareVersion});
    }
    return action;
}

}  // namespace korvane
