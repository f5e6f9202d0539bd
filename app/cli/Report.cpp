#include "app/cli/Report.h"

#include <algorithm>
#include <cmath>

#include "app/SettingsFile.h"
#include "app/cli/Member.h"
#include "app/cli/Run.h"
#include "util/StringPrintf.h"

namespace korvane {

nlohmann::json seconds(Duration duration) {
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
    if (milliseconds % 1000 == 0) {
        return milliseconds / 1000;
    }
    return static_cast<double>(milliseconds) / 1000.0;
}

nlohmann::json controllerJson(const MainViewControl& control) {
    const SimpleSerial& link = *control.link();
    nlohmann::json object = settingsJson(control.settings());
    object.update({{"port", link.portPath()},
                   {"bootloader", link.identity.bootloader},
                   {"deviceId", link.identity.deviceId},
                   {"software", link.identity.software.value_or(0)}});
    return object;
}

nlohmann::json describeOutcome(const Member& member) {
    nlohmann::json object = nlohmann::json::object();
    if (member.control().link() != nullptr && member.job().describesSettings()) {
        object = controllerJson(member.control());
    } else if (!member.found.deviceId.empty()) {
        object = {{"port", member.path()},
                  {"bootloader", member.found.bootloader},
                  {"deviceId", member.found.deviceId},
                  {"software", member.found.software.value_or(0)}};
    }
    member.job().describe(object, member);
    const Outcome& outcome = member.outcome().value();
    static const char* const kResults[] = {"ok", "failed", "notBack", "interrupted"};
    object["result"] = kResults[static_cast<int>(outcome.result)];
    if (outcome.result != Result::ok) {
        object["reason"] = outcome.reason;
    }
    if (outcome.unanswered) {
        object["unanswered"] = *outcome.unanswered;
    }
    object["seconds"] = seconds(member.took());
    return object;
}

std::string summaryLine(const Member& member) {
    std::string software = stringPrintf("software %02u", member.found.software.value_or(0));
    if (const auto file = member.run().command().fileSoftware) {
        software += stringPrintf(", file's software %02u", *file);
    }
    if (member.back) {
        software += stringPrintf(", back with software %02u", member.back->software.value_or(0));
    }
    const Outcome& outcome = member.outcome().value();
    // One line for each controller, whatever the reason's lines.
    std::string reason = outcome.reason;
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    static const char* const kResults[] = {"ok", "failed: ", "not back: ", "interrupted: "};
    const std::string result =
        kResults[static_cast<int>(outcome.result)] + (outcome.result == Result::ok ? "" : reason);
    return "Summary: " + member.path() + ", device " + member.found.deviceId + ", " + software +
           ", " + result + ", " +
           stringPrintf("%.2f s", std::chrono::duration<double>(member.took()).count());
}

std::string updatePreamble(const std::string& controllers, const std::string& file,
                           unsigned fileSoftware) {
    return stringPrintf("%s will be erased and programmed with %s (software %02u).",
                        controllers.c_str(), file.c_str(), fileSoftware);
}

}  // namespace korvane
