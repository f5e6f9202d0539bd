// Keeping a controller's settings in a file and putting them back.
#include <QFileInfo>
#include <ostream>

#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/Verbs.h"
#include "app/frontend/SettingsFile.h"

namespace korvane {

namespace {

CommandAction parseSave(const std::string& path, bool force) {
    // Said before any port is touched.
    if (!force && QFileInfo::exists(QString::fromStdString(path))) {
        throw InputError{path + " exists already: add --force to replace it"};
    }
    CommandAction action{[path, force](ConsoleSession& session) {
        converse(
            session,
            [&session, path, force] {
                const SavedSettings settings = settingsOf(session.control());
                if (const std::string problem = saveSettingsFile(path, settings, force);
                    !problem.empty()) {
                    session.err() << "Could not save the settings to " << path << ": " << problem
                                  << '\n';
                    session.finish(kFailure);
                    return;
                }
                session.out() << "Settings of " << settings.deviceId << " saved to " << path
                              << '\n';
                session.finish(kSuccess);
            },
            [] {});
    }};
    // One file for one controller.
    action.forEveryController = false;
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
    // The whole file is checked before any port is touched.
    const SettingsFileReading reading = readSettingsFile(path);
    if (!reading.settings) {
        throw InputError{"Invalid settings file\n" + path + ": " + reading.problem};
    }
    return [path, force, saved = *reading.settings](ConsoleSession& session) {
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
    };
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
