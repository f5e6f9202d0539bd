// The commands that need no controller: the ports that are probed, and a firmware file's check.
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/cli/Console.h"
#include "app/cli/Job.h"
#include "platform/ORSSerialPortManager.h"
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

void addRegion(nlohmann::json& object, const std::string& name, const RegionContent& region) {
    object[name + "Records"] = region.records;
    object[name + "Bytes"] = region.bytes;
    if (region.bytes > 0) {
        object[name + "First"] = hex16(region.first);
        object[name + "Last"] = hex16(region.last);
    }
}

int check(Console& console, const std::string& path, bool json) {
    const CheckedFirmwareFile checked = checkFirmwareFile(path);
    if (!checked.file) {
        if (json) {
            console.out() << jsonLine(
                                 {{"file", path}, {"valid", false}, {"reason", checked.problem}})
                          << '\n';
        } else {
            console.err() << "Invalid firmware file\n" << path << ": " << checked.problem << '\n';
        }
        return kUnusable;
    }
    const FirmwareFile& file = *checked.file;
    if (json) {
        nlohmann::json object = {
            {"file", path}, {"valid", true}, {"software", file.softwareVersion}};
        addRegion(object, "program", file.program);
        addRegion(object, "eprom", file.eprom);
        std::vector<std::string> uppers;
        for (const std::uint16_t upper : file.skippedUpperAddresses) {
            uppers.push_back(hex16(upper));
        }
        object["notWritten"] = file.skippedRecords;
        object["notWrittenUpperAddresses"] = uppers;
        console.out() << jsonLine(object) << '\n';
        return 0;
    }
    const std::string skipped = describeSkippedRecords(file);
    console.out() << "Valid firmware file: " << path << '\n'
                  << stringPrintf("Software version: %02u\n", unsigned{file.softwareVersion})
                  << "Program memory: " << describeRegion(file.program) << '\n'
                  << "Eprom: " << describeRegion(file.eprom) << '\n'
                  << (skipped.empty() ? "Records not written: 0" : skipped) << '\n';
    return 0;
}

int listPorts(Console& console, bool json) {
    nlohmann::json list = nlohmann::json::array();
    for (const PortDescription& port :
         ORSSerialPortManager::sharedSerialPortManager().availablePorts()) {
        const std::string ids = port.usbIds
                                    ? stringPrintf("%04x:%04x", unsigned{port.usbIds->vendorId},
                                                   unsigned{port.usbIds->productId})
                                    : "";
        if (!json) {
            console.out() << port.path << '\t' << port.name << (ids.empty() ? "" : "\t" + ids)
                          << '\n';
            continue;
        }
        nlohmann::json object = {{"path", port.path}, {"name", port.name}};
        if (port.usbIds) {
            object["usbIds"] = ids;
        }
        list.push_back(object);
    }
    if (json) {
        console.out() << jsonLine(list) << '\n';
    }
    return 0;
}

}  // namespace

Command portsCommand(const Invocation&) {
    Command command;
    command.alone = listPorts;
    return command;
}

Command checkCommand(const Invocation& invocation) {
    Command command;
    command.alone = [path = invocation.check.file](Console& console, bool json) {
        return check(console, path, json);
    };
    return command;
}

}  // namespace korvane
