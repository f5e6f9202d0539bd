#pragma once

#include <QJsonObject>
#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// One JSON object, written on one line by Qt's JSON classes.
class JsonObject {
public:
    JsonObject& add(const std::string& key, const std::string& text);
    JsonObject& add(const std::string& key, const char* text) {
        return add(key, std::string(text));
    }
    JsonObject& addNumber(const std::string& key, std::int64_t number);
    JsonObject& addFlag(const std::string& key, bool flag);
    JsonObject& addList(const std::string& key, const std::vector<std::string>& texts);
    JsonObject& addObject(const std::string& key, const JsonObject& member);
    // Seconds, to the millisecond.
    JsonObject& addSeconds(const std::string& key, double seconds);
    const QJsonObject& object() const { return object_; }
    std::string text() const;

private:
    QJsonObject object_;
};

}  // namespace korvane
