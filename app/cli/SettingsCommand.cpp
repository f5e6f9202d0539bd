// Keeping a controller's settings in a file and putting them back.
#include <QDir>
#include <QFileInfo>
#include <ostream>

#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/History.h"
#include "app/cli/Verbs.h"
#include "app/frontend/SettingsFile.h"
#include "util/RegularFile.h"

namespace korvane {

namespace {

// Writes the file once the controller's settings are known to be what it holds.
void save(ConsoleSession& session, const std::string& path, bool force) {
    session.control().readHeldSettings([&session, path, force](bool read) {
        if (!read) {
            session.err() << "Could not save the settings to " << path
                          << ": the controller did not send its settings\n";
            session.finish(kFailure);
            return;
        }
        const SavedSettings settings = settingsOf(session.control());
        if (const std::string problem = saveSettingsFile(path, settings, force); !problem.empty()) {
            session.err() << "Could not save the settings to " << path << ": " << problem << '\n';
            session.finish(kFailure);
            return;
        }
        session.out() << "Settings of " << settings.deviceId << " saved to " << path << '\n';
        session.finish(kSuccess);
    });
}

CommandAction parseSave(const std::string& path, bool force) {
    // Said before any port is touched.
    const QFileInfo file(QString::fromStdString(path));
    if (const std::string problem = notARegularFile(path); !problem.empty()) {
        throw InputError{"Could not save the settings to " + path + ": " + problem};
    }
    if (!file.absoluteDir().exists()) {
        throw InputError{"Could not save the settings to " + path + ": there is no folder " +
                         file.absolutePath().toStdString()};
    }
    if (!force && file.exists()) {
        throw InputError{path + " exists already: add --force to replace it"};
    }
    CommandAction action{[path, force](ConsoleSession& session) {
        converse(
            session, [&session, path, force] { save(session, path, force); }, [] {});
    }};
    // One file for one controller.
    action.forEveryController = false;
    action.file = path;
    return action;
}

// Prints what the restore did and ends the command, once it is over.
void endRestore(ConsoleSession& session) {
    const MainViewControl& control = session.control();
    if (control.isRestoring()) {
        return;
    }
    for (const std::string& line : control.restoreReport()) {
        (line.starts_with("Could not") ? session.err() : session.out()) << line << '\n';
    }
    const bool loaded = control.setStatus() == "Settings loaded";
    (loaded ? session.out() : session.err()) << control.setStatus() << '\n';
    session.finish(loaded ? kSuccess : kFailure);
}

CommandAction parseLoad(const std::string& path, bool force) {
    // The whole file is checked before any port is touched; the file is read once.
    const FileContent content = readRegularFile(path, kMaxSettingsFileBytes, "settings file");
    const SettingsFileReading reading = content.problem.empty()
                                            ? parseSettingsFile(content.bytes)
                                            : SettingsFileReading{std::nullopt, content.problem};
    if (!reading.settings) {
        throw InputError{"Invalid settings file\n" + path + ": " + reading.problem};
    }
    // A controller may have held it when the file was saved; put back only when asked to.
    if (const int mph = reading.settings->speedLimitMph; !speedIsOffered(mph) && !force) {
        throw InputError{path + " holds a speed limit of " + std::to_string(mph) +
                         " mph, outside the 1 to 30 mph that can be chosen: add --force to load "
                         "it anyway"};
    }
    CommandAction action{[path, force, saved = *reading.settings](ConsoleSession& session) {
        session.setInterruption([&session]() -> Interruption {
            if (const std::string left = session.control().restoreProgress(); !left.empty()) {
                return {"Interrupted while the settings were loaded:\n" + left +
                        "\nRun korvane-cli info to see what the controller holds."};
            }
            return session.searchOrWriteInterruption();
        });
        converse(
            session,
            [&session, path, force, saved] {
                const std::string deviceId = identityOf(*session.control().link()).deviceId;
                if (deviceId != saved.deviceId && !force) {
                    session.err() << path << " holds the settings of device " << saved.deviceId
                                  << ", not of this controller (" << deviceId
                                  << "): add --force to load them anyway\n";
                    session.finish(kFailure);
                    return;
                }
                session.control().restoreSettings(saved.autoMode ? 1 : 0, saved.config - 1,
                                                  saved.speedLimitMph);
                endRestore(session);
            },
            [&session] { endRestore(session); });
    }};
    action.file = path;
    action.fileSha256 = sha256Hex(content.bytes);
    return action;
}

}  // namespace

CommandAction parseSettings(std::vector<std::string> words) {
    const bool force = takeFlag(words, "--force");
    if (words.size() != 2 || (words[0] != "save" && words[0] != "load")) {
        throw UsageError{"expected: settings save|load FILE [--force]"};
    }
    return words[0] == "save" ? parseSave(words[1], force) : parseLoad(words[1], force);
}

}  // namespace korvane
