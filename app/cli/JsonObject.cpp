#include "app/cli/JsonObject.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>

namespace korvane {

namespace {
QString qt(const std::string& text) {
    return QString::fromStdString(text);
}
}  // namespace

JsonObject& JsonObject::add(const std::string& key, const std::string& text) {
    object_.insert(qt(key), qt(text));
    return *this;
}

JsonObject& JsonObject::addNumber(const std::string& key, std::int64_t number) {
    object_.insert(qt(key), static_cast<qint64>(number));
    return *this;
}

JsonObject& JsonObject::addFlag(const std::string& key, bool flag) {
    object_.insert(qt(key), flag);
    return *this;
}

JsonObject& JsonObject::addList(const std::string& key, const std::vector<std::string>& texts) {
    QJsonArray list;
    for (const std::string& text : texts) {
        list.append(qt(text));
    }
    object_.insert(qt(key), list);
    return *this;
}

JsonObject& JsonObject::addObject(const std::string& key, const JsonObject& member) {
    object_.insert(qt(key), member.object());
    return *this;
}

JsonObject& JsonObject::addSeconds(const std::string& key, double seconds) {
    object_.insert(qt(key), std::round(seconds * 1000.0) / 1000.0);
    return *this;
}

std::string JsonObject::text() const {
    return QJsonDocument(object_).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace korvane
