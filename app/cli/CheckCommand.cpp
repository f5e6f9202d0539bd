// Checking a firmware file without a controller.
#include <ostream>

#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/Verbs.h"
#include "firmware/FirmwareFile.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

std::string hex16(unsigned value) {
    return stringPrintf("0x%04X", value);
}

// "100 records, 1600 bytes, 0x1000-0x163F", or "no records".
std::string describeRegion(const RegionContent& region) {
    if (region.records == 0) {
        return "no records";
    }
    std::string text =
        stringPrintf("%zu record%s, %zu byte%s", region.records, region.records == 1 ? "" : "s",
                     region.bytes, region.bytes == 1 ? "" : "s");
    if (region.bytes > 0) {
        text += ", " + hex16(region.first) + "-" + hex16(region.last);
    }
    return text;
}

void addRegion(JsonObject& object, const std::string& name, const RegionContent& region) {
    object.addNumber(name + "Records", static_cast<std::int64_t>(region.records))
        .addNumber(name + "Bytes", static_cast<std::int64_t>(region.bytes));
    if (region.bytes > 0) {
        object.add(name + "First", hex16(region.first)).add(name + "Last", hex16(region.last));
    }
}

int check(ConsoleSession& session, const std::string& path, bool json) {
    const CheckedFirmwareFile checked = checkFirmwareFile(path);
    if (!checked.file) {
        if (json) {
            session.out() << JsonObject()
                                 .add("file", path)
                                 .addFlag("valid", false)
                                 .add("reason", checked.problem)
                                 .text()
                          << '\n';
        } else {
            session.err() << "Invalid firmware file\n" << path << ": " << checked.problem << '\n';
        }
        return kUnusable;
    }
    const FirmwareFile& file = *checked.file;
    if (json) {
        JsonObject object;
        object.add("file", path).addFlag("valid", true).addNumber("software", file.softwareVersion);
        addRegion(object, "program", file.program);
        addRegion(object, "eprom", file.eprom);
        std::vector<std::string> uppers;
        for (const std::uint16_t upper : file.skippedUpperAddresses) {
            uppers.push_back(hex16(upper));
        }
        object.addNumber("notWritten", static_cast<std::int64_t>(file.skippedRecords))
            .addList("notWrittenUpperAddresses", uppers);
        session.out() << object.text() << '\n';
        return kSuccess;
    }
    const std::string skipped = describeSkippedRecords(file);
    session.out() << "Valid firmware file: " << path << '\n'
                  << stringPrintf("Software version: %02u\n", unsigned{file.softwareVersion})
                  << "Program memory: " << describeRegion(file.program) << '\n'
                  << "Eprom: " << describeRegion(file.eprom) << '\n'
                  << (skipped.empty() ? "Records not written: 0" : skipped) << '\n';
    return kSuccess;
}

}  // namespace

CommandAction parseCheck(std::vector<std::string> files) {
    const bool json = takeFlag(files, "--json");
    if (files.size() != 1) {
        throw UsageError{"expected: check FILE [--json]"};
    }
    CommandAction action{[path = files[0], json](ConsoleSession& session) {
        session.finish(check(session, path, json));
    }};
    action.needsController = false;
    return action;
}

}  // namespace korvane
