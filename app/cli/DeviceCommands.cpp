// The commands that read or change the controller's settings, or restart it.
#include <QJsonArray>
#include <QJsonDocument>
#include <cstdio>
#include <ostream>

#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/Verbs.h"
#include "platform/ORSSerialPortManager.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

constexpr int kMaxSpeedMph = 30;
constexpr int kMaxSpeedKmh = 50;
constexpr const char* kResetSent =
    "The reset was sent: the controller is restarting.\nRun korvane-cli info again once it is "
    "back.";
constexpr const char* kNotReset = "Interrupted before the reset was sent: nothing was changed";

// After a setter: when nothing was sent (the device holds the value already), says so.
void endIfNothingSent(ConsoleSession& session, const std::string& already) {
    if (session.control().isEnabled()) {
        session.out() << already << '\n';
        session.finish(kSuccess);
    }
}

void reportWrite(ConsoleSession& session, const std::string& name) {
    MainViewControl& control = session.control();
    if (!control.isEnabled()) {
        return;
    }
    const bool updated = control.setStatus() == name + " is updated";
    (updated ? session.out() : session.err()) << control.setStatus() << '\n';
    session.finish(updated ? kSuccess : kFailure);
}

void printInfo(ConsoleSession& session, bool json) {
    const MainViewControl& control = session.control();
    if (json) {
        session.out() << describeController(control).text() << '\n';
        return;
    }
    const SimpleSerial& link = *control.link();
    session.out() << control.connectStatus() << '\n'
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

CommandAction parseSetAuto(const std::string& value) {
    if (value != "on" && value != "off") {
        throw UsageError{"automatic mode is on or off, not \"" + value + "\""};
    }
    const int mode = value == "on" ? 1 : 0;
    return [mode, value](ConsoleSession& session) {
        converse(
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
        converse(
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
        converse(
            session,
            [&session, speed, kmh] {
                // Chosen in the speed list, as in the window: the same conversion to mph.
                session.control().setIsKmh(kmh ? 1 : 0);
                session.speeds().selectItemWithTitle(std::to_string(speed));
                session.control().onSpeed(session.speeds());
            },
            [&session, kmh] {
                reportWrite(session, "Speed Limit");
                // What the controller holds now, which a speed in km/h only comes close to.
                if (session.control().setStatus() == "Speed Limit is updated") {
                    const unsigned mph = session.control().link()->settings.speedLimit;
                    session.out() << "Speed Limit set to " << mph << " mph";
                    if (kmh) {
                        session.out() << " (" << session.control().getDeviceSpeed() << " km/h)";
                    }
                    session.out() << '\n';
                }
            });
    };
}

}  // namespace

JsonObject describeController(const MainViewControl& control) {
    const SimpleSerial& link = *control.link();
    const ControllerIdentity identity = identityOf(link);
    JsonObject object;
    object.add("port", link.portPath())
        .add("bootloader", identity.bootloader)
        .add("deviceId", identity.deviceId)
        .addNumber("software", identity.software)
        .addFlag("auto", control.isAuto() != 0)
        .addNumber("config", control.config() + 1)
        .addNumber("speedLimitMph", link.settings.speedLimit);
    return object;
}

CommandAction parsePorts(const std::vector<std::string>& arguments) {
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments[0] != "--json")) {
        throw UsageError{"expected: ports [--json]"};
    }
    CommandAction action{[json = !arguments.empty()](ConsoleSession& session) {
        QJsonArray list;
        for (const PortDescription& port :
             ORSSerialPortManager::sharedSerialPortManager().availablePorts()) {
            const std::string ids = port.usbIds
                                        ? stringPrintf("%04x:%04x", unsigned{port.usbIds->vendorId},
                                                       unsigned{port.usbIds->productId})
                                        : "";
            if (json) {
                JsonObject object;
                object.add("path", port.path).add("name", port.name);
                if (port.usbIds) {
                    object.add("usbIds", ids);
                }
                list.append(object.object());
            } else {
                session.out() << port.path << '\t' << port.name << (ids.empty() ? "" : "\t" + ids)
                              << '\n';
            }
        }
        if (json) {
            session.out() << QJsonDocument(list).toJson(QJsonDocument::Compact).toStdString()
                          << '\n';
        }
        session.finish(kSuccess);
    }};
    action.needsController = false;
    return action;
}

CommandAction parseInfo(const std::vector<std::string>& arguments) {
    if (arguments.size() > 1 || (arguments.size() == 1 && arguments[0] != "--json")) {
        throw UsageError{"expected: info [--json]"};
    }
    const bool json = !arguments.empty();
    return [json](ConsoleSession& session) {
        converse(
            session,
            [&session, json] {
                printInfo(session, json);
                session.finish(kSuccess);
            },
            [] {});
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
        // Once sent, the reset is done: the controller restarts whatever happens here.
        session.setInterruption([&session]() -> Interruption {
            const MainViewControl& control = session.control();
            if (control.updateStage() == UpdateStage::restarting) {
                return {kResetSent, kSuccess};
            }
            return {control.isConnected() ? kNotReset : kInterruptedSearch};
        });
        converse(
            session, [&session] { session.control().resetDevice(); }, [] {},
            [&session](const std::string& alert) {
                if (alert == kRebootNotice) {
                    session.out() << kRestarted << '\n';
                    session.finish(kSuccess);
                }
                // A restarting device leaves the bus: its port closes.
                return alert == kRebootNotice || alert == kDeviceLost;
            });
    };
}

}  // namespace korvane
