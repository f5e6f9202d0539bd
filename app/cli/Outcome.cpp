#include "app/cli/Outcome.h"

#include "app/cli/Verbs.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

double seconds(const ConsoleSession& session) {
    return std::chrono::duration<double>(session.took()).count();
}

}  // namespace

JsonObject describeOutcome(const ConsoleSession& session, const CommandAction& action,
                           const Outcome& outcome) {
    const MainViewControl& control = session.control();
    JsonObject object;
    // A restart or a new firmware leaves the settings read before it behind.
    if (control.link() != nullptr && !action.softwareAfter) {
        object = describeController(control);
    } else if (session.found()) {
        object.add("port", session.foundPath())
            .add("bootloader", session.found()->bootloader)
            .add("deviceId", session.found()->deviceId)
            .addNumber("software", session.found()->software);
    }
    if (action.softwareAfter) {
        object.addNumber("records", static_cast<std::int64_t>(control.maxFirmwareCount()))
            .addNumber("recordsWritten", static_cast<std::int64_t>(control.currFirmwareCount()));
        if (outcome.ok) {
            object.addNumber("softwareAfter", *action.softwareAfter);
        }
    }
    object.add("result", outcome.ok ? "ok" : "failed");
    if (!outcome.ok) {
        object.add("reason", outcome.reason);
    }
    return object.addSeconds("seconds", seconds(session));
}

std::string summaryLine(const ConsoleSession& session, const CommandAction& action,
                        const Outcome& outcome) {
    const ControllerIdentity identity = session.found().value_or(ControllerIdentity{});
    std::string software = stringPrintf("software %02u", identity.software);
    if (action.softwareAfter && outcome.ok) {
        software += stringPrintf(" -> %02u", *action.softwareAfter);
    }
    return "Summary: " + session.foundPath() + ", device " + identity.deviceId + ", " + software +
           ", " + (outcome.ok ? "ok" : "failed: " + outcome.reason) + ", " +
           stringPrintf("%.2f s", seconds(session));
}

}  // namespace korvane
