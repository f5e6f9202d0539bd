#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace korvane {

// One JSON object on one line, its members in the order they were added:
// {"port": "/dev/ttyUSB0", "software": 7}
class JsonObject {
public:
    JsonObject& add(const std::string& key, const std::string& text);
    JsonObject& add(const std::string& key, const char* text) {
        return add(key, std::string(text));
    }
    JsonObject& addNumber(const std::string& key, std::int64_t number);
    JsonObject& addFlag(const std::string& key, bool flag);
    JsonObject& addList(const std::string& key, const std::vector<std::string>& texts);
    // Seconds with three decimals.
    JsonObject& addSeconds(const std::string& key, double seconds);
    std::string text() const { return "{" + members_ + "}"; }

private:
    JsonObject& addRaw(const std::string& key, const std::string& value);

    std::string members_;
};

}  // namespace korvane
