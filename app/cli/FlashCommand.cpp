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
    Bytes file = readWholeFile(files[0]);
    const FirmwareFileReading reading = readFirmwareFile(file);
    if (!reading.file) {
        const std::string where =
            reading.problem.line == 0 ? "" : "line " + std::to_string(reading.problem.line) + ": ";
        throw InputError{"Invalid firmware file\n" + files[0] + ": " + where +
                         (file.empty() ? "cannot be read, or is empty" : reading.problem.reason)};
    }
    if (!yes && !inputIsTerminal()) {
        throw UsageError{"no terminal to confirm the update on: add --yes"};
    }
    return [file = std::move(file), yes](ConsoleSession& session) {
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
                        std::cerr << "Firmware update cancelled\n";
                        session.finish(kFailure);
                    }
                    answer(update);
                });
            });
        ProgressReport progress(outputIsTerminal());
        MainViewControl& control = session.control();
        const auto allRecordsDone = [&control] {
            return control.isUpdatingFirmware() && control.maxFirmwareCount() > 0 &&
                   control.currFirmwareCount() == control.maxFirmwareCount();
        };
        return converse(
            session, [&] { control.loadDataFile(file); },
            [&] {
                if (control.isUpdatingFirmware()) {
                    progress.update(control.currFirmwareCount(), control.maxFirmwareCount());
                }
                if (control.firmwareStatus() == kRecordFailed) {
                    progress.finish();
                    std::cerr << kRecordFailed << '\n';
                    session.finish(kFailure);
                }
            },
            [&](const std::string& alert) {
                if (alert == kDeviceLost && allRecordsDone()) {
                    return true;  // restarting after the update, the device leaves the bus
                }
                progress.finish();
                if (alert == kRebootNotice) {
                    std::cout << alert << '\n';
                    session.finish(kSuccess);
                    return true;
                }
                return false;
            });
    };
}

}  // namespace korvane
