#include "app/frontend/SettingsFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>

#include "app/ControllerIdentity.h"

namespace korvane {

namespace {

// A settings file is a few hundred bytes; anything much larger is not one.
constexpr qint64 kMaxSettingsFileBytes = 64 * 1024;

QString hexDigits(int count) {
    return QStringLiteral("^[0-9A-Fa-f]{%1}$").arg(count);
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

std::string saveSettingsFile(const std::string& path, const SavedSettings& settings, bool replace) {
    const QString name = QString::fromStdString(path);
    if (!replace && QFileInfo::exists(name)) {
        return "exists already: add --force to replace it";
    }
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
    // Written to a temporary file and renamed: an interrupted save leaves no half a file.
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(QJsonDocument(object).toJson(QJsonDocument::Indented)) < 0 || !file.commit()) {
        return file.errorString().toStdString();
    }
    return {};
}

SettingsFileReading readSettingsFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (QFileInfo(file).isDir()) {
        return {std::nullopt, "is a folder, not a file"};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return {std::nullopt, file.errorString().toStdString()};
    }
    if (file.size() > kMaxSettingsFileBytes) {
        return {std::nullopt, "is too large for a settings file"};
    }
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
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
        if (problem.empty() && (!value.isString() || !value.toString().contains(
                                                         QRegularExpression(hexDigits(digits))))) {
            problem =
                std::string(key) + " must be " + std::to_string(digits) + " hexadecimal digits";
        }
        return value.toString().toUpper().toStdString();
    };
    const auto number = [&](const char* key, int low, int high) {
        const QJsonValue value = object.value(QLatin1String(key));
        const double number = value.toDouble(-1);
        if (problem.empty() && (!value.isDouble() || number != static_cast<int>(number) ||
                                number < low || number > high)) {
            problem = std::string(key) + " must be a whole number from " + std::to_string(low) +
                      " to " + std::to_string(high);
        }
        return static_cast<int>(number);
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
    settings.speedLimitMph = number("speedLimitMph", 1, 30);
    settings.record = text("record", 24);
    settings.savedAt = object.value("savedAt").toString().toStdString();
    if (!problem.empty()) {
        return {std::nullopt, problem};
    }
    return {settings, {}};
}

}  // namespace korvane
