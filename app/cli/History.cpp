#include "app/cli/History.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QSysInfo>

namespace korvane {

namespace {

// The three settings a user changes, as `info --json` names them.
JsonObject describeSettings(const ShownSettings& settings) {
    JsonObject object;
    object.addFlag("auto", settings.autoMode)
        .addNumber("config", settings.config)
        .addNumber("speedLimitMph", settings.speedLimitMph);
    return object;
}

}  // namespace

std::string History::recordController(const ConsoleSession& session, const CommandAction& action,
                                      const Outcome& outcome) {
    JsonObject object = describeOutcome(session, action, outcome);
    if (context_.settingsCommand && session.found()) {
        object.addObject("settingsBefore", describeSettings(session.foundSettings()));
        // Only what was read back: a write the controller did not acknowledge leaves it unknown.
        if (const SimpleSerial* link = session.control().link();
            link != nullptr && link->settingsAsRead()) {
            object.addObject("settingsAfter", describeSettings(shownSettings(session.control())));
        }
    }
    return append(std::move(object), action);
}

std::string History::recordRun(JsonObject object, const CommandAction& action) {
    return append(std::move(object), action);
}

std::string History::append(JsonObject object, const CommandAction& action) {
    object.add("time", context_.clock ? context_.clock() : utcNow())
        .add("host", context_.host)
        .add("version", context_.version)
        .add("command", context_.command);
    if (!action.file.empty()) {
        object.add("file", action.file);
    }
    if (!action.fileSha256.empty()) {
        object.add("fileSha256", action.fileSha256);
    }
    if (const std::string problem = file_->append(object.text()); !problem.empty()) {
        return "Could not append to the history " + path_ + ": " + problem;
    }
    return {};
}

std::string sha256Hex(ByteView bytes) {
    return QCryptographicHash::hash(
               QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string hostName() {
    return QSysInfo::machineHostName().toStdString();
}

std::string utcNow() {
    return QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString();
}

}  // namespace korvane
