#include "app/Texts.h"

#include "util/StringPrintf.h"

namespace korvane {

bool speedIsOffered(int mph) {
    return mph >= kLowestSpeed && mph <= kMaxSpeedMph;
}

std::string_view settingName(Setting setting) {
    static constexpr std::string_view kNames[] = {"Auto", "Config", "Speed Limit"};
    return kNames[static_cast<int>(setting)];
}

std::string updateQuestion(unsigned software) {
    return stringPrintf("Update firmware from file Software version: %02u?", software);
}

std::string couldNotSave(const std::string& path, const std::string& problem) {
    return "Could not save the settings to " + path + ": " + problem;
}

}  // namespace korvane
