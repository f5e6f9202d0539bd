#include "app/cli/JsonObject.h"

#include "util/StringPrintf.h"

namespace korvane {

namespace {

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            result += '\\';
            result += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            result += stringPrintf("\\u%04x", static_cast<unsigned>(c));
        } else {
            result += c;
        }
    }
    return result + '"';
}

}  // namespace

JsonObject& JsonObject::addRaw(const std::string& key, const std::string& value) {
    members_ += (members_.empty() ? "" : ", ") + quoted(key) + ": " + value;
    return *this;
}

JsonObject& JsonObject::add(const std::string& key, const std::string& text) {
    return addRaw(key, quoted(text));
}

JsonObject& JsonObject::addNumber(const std::string& key, std::int64_t number) {
    return addRaw(key, std::to_string(number));
}

JsonObject& JsonObject::addFlag(const std::string& key, bool flag) {
    return addRaw(key, flag ? "true" : "false");
}

JsonObject& JsonObject::addList(const std::string& key, const std::vector<std::string>& texts) {
    std::string list;
    for (const std::string& text : texts) {
        list += (list.empty() ? "" : ", ") + quoted(text);
    }
    return addRaw(key, "[" + list + "]");
}

JsonObject& JsonObject::addSeconds(const std::string& key, double seconds) {
    return addRaw(key, stringPrintf("%.3f", seconds));
}

}  // namespace korvane
