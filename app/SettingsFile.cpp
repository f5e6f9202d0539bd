#include "app/SettingsFile.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <nlohmann/json.hpp>

#include "app/MainViewControl.h"
#include "util/StringPrintf.h"
#include "util/UtcTime.h"

namespace korvane {

namespace {

using Json = nlohmann::json;

// The parser's own tree builder, told to note where the text stopped being JSON rather than to
// throw: the core is also built where exceptions cannot be caught.
class Reader : public nlohmann::detail::json_sax_dom_parser<Json> {
public:
    explicit Reader(Json& document) : json_sax_dom_parser(document, false) {}
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& error) {
        // "... syntax error while parsing object key - unexpected end of input; expected ..."
        std::string what = error.what();
        const auto from = what.find(" - ");
        what = from == std::string::npos ? what : what.substr(from + 3);
        problem = "is not JSON: " + what.substr(0, what.find(';')) + " at character " +
                  std::to_string(position);
        return false;
    }
    std::string problem;
};

bool hexDigits(const Json& value, std::size_t count) {
    if (!value.is_string()) {
        return false;
    }
    const auto& text = value.get_ref<const std::string&>();
    return text.size() == count && std::all_of(text.begin(), text.end(), [](char c) {
               return std::isxdigit(static_cast<unsigned char>(c)) != 0;
           });
}

}  // namespace

SavedSettings settingsOf(const MainViewControl& control) {
    const SimpleSerial& link = *control.link();
    std::string record;
    for (const std::uint8_t byte : ByteView(link.settings.bytes()).subspan(kFrameLength)) {
        record += stringPrintf("%02X", unsigned{byte});
    }
    return {link.identity.deviceId,
            link.identity.bootloader,
            static_cast<int>(link.identity.software.value_or(0)),
            control.settings(),
            record,
            utcNow()};
}

Json settingsJson(const Settings& settings) {
    return {{"auto", settings.autoMode},
            {"config", settings.config},
            {"speedLimitMph", settings.speedLimitMph}};
}

std::string settingsFileText(const SavedSettings& saved) {
    Json object = settingsJson(saved.settings);
    object.update({{"deviceId", saved.deviceId},
                   {"bootloader", saved.bootloader},
                   {"software", saved.software},
                   {"record", saved.record},
                   {"savedAt", saved.savedAt}});
    return object.dump(4) + "\n";
}

FileContent settingsFileContent(const std::string& path) {
    return readRegularFile(path, kMaxSettingsFileBytes, "settings file");
}

SettingsFileReading readSettingsFile(const std::string& path) {
    const FileContent content = settingsFileContent(path);
    if (!content.problem.empty()) {
        return {std::nullopt, content.problem};
    }
    return parseSettingsFile(content.bytes);
}

SettingsFileReading parseSettingsFile(ByteView content) {
    Json document;
    Reader reader(document);
    if (!Json::sax_parse(content.begin(), content.end(), &reader)) {
        return {std::nullopt, reader.problem};
    }
    if (!document.is_object()) {
        return {std::nullopt, "holds no JSON object"};
    }
    std::string problem;
    const auto member = [&](const char* key) {
        const auto found = document.find(key);
        return found == document.end() ? Json() : *found;
    };
    const auto text = [&](const char* key, std::size_t digits) {
        const Json value = member(key);
        if (!hexDigits(value, digits)) {
            if (problem.empty()) {
                problem = stringPrintf("%s must be %zu hexadecimal digits", key, digits);
            }
            return std::string();
        }
        std::string upper = value.get<std::string>();
        std::transform(upper.begin(), upper.end(), upper.begin(),
                       [](char c) { return static_cast<char>(std::toupper(c)); });
        return upper;
    };
    const auto number = [&](const char* key, int low, int high) {
        const Json value = member(key);
        const double given = value.is_number() ? value.get<double>() : -1.0;
        // The range first: only a number within it may be converted.
        if (!value.is_number() || !(given >= low && given <= high) || given != std::floor(given)) {
            if (problem.empty()) {
                problem = stringPrintf("%s must be a whole number from %d to %d", key, low, high);
            }
            return low;
        }
        return static_cast<int>(given);
    };
    SavedSettings saved;
    saved.deviceId = text("deviceId", 4);
    saved.bootloader = text("bootloader", 4);
    saved.software = number("software", 0, 255);
    if (problem.empty() && !member("auto").is_boolean()) {
        problem = "auto must be true or false";
    }
    saved.settings.autoMode = member("auto").is_boolean() && member("auto").get<bool>();
    saved.settings.config = number("config", 1, 3);
    // Any byte: a file saved from a controller that holds a speed the window does not offer
    // loads back.
    saved.settings.speedLimitMph = number("speedLimitMph", 0, 255);
    saved.record = text("record", 24);
    const Json savedAt = member("savedAt");
    saved.savedAt = savedAt.is_string() ? savedAt.get<std::string>() : "";
    if (!problem.empty()) {
        return {std::nullopt, problem};
    }
    return {saved, {}};
}

}  // namespace korvane
