#include "app/cli/Commands.h"

#include <cstdio>
#include <iostream>
#include <optional>

#include "app/AccessHint.h"
#include "app/cli/ConsoleSession.h"
#include "app/cli/Terminal.h"
#include "firmware/FirmwareFile.h"
#include "platform/ORSSerialPortManager.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

constexpr int kSuccess = 0;
constexpr int kFailure = 1;
constexpr int kMaxSpeedMph = 30;
constexpr int kMaxSpeedKmh = 50;
constexpr const char* kRebootNotice = "The device is rebooting. Click Connect button to reconnect";
constexpr const char* kDeviceLost = "The device is disconnected";
constexpr const char* kRecordFailed = "Could not update firmware";

// Finds the controller, then hands over: `ready` once the device is held and nothing is being
// written, `next` after every later change. An alert ends the command as a failure unless
// `onAlert` takes it.
int converse(ConsoleSession& session, std::function<void()> ready, std::function<void()> next,
             std::function<bool(const std::string&)> onAlert = nullptr) {
    bool started = false;
    return session.run([&session] { session.control().onConnect(); },
                       [&] {
                           MainViewControl& control = session.control();
                           for (const std::string& alert : session.takeAlerts()) {
                               if (!onAlert || !onAlert(alert)) {
                                   std::cerr << alert << '\n';
                                   session.finish(kFailure);
                               }
                               if (session.finished()) {
                                   return;
                               }
                           }
                           if (started) {
                               next();
                           } else if (control.isConnected() && control.isEnabled()) {
                               started = true;
                               ready();
                           } else if (control.canConnect()) {
                               std::cerr << control.connectStatus() << '\n';
                               if (const std::string hint =
                                       accessHint(ORSSerialPortManager::sharedSerialPortManager());
                                   !hint.empty()) {
                                   std::cerr << hint << '\n';
                               }
                               session.finish(kFailure);
                           }
                       });
}

// After a setter: when nothing was sent (the device holds the value already), says so.
void endIfNothingSent(ConsoleSession& session, const std::string& already) {
    if (session.control().isEnabled()) {
        std::cout << already << '\n';
        session.finish(kSuccess);
    }
}

void reportWrite(ConsoleSession& session, const std::string& name) {
    MainViewControl& control = session.control();
    if (!control.isEnabled()) {
        return;
    }
    const bool updated = control.setStatus() == name + " is updated";
    (updated ? std::cout : std::cerr) << control.setStatus() << '\n';
    session.finish(updated ? kSuccess : kFailure);
}

std::string jsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            quoted += stringPrintf("\\u%04x", static_cast<unsigned>(c));
        } else {
            quoted += c;
        }
    }
    return quoted + '"';
}

void printInfo(MainViewControl& control, bool json) {
    const SimpleSerial& link = *control.link();
    if (json) {
        char bootloader[5] = "";
        char deviceId[5] = "";
        std::sscanf(link.identityText.c_str(), "Bootloader: %4[0-9A-F], Device ID: %4[0-9A-F]",
                    bootloader, deviceId);
        std::cout << "{\"port\": " << jsonString(link.portPath())
                  << ", \"bootloader\": " << jsonString(bootloader)
                  << ", \"deviceId\": " << jsonString(deviceId)
                  << ", \"software\": " << unsigned{link.settings.softwareVersion}
                  << ", \"auto\": " << (control.isAuto() != 0 ? "true" : "false")
                  << ", \"config\": " << control.config() + 1
                  << ", \"speedLimitMph\": " << unsigned{link.settings.speedLimit} << "}\n";
        return;
    }
    std::cout << control.connectStatus() << '\n'
              << "Port: " << link.portPath() << '\n'
              << "Automatic mode: " << (control.isAuto() != 0 ? "on" : "off") << '\n'
              << "Configuration: " << control.config() + 1 << '\n'
              << "Speed limit: " << unsigned{link.settings.speedLimit} << " mph\n";
}

int number(const std::string& text, int low, int high, const std::string& what) {
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < low || value > high) {
        throw UsageError{what + " must be a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not \"" + text + "\""};
    }
    return value;
}

void expectCount(const std::vector<std::string>& arguments, std::size_t count,
                 const std::string& synopsis) {
    if (arguments.size() != count) {
        throw UsageError{"expected: " + synopsis};
    }
}

CommandAction parsePorts(const std::vector<std::string>& arguments) {
    expectCount(arguments, 0, "ports");
    return [](ConsoleSession&) {
        for (const PortDescription& port :
             ORSSerialPortManager::sharedSerialPortManager().availablePorts()) {
            std::cout << port.path << '\t' << port.name;
            if (port.usbIds) {
                std::cout << '\t'
                          << stringPrintf("%04x:%04x", unsigned{port.usbIds->vendorId},
                                          unsigned{port.usbIds->productId});
            }
            std::cout << '\n';
        }
        return kSuccess;
    };
}

CommandAction parseInfo(const std::vector<std::string>& arguments) {
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments[0] != "--json")) {
        throw UsageError{"expected: info [--json]"};
    }
    const bool json = !arguments.empty();
    return [json](ConsoleSession& session) {
        return converse(
            session,
            [&session, json] {
                printInfo(session.control(), json);
                session.finish(kSuccess);
            },
            [] {});
    };
}

CommandAction parseSetAuto(const std::string& value) {
    if (value != "on" && value != "off") {
        throw UsageError{"automatic mode is on or off, not \"" + value + "\""};
    }
    const int mode = value == "on" ? 1 : 0;
    return [mode, value](ConsoleSession& session) {
        return converse(
            session,
            [&session, mode, value] {
                session.control().setIsAuto(mode);
                endIfNothingSent(session, "Auto is already " + value);
            },
            [&session] { reportWrite(session, "Auto"); });
    };
}

CommandAction parseSetConfig(const std::string& value) {
    const int choice = number(value, 1, 3, "the configuration");
    return [choice](ConsoleSession& session) {
        return converse(
            session,
            [&session, choice] {
                session.control().setConfig(choice - 1);
                endIfNothingSent(session, "Config is already " + std::to_string(choice));
            },
            [&session] { reportWrite(session, "Config"); });
    };
}

CommandAction parseSetSpeed(const std::vector<std::string>& arguments) {
    const bool kmh = arguments.size() == 3 && arguments[2] == "--kmh";
    if (arguments.size() != 2 && !kmh) {
        throw UsageError{"expected: set speed N [--kmh]"};
    }
    const int speed = number(arguments[1], 1, kmh ? kMaxSpeedKmh : kMaxSpeedMph,
                             kmh ? "the speed in km/h" : "the speed in mph");
    return [speed, kmh](ConsoleSession& session) {
        return converse(
            session,
            [&session, speed, kmh] {
                // Chosen in the speed list, as in the window: the same conversion to mph.
                session.control().setIsKmh(kmh ? 1 : 0);
                session.speeds().selectItemWithTitle(std::to_string(speed));
                session.control().onSpeed(session.speeds());
            },
            [&session] {
                reportWrite(session, "Speed Limit");
                if (session.control().setStatus() == "Speed Limit is updated") {
                    std::cout << "Speed limit: "
                              << unsigned{session.control().link()->settings.speedLimit}
                              << " mph\n";
                }
            });
    };
}

CommandAction parseSet(const std::vector<std::string>& arguments) {
    if (arguments.empty()) {
        throw UsageError{"expected: set auto|config|speed VALUE"};
    }
    const std::string& what = arguments[0];
    if (what == "speed") {
        return parseSetSpeed(arguments);
    }
    if (what == "auto") {
        expectCount(arguments, 2, "set auto on|off");
        return parseSetAuto(arguments[1]);
    }
    if (what == "config") {
        expectCount(arguments, 2, "set config 1|2|3");
        return parseSetConfig(arguments[1]);
    }
    throw UsageError{"there is no setting \"" + what + "\"; choose auto, config or speed"};
}

CommandAction parseReset(const std::vector<std::string>& arguments) {
    expectCount(arguments, 0, "reset");
    return [](ConsoleSession& session) {
        return converse(
            session, [&session] { session.control().resetDevice(); }, [] {},
            [&session](const std::string& alert) {
                if (alert == kRebootNotice) {
                    std::cout << alert << '\n';
                    session.finish(kSuccess);
                }
                // A restarting device leaves the bus: its port closes.
                return alert == kRebootNotice || alert == kDeviceLost;
            });
    };
}

CommandAction parseFlash(const std::vector<std::string>& arguments) {
    std::vector<std::string> files;
    bool yes = false;
    for (const std::string& argument : arguments) {
        if (argument == "--yes") {
            yes = true;
        } else {
            files.push_back(argument);
        }
    }
    if (files.size() != 1) {
        throw UsageError{"expected: flash FILE [--yes]"};
    }
    // The file is checked whole before any port is touched.
    Bytes file = readWholeFile(files[0]);
    const FirmwareFileReading reading = readFirmwareFile(file);
    if (!reading.file) {
        const std::string where =
            reading.problem.line == 0 ? "" : "line " + std::to_string(reading.problem.line) + ": ";
        throw InputError{"Invalid firmware file\n" + files[0] + ": " + where +
                         (file.empty() ? "cannot be read, or is empty" : reading.problem.reason)};
    }
    if (!yes && !inputIsTerminal()) {
        throw UsageError{"no terminal to confirm the update on: add --yes"};
    }
    return [file = std::move(file), yes](ConsoleSession& session) {
        TerminalQuestion question;
        session.setConfirmer(
            [&session, &question, yes](const std::string& text, std::function<void(bool)> answer) {
                if (yes) {
                    std::cout << text << " Update\n";
                    answer(true);
                    return;
                }
                question.ask(text, [&session, answer = std::move(answer)](bool update) {
                    if (!update) {
                        std::cerr << "Firmware update cancelled\n";
                        session.finish(kFailure);
                    }
                    answer(update);
                });
            });
        ProgressReport progress(outputIsTerminal());
        MainViewControl& control = session.control();
        const auto allRecordsDone = [&control] {
            return control.isUpdatingFirmware() && control.maxFirmwareCount() > 0 &&
                   control.currFirmwareCount() == control.maxFirmwareCount();
        };
        return converse(
            session, [&] { control.loadDataFile(file); },
            [&] {
                if (control.isUpdatingFirmware()) {
                    progress.update(control.currFirmwareCount(), control.maxFirmwareCount());
                }
                if (control.firmwareStatus() == kRecordFailed) {
                    progress.finish();
                    std::cerr << kRecordFailed << '\n';
                    session.finish(kFailure);
                }
            },
            [&](const std::string& alert) {
                if (alert == kDeviceLost && allRecordsDone()) {
                    return true;  // restarting after the update, the device leaves the bus
                }
                progress.finish();
                if (alert == kRebootNotice) {
                    std::cout << alert << '\n';
                    session.finish(kSuccess);
                    return true;
                }
                return false;
            });
    };
}

}  // namespace

const std::vector<Command>& commands() {
    static const std::vector<Command> table = {
        {"ports", "ports", "list the serial ports that are probed", parsePorts},
        {"info", "info [--json]", "find the controller; show its identity and settings", parseInfo},
        {"set", "set auto on|off", "switch the automatic mode", parseSet},
        {"set", "set config 1|2|3", "choose the configuration", parseSet},
        {"set", "set speed N [--kmh]", "set the speed limit: N mph (1-30) or N km/h (1-50)",
         parseSet},
        {"reset", "reset", "restart the controller", parseReset},
        {"flash", "flash FILE [--yes]", "replace the firmware with an Intel HEX file", parseFlash},
    };
    return table;
}

std::string usage() {
    std::string text =
        "usage: korvane-cli [--port PATH]... [--demo] [--verbose] COMMAND\n\ncommands:\n";
    for (const Command& command : commands()) {
        text += stringPrintf("  %-22s %s\n", std::string(command.synopsis).c_str(),
                             std::string(command.summary).c_str());
    }
    text +=
        "\noptions:\n"
        "  --port PATH            probe only this port (repeatable)\n"
        "  --demo                 talk to the built-in simulated controller\n"
        "  --verbose              write the log to stderr\n";
    return text;
}

}  // namespace korvane
