// From the words typed to the exit status: the command line's one way through.
#include "app/cli/Commands.h"

#include <QCryptographicHash>
#include <QString>
#include <QSysInfo>
#include <algorithm>
#include <nlohmann/json.hpp>
#include <ostream>

#include "app/cli/Report.h"
#include "app/cli/Run.h"
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
            console.out() << jsonLine(nlohmann::json{
                                 {"file", path}, {"valid", false}, {"reason", checked.problem}})
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

Command makeCommand(const Invocation& invocation) {
    struct Maker {
        Command operator()(const PortsOptions&) const { return portsCommand(); }
        Command operator()(const InfoOptions&) const { return infoCommand(); }
        Command operator()(const ResetOptions&) const { return resetCommand(); }
        Command operator()(const SetOptions& options) const { return setCommand(options); }
        Command operator()(const FlashOptions& options) const { return flashCommand(options); }
        Command operator()(const VerifyOptions& options) const { return verifyCommand(options); }
        Command operator()(const CheckOptions& options) const { return checkCommand(options); }
        Command operator()(const SettingsOptions& options) const {
            return settingsCommand(options);
        }
    };
    return std::visit(Maker{}, invocation.command);
}

// Wrong usage or an unusable file: the reason, and nothing is sent.
int refuse(Console& console, bool json, std::string reason, bool usage) {
    if (usage) {
        reason = "korvane-cli: " + reason;
    }
    if (json) {
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        console.out() << jsonLine(nlohmann::json{{"result", "failed"}, {"reason", reason}}) << '\n';
    } else {
        // One line and where to read more: the whole usage would bury the reason.
        console.err() << reason << (usage ? "\nTry 'korvane-cli --help'\n" : "\n");
    }
    return kUnusable;
}

}  // namespace

std::string sha256Hex(ByteView bytes) {
    return QCryptographicHash::hash(
               QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

Command portsCommand() {
    Command command;
    command.alone = listPorts;
    return command;
}

Command checkCommand(const CheckOptions& options) {
    Command command;
    command.alone = [path = options.file](Console& console, bool json) {
        return check(console, path, json);
    };
    return command;
}

int runCommandLine(const std::vector<std::string>& arguments, Console& console) {
    const bool json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    Invocation invocation;
    Command command;
    std::unique_ptr<AppendOnlyFile> history;
    try {
        invocation = parseCommandLine(arguments);
        if (!invocation.answered.empty()) {
            console.out() << invocation.answered;
            return 0;
        }
        command = makeCommand(invocation);
        // Said before any port is touched: nobody would answer.
        if (command.asks && !console.canAsk()) {
            throw UsageError{"no terminal to confirm the update on: add --yes"};
        }
        if (!invocation.history.empty()) {
            // Opened now: a history that cannot be written is said before anything is sent.
            std::string problem;
            history = AppendOnlyFile::open(invocation.history, problem);
            if (!history) {
                throw InputError{"Could not append to the history " + invocation.history + ": " +
                                 problem};
            }
        }
    } catch (const UsageError& error) {
        return refuse(console, json, error.reason, true);
    } catch (const InputError& error) {
        return refuse(console, json, error.reason, false);
    }
    // Made on the run loop, and gone before it: its links' timers are the loop's.
    std::unique_ptr<Run> run;
    return console.run(
        invocation.frontEnd,
        [&](Console::Finish finish) {
            if (command.alone) {
                finish(command.alone(console, invocation.json));
                return;
            }
            nlohmann::json facts = {{"host", QSysInfo::machineHostName().toStdString()},
                                    {"version", KORVANE_VERSION},
                                    {"command", invocation.typed}};
            for (const auto& [name, value] :
                 {std::pair{"file", command.file}, {"fileSha256", command.fileSha256}}) {
                if (!value.empty()) {
                    facts[name] = value;
                }
            }
            run = std::make_unique<Run>(invocation, command, console, std::move(history), facts);
            run->start(std::move(finish));
        },
        [&](int signal) { return run ? run->interrupted(signal) : 128 + signal; },
        [&] { run.reset(); });
}

}  // namespace korvane
