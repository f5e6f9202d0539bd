#include "app/frontend/SettingsFile.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <cmath>

#include "app/ControllerIdentity.h"
#include "util/RegularFile.h"

namespace korvane {

namespace {

QRegularExpression hexDigits(int count) {
    // Anchored as a whole: "$" alone would also take a line end after the digits.
    return QRegularExpression(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-Fa-f]{%1}").arg(count)));
}

}  // namespace

SavedSettings settingsOf(const MainViewControl& control) {
    const SimpleSerial& link = *control.link();
    const ControllerIdentity identity = identityOf(link);
    const ByteView record = ByteView(link.settings.bytes()).subspan(kFrameLength);
    return {identity.deviceId,
            identity.bootloader,
            static_cast<int>(identity.software),
            control.isAuto() != 0,
            control.config() + 1,
            link.settings.speedLimit,
            QByteArray(reinterpret_cast<const char*>(record.data()),
                       static_cast<qsizetype>(record.size()))
                .toHex()
                .toUpper()
                .toStdString(),
            QDateTime::currentDateTimeUtc().toString(Qt::ISODate).toStdString()};
}

std::string settingsFileText(const SavedSettings& settings) {
    const QJsonObject object{
        {"deviceId", QString::fromStdString(settings.deviceId)},
        {"bootloader", QString::fromStdString(settings.bootloader)},
        {"software", settings.software},
        {"auto", settings.autoMode},
        {"config", settings.config},
        {"speedLimitMph", settings.speedLimitMph},
        {"record", QString::fromStdString(settings.record)},
        {"savedAt", QString::fromStdString(settings.savedAt)},
    };
    return QJsonDocument(object).toJson(QJsonDocument::Indented).toStdString();
}

std::string saveSettingsFile(const std::string& path, const SavedSettings& settings, bool replace) {
    const QString name = QString::fromStdString(path);
    // A device or a pipe in its place would be replaced by a plain file, whatever it was.
    if (std::string problem = notARegularFile(path); !problem.empty()) {
        return problem;
    }
    if (!replace && QFileInfo::exists(name)) {
        return "exists already: add --force to replace it";
    }
    // Written to a temporary file beside it and renamed: an interrupted save leaves the old file
    // whole, and the new one takes the old one's permissions.
    QSaveFile file(name);
    const std::string text = settingsFileText(settings);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) < 0 || !file.commit()) {
        return file.errorString().toStdString();
    }
    return {};
}

bool speedIsOffered(int mph) {
    return mph >= kLowestOfferedMph && mph <= kHighestOfferedMph;
}

SettingsFileReading readSettingsFile(const std::string& path) {
    const FileContent content = readRegularFile(path, kMaxSettingsFileBytes, "settings file");
    if (!content.problem.empty()) {
        return {std::nullopt, content.problem};
    }
    return parseSettingsFile(content.bytes);
}

SettingsFileReading parseSettingsFile(ByteView content) {
    QJsonParseError error{};
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(content.data()),
                                           static_cast<qsizetype>(content.size())),
                                &error);
    if (error.error != QJsonParseError::NoError) {
        return {std::nullopt, "is not JSON: " + error.errorString().toStdString() +
                                  " at character " + std::to_string(error.offset)};
    }
    if (!document.isObject()) {
        return {std::nullopt, "holds no JSON object"};
    }
    const QJsonObject object = document.object();
    std::string problem;
    const auto text = [&](const char* key, int digits) {
        const QJsonValue value = object.value(QLatin1String(key));
        if (problem.empty() &&
            (!value.isString() || !hexDigits(digits).match(value.toString()).hasMatch())) {
            problem =
                std::string(key) + " must be " + std::to_string(digits) + " hexadecimal digits";
        }
        return value.toString().toUpper().toStdString();
    };
    const auto number = [&](const char* key, int low, int high) {
        const QJsonValue value = object.value(QLatin1String(key));
        const double given = value.toDouble(-1);
        // The range first: only a number within it may be converted.
        if (!value.isDouble() || !(given >= low && given <= high) || given != std::floor(given)) {
            if (problem.empty()) {
                problem = std::string(key) + " must be a whole number from " + std::to_string(low) +
                          " to " + std::to_string(high);
            }
            return low;
        }
        return static_cast<int>(given);
    };
    SavedSettings settings;
    settings.deviceId = text("deviceId", 4);
    settings.bootloader = text("bootloader", 4);
    settings.software = number("software", 0, 255);
    if (problem.empty() && !object.value("auto").isBool()) {
        problem = "auto must be true or false";
    }
    settings.autoMode = object.value("auto").toBool();
    settings.config = number("config", 1, 3);
    // Any byte: a file saved from a controller that holds a speed the window does not offer
    // loads back.
    settings.speedLimitMph = number("speedLimitMph", 0, 255);
    settings.record = text("record", 24);
    settings.savedAt = object.value("savedAt").toString().toStdString();
    if (!problem.empty()) {
        return {std::nullopt, problem};
    }
    return {settings, {}};
}

}  // namespace korvane
