// korvane-cli as a process: against the built-in demo and against korvane-sim.
#include <gtest/gtest.h>

#include <unistd.h>
#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryFile>

#include "tests/support/SimulatorProcess.h"

namespace korvane::testing {
namespace {

constexpr int kPatienceMs = 20000;
// A terminal user is told how to see the restarted controller, not to click a button.
const std::string kRestarted =
    "The device is rebooting.\nRun korvane-cli info again once it is back.\n";

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun cli(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(KORVANE_CLI_BINARY), arguments);
    process.waitForFinished(kPatienceMs);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(),
            process.readAllStandardError().toStdString()};
}

TEST(CliTest, InfoAsJson) {
    const CliRun run = cli({"--demo", "info", "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "{\"port\": \"/dev/ttyDEMO0\", \"bootloader\": \"012A\", \"deviceId\": \"BEEF\", "
              "\"software\": 7, \"auto\": false, \"config\": 1, \"speedLimitMph\": 19}\n");
    EXPECT_EQ(run.err, "") << "the log stays quiet without --verbose";
}

TEST(CliTest, InfoAndPorts) {
    CliRun run = cli({"info", "--demo"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out,
              "Connected. Bootloader: 012A, Device ID: BEEF, Soft: 07\nPort: /dev/ttyDEMO0\n"
              "Automatic mode: off\nConfiguration: 1\nSpeed limit: 19 mph\n");
    run = cli({"--demo", "ports"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "/dev/ttyDEMO0\tttyDEMO0\t1209:4b56\n/dev/ttyDEMO1\tttyDEMO1\t0a12:0001\n");
}

TEST(CliTest, SettersSayWhatHappened) {
    CliRun run = cli({"--demo", "set", "auto", "on"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Auto is updated\n");
    run = cli({"--demo", "set", "auto", "off"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Auto is already off\n");
    run = cli({"--demo", "set", "config", "3"});
    EXPECT_EQ(run.out, "Config is updated\n");
    run = cli({"--demo", "set", "speed", "50", "--kmh"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "Speed Limit is updated\nSpeed limit: 30 mph\n");
}

TEST(CliTest, NoControllerIsAFailure) {
    const CliRun run = cli({"--demo", "--port", "/dev/ttyDEMO1", "info"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("Please connect the USB device\n"), std::string::npos);
}

TEST(CliTest, BadArgumentsGiveTheReasonAndTheUsage) {
    const struct {
        QStringList arguments;
        const char* reason;
    } cases[] = {
        {{}, "korvane-cli: no command given\n"},
        {{"--demo", "frobnicate"}, "korvane-cli: unknown command \"frobnicate\"\n"},
        {{"set", "speed", "31"},
         "korvane-cli: the speed in mph must be a whole number from 1 to 30, not \"31\"\n"},
        {{"set", "speed", "0", "--kmh"},
         "korvane-cli: the speed in km/h must be a whole number from 1 to 50, not \"0\"\n"},
        {{"set", "config", "2x"},
         "korvane-cli: the configuration must be a whole number from 1 to 3, not \"2x\"\n"},
        {{"set", "auto", "maybe"}, "korvane-cli: automatic mode is on or off, not \"maybe\"\n"},
        {{"set", "colour", "red"},
         "korvane-cli: there is no setting \"colour\"; choose auto, config or speed\n"},
        {{"info", "--port"}, "korvane-cli: --port needs a path\n"},
    };
    for (const auto& each : cases) {
        const CliRun run = cli(each.arguments);
        EXPECT_EQ(run.status, 2) << each.reason;
        EXPECT_EQ(run.err.rfind(each.reason, 0), 0u) << run.err;
        EXPECT_NE(run.err.find("usage: korvane-cli"), std::string::npos);
        EXPECT_EQ(run.out, "");
    }
    EXPECT_EQ(cli({"--help"}).status, 0);
}

TEST(CliTest, AgainstTheSimulatorOnAPseudoTerminal) {
    SimulatorProcess simulator;
    ASSERT_FALSE(simulator.path().empty());
    const QString path = QString::fromStdString(simulator.path());
    CliRun run = cli({"--port", path, "set", "speed", "12"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Speed Limit is updated\nSpeed limit: 12 mph\n");
    run = cli({"--port", path, "info", "--json"});
    EXPECT_EQ(run.out, "{\"port\": \"" + simulator.path() +
                           "\", \"bootloader\": \"012A\", \"deviceId\": \"BEEF\", \"software\": 7, "
                           "\"auto\": false, \"config\": 1, \"speedLimitMph\": 12}\n");
    run = cli({"--port", path, "reset"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kRestarted);
    run = cli({"--port", path, "--verbose", "info"});
    EXPECT_EQ(run.status, 0) << "the device is back behind the same path";
    EXPECT_NE(run.err.find("got eprom: Bootloader: 012A, Device ID: BEEF, Soft: 07"),
              std::string::npos);
}

TEST(CliTest, PortWithoutPermissionGetsAHint) {
    QTemporaryFile port;
    ASSERT_TRUE(port.open());
    port.setPermissions(QFileDevice::Permissions());
    QStringList arguments = {"--port", port.fileName(), "info"};
    QString program = QStringLiteral(KORVANE_CLI_BINARY);
    if (::geteuid() == 0) {
        // Root may open anything: ask as somebody who may not.
        arguments.prepend(program);
        arguments = QStringList{"-u", "nobody", "--"} + arguments;
        program = "runuser";
    }
    QProcess process;
    process.start(program, arguments);
    ASSERT_TRUE(process.waitForFinished(kPatienceMs));
    EXPECT_EQ(process.exitCode(), 1);
    const std::string err = process.readAllStandardError().toStdString();
    EXPECT_EQ(err.rfind("Please connect the USB device\nNo permission to open " +
                            port.fileName().toStdString(),
                        0),
              0u)
        << err;
}

const QString kDemoFirmware = QStringLiteral(KORVANE_SOURCE_DIR "/examples/demo-firmware.hex");

TEST(CliTest, FlashWithoutAsking) {
    const CliRun run = cli({"--demo", "flash", kDemoFirmware, "--yes"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind("Update firmware from file Software version: 08? Update\n", 0), 0u);
    EXPECT_NE(run.out.find("Programmed 101 of 101 records (100%)\n"), std::string::npos);
    EXPECT_TRUE(run.out.ends_with("\n" + kRestarted)) << run.out;
}

TEST(CliTest, FlashChecksTheFileBeforeAnyPort) {
    SimulatorProcess simulator({"--verbose"});
    ASSERT_FALSE(simulator.path().empty());
    const QString path = QString::fromStdString(simulator.path());
    QTemporaryFile broken;
    ASSERT_TRUE(broken.open());
    broken.write(":0400000001020304F3\n:00000001FF\n");
    broken.close();
    CliRun run = cli({"--port", path, "flash", broken.fileName(), "--yes"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "Invalid firmware file\n" + broken.fileName().toStdString() +
                           ": line 1: checksum F3, should be F2\n");
    run = cli({"--port", path, "flash", "/nonexistent.hex", "--yes"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err.rfind("Invalid firmware file\n", 0), 0u);
    run = cli({"--port", path, "flash", kDemoFirmware});
    EXPECT_EQ(run.status, 2) << "no terminal to ask, and no --yes";
    EXPECT_EQ(simulator.log().find("request"), std::string::npos) << "nothing reached the device";
    cli({"--port", path, "info"});
    EXPECT_NE(simulator.log().find("request <55 00"), std::string::npos)
        << "the log does show them";
}

TEST(CliTest, FlashOverAPseudoTerminal) {
    SimulatorProcess simulator;
    ASSERT_FALSE(simulator.path().empty());
    const CliRun run =
        cli({"--port", QString::fromStdString(simulator.path()), "flash", kDemoFirmware, "--yes"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.out.ends_with(kRestarted)) << run.out;
}

TEST(CliTest, FlashFailsWhenTheDeviceRefusesARecord) {
    SimulatorProcess simulator({"--refuse-writes"});
    ASSERT_FALSE(simulator.path().empty());
    const CliRun run =
        cli({"--port", QString::fromStdString(simulator.path()), "flash", kDemoFirmware, "--yes"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Could not update firmware\n");
}

}  // namespace
}  // namespace korvane::testing
