// Replacing the firmware from the command line.
#include <iostream>

#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/Terminal.h"
#include "app/cli/Verbs.h"
#include "firmware/FirmwareFile.h"

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

}  // namespace

CommandAction parseFlash(const std::vector<std::string>& arguments) {
    std::vector<std::string> files;
    bool yes = false;
    for (const std::string& argument : arguments) {
        if (argument == "--yes") {
            yes = true;
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 1) {
        throw UsageError{"expected: flash FILE [--yes]"};
    }
    // The file is checked whole before any port is touched.
    FileContent content = readWholeFile(files[0]);
    if (!content.problem.empty()) {
        throw InputError{"Invalid firmware file\n" + files[0] + ": " + content.problem};
    }
    const FirmwareFileReading reading = readFirmwareFile(content.bytes);
    if (!reading.file) {
        throw InputError{"Invalid firmware file\n" + files[0] + ": " +
                         describeProblem(reading.problem)};
    }
    if (!yes && !inputIsTerminal()) {
        throw UsageError{"no terminal to confirm the update on: add --yes"};
    }
    return [file = std::move(content.bytes), skipped = describeSkippedRecords(*reading.file),
            yes](ConsoleSession& session) {
        if (!skipped.empty()) {
            std::cout << skipped << '\n';
        }
        TerminalQuestion question;
        session.setConfirmer(
            [&session, &question, yes](const std::string& text, std::function<void(bool)> answer) {
                if (yes) {
                    std::cout << text << " Update\n";
                    answer(true);
                    return;
                }
                question.ask(text, [&session, answer = std::move(answer)](bool update) {
                    if (!update) {
                        std::cerr << kCancelled << '\n';
                        session.finish(kFailure);
                    }
                    answer(update);
                });
            });
        ProgressReport progress(outputIsTerminal());
        MainViewControl& control = session.control();
        session.setInterruptStatement([&] {
            progress.finish();
            return interruptedFlash(control);
        });
        const auto fail = [&](const std::string& what) {
            progress.finish();
            std::cerr << what << '\n';
            session.finish(kFailure);
        };
        return converse(
            session, [&] { control.loadDataFile(file); },
            [&] {
                if (control.isUpdatingFirmware()) {
                    progress.update(control.currFirmwareCount(), control.maxFirmwareCount());
                }
                if (control.firmwareStatus() == kRecordFailed) {
                    fail(std::string(kRecordFailed) + '\n' + control.firmwareDetail());
                }
            },
            [&](const std::string& alert) {
                const bool restarting = control.updateStage() == UpdateStage::restarting;
                if (alert == kDeviceLost && restarting) {
                    return true;  // restarting after the update, the device leaves the bus
                }
                if (alert == kRebootNotice) {
                    progress.finish();
                    std::cout << kRestarted << '\n';
                    session.finish(kSuccess);
                    return true;
                }
                if (const std::string left = control.interruptionStatement();
                    alert == kDeviceLost && !left.empty()) {
                    fail(alert + '\n' + left);
                    return true;
                }
                progress.finish();
                return false;
            });
    };
}

}  // namespace korvane
