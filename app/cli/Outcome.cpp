#include "app/cli/Outcome.h"

#include <algorithm>

#include "app/AccessHint.h"
#include "app/cli/Conversation.h"
#include "app/cli/Verbs.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

double seconds(const ConsoleSession& session) {
    return std::chrono::duration<double>(session.took()).count();
}

}  // namespace

Outcome interruptedOutcome(const Interruption& interruption) {
    if (interruption.statusWhenDone) {
        return {*interruption.statusWhenDone == kSuccess, interruption.statement};
    }
    return {false, interruption.statement, true};
}

Outcome finishedOutcome(int status, std::string reason) {
    return {status == kSuccess, std::move(reason), false, status == kNotBack};
}

JsonObject describeOutcome(const ConsoleSession& session, const CommandAction& action,
                           const Outcome& outcome) {
    const MainViewControl& control = session.control();
    JsonObject object;
    // A restart or a new firmware leaves the settings read before it behind.
    if (control.link() != nullptr && !action.fileSoftware) {
        object = describeController(control);
    } else if (session.found()) {
        object.add("port", session.foundPath())
            .add("bootloader", session.found()->bootloader)
            .add("deviceId", session.found()->deviceId)
            .addNumber("software", session.found()->software);
    }
    if (action.fileSoftware) {
        // Data records: the progress also counts the upper address records. The file's, also
        // when no controller was found or the update was cancelled.
        const auto count = [](std::size_t records) {
            return static_cast<std::int64_t>(records);
        };
        object.addNumber("fileSoftware", *action.fileSoftware)
            .addNumber("records", count(action.fileRecords))
            .addNumber("recordsWritten", count(control.firmwareRecordsFinished(RecordKind::data)))
            .addNumber("recordsSkipped", count(action.fileRecordsSkipped));
    }
    if (session.back()) {
        object.addNumber("softwareAfter", session.back()->software);
    }
    session.addDetails(object);
    object.add("result", outcome.ok            ? "ok"
                         : outcome.interrupted ? "interrupted"
                         : outcome.notBack     ? "notBack"
                                               : "failed");
    if (!outcome.ok) {
        // No controller: the status says so; the ports say why.
        const bool none = !session.found() && !outcome.interrupted && control.canConnect();
        object.add("reason", none ? control.connectStatus() : outcome.reason);
        if (none) {
            std::vector<std::string> unanswered;
            for (const PortProbe& probe : control.failedProbes()) {
                unanswered.push_back(probe.path + ": " + probeReason(probe));
            }
            std::sort(unanswered.begin(), unanswered.end());
            object.addList("unanswered", unanswered);
        }
    }
    return object.addSeconds("seconds", seconds(session));
}

std::string summaryLine(const ConsoleSession& session, const CommandAction& action,
                        const Outcome& outcome) {
    const ControllerIdentity identity = session.found().value_or(ControllerIdentity{});
    std::string software = stringPrintf("software %02u", identity.software);
    if (action.fileSoftware) {
        software += stringPrintf(", file's software %02u", *action.fileSoftware);
    }
    if (session.back()) {
        software += stringPrintf(", back with software %02u", session.back()->software);
    }
    // One line for each controller, whatever the reason's lines.
    std::string reason = outcome.reason;
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    const std::string result = outcome.ok            ? "ok"
                               : outcome.interrupted ? "interrupted: " + reason
                               : outcome.notBack     ? "not back: " + reason
                                                     : "failed: " + reason;
    return "Summary: " + session.foundPath() + ", device " + identity.deviceId + ", " + software +
           ", " + result + ", " + stringPrintf("%.2f s", seconds(session));
}

}  // namespace korvane
