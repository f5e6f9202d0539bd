// korvane-cli as a process: against the built-in demo and against korvane-sim.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QThread>
#include <csignal>
#include <regex>

#include "tests/support/HexImage.h"
#include "tests/support/SimulatorProcess.h"

namespace korvane::testing {
namespace {

constexpr int kPatienceMs = 20000;
// A terminal user is told how to see the restarted controller, not to click a button.
const std::string kRestarted =
    "The device is rebooting.\nRun korvane-cli info again once it is back.\n";

// After a flash the controller is waited for, and seen back with the file's software version.
const std::string kWaitedBack =
    "The device is rebooting; waiting up to 15 s for it to come back\\nBack after [0-9]\\.[0-9] "
    "s: Bootloader: 012A, Device ID: BEEF, Soft: 08\\n$";

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

const QString kDemoFirmware = QStringLiteral(KORVANE_SOURCE_DIR "/examples/demo-firmware.hex");

TEST(CliTest, CommandsOnTheDemoSayWhatHappened) {
    const struct {
        QStringList arguments;
        int status;
        std::string out;
        std::string err;
    } cases[] = {
        {{"info", "--json"},
         0,
         R"({"auto":false,"bootloader":"012A","config":1,"deviceId":"BEEF",)"
         R"("port":"/dev/ttyDEMO0","software":7,"speedLimitMph":19})"
         "\n",
         ""},
        {{"info"},
         0,
         "Connected. Bootloader: 012A, Device ID: BEEF, Soft: 07\nPort: /dev/ttyDEMO0\n"
         "Automatic mode: off\nConfiguration: 1\nSpeed limit: 19 mph\n",
         ""},
        {{"ports"},
         0,
         "/dev/ttyDEMO0\tttyDEMO0\t1209:4b56\n/dev/ttyDEMO1\tttyDEMO1\t0a12:0001\n",
         ""},
        {{"ports", "--json"},
         0,
         R"([{"name":"ttyDEMO0","path":"/dev/ttyDEMO0","usbIds":"1209:4b56"},)"
         R"({"name":"ttyDEMO1","path":"/dev/ttyDEMO1","usbIds":"0a12:0001"}])"
         "\n",
         ""},
        // Wrong usage under --json: the reason as JSON on stdout, the same status.
        {{"--json", "set", "speed", "99"},
         2,
         R"({"reason":"korvane-cli: the speed in mph must be a whole number from 1 to 30, )"
         R"(not \"99\"","result":"failed"})"
         "\n",
         ""},
        {{"set", "auto", "on"}, 0, "Auto is updated\n", ""},
        {{"set", "auto", "off"}, 0, "Auto is already off\n", ""},
        {{"set", "config", "3"}, 0, "Config is updated\n", ""},
        {{"--fast", "set", "config", "2"}, 0, "Config is updated\n", ""},
        // What the controller holds: 50 km/h is more than it takes.
        {{"set", "speed", "50", "--kmh"},
         0,
         "Speed Limit is updated\nSpeed Limit set to 30 mph (48 km/h)\n",
         ""},
        {{"--port", "/dev/ttyDEMO1", "info"},
         1,
         "",
         "Please connect the USB device\n/dev/ttyDEMO1: silent\n"},

        {{"check", kDemoFirmware},
         0,
         "Valid firmware file: " + kDemoFirmware.toStdString() +
             "\nSoftware version: 08\nProgram memory: 97 records, 1540 bytes, 0x1000-0x1603\n"
             "Eprom: 2 records, 9 bytes, 0x0010-0x0107\nRecords not written: 0\n",
         ""},
    };
    for (const auto& each : cases) {
        const CliRun run = cli(QStringList{"--demo"} + each.arguments);
        EXPECT_EQ(run.status, each.status) << each.out;
        EXPECT_EQ(run.out, each.out);
        EXPECT_EQ(run.err, each.err) << "the log stays quiet without --verbose";
    }
}

TEST(CliTest, AgainstTheSimulatorOnAPseudoTerminal) {
    SimulatorProcess simulator;
    ASSERT_FALSE(simulator.path().empty());
    const QString path = QString::fromStdString(simulator.path());
    CliRun run = cli({"--port", path, "set", "speed", "12"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "Speed Limit is updated\nSpeed Limit set to 12 mph\n");
    run = cli({"--port", path, "info", "--json"});
    EXPECT_EQ(run.out,
              R"({"auto":false,"bootloader":"012A","config":1,"deviceId":"BEEF","port":")" +
                  simulator.path() + R"(","software":7,"speedLimitMph":12})" + "\n");
    run = cli({"--port", path, "reset"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, kRestarted);
    // With --all the command's own --json asks for a JSON line per controller.
    run = cli({"--port", path, "--all", "info", "--json"});
    EXPECT_EQ(run.out.rfind(R"({"auto":false,"bootloader":"012A","config":1,"deviceId":"BEEF")", 0),
              0u);
    EXPECT_NE(run.out.find(R"("result":"ok")"), std::string::npos);
    // Settings kept in a file come back.
    const QTemporaryDir folder;
    const QString saved = folder.filePath("bike.json");
    EXPECT_EQ(cli({"--port", path, "settings", "save", saved}).status, 0);
    cli({"--port", path, "set", "speed", "20"});
    run = cli({"--port", path, "settings", "load", saved});
    EXPECT_EQ(run.out,
              "Auto is already off\nConfig is already 1\nSpeed Limit is updated\n"
              "Settings loaded\n");
    // The demo file carries its version in the settings record too.
    run = cli({"--port", path, "flash", kDemoFirmware, "--yes"});
    EXPECT_EQ(run.status, 0) << run.err;
    run = cli({"--port", path, "--port", path, "--all", "--expect", "1", "--verbose", "info"});
    EXPECT_EQ(run.status, 0) << "the device is back behind the same path";
    EXPECT_EQ(run.out.rfind("1 controller answered: " + simulator.path() + "\n" + simulator.path() +
                                ": Connected. Bootloader: 012A",
                            0),
              0u);
    EXPECT_NE(run.err.find("got eprom: Bootloader: 012A, Device ID: BEEF, Soft: 08"),
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
    run = cli({"check", broken.fileName(), "--json"});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, R"({"file":")" + broken.fileName().toStdString() +
                           R"(","reason":"line 1: checksum F3, should be F2","valid":false})" +
                           "\n");
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

TEST(CliTest, OverAPseudoTerminalTheResultIsWhatTheDeviceHolds) {
    const struct {
        QStringList simulator;
        QStringList arguments;
        int status;
        std::string err;
    } cases[] = {
        {{}, {"flash", kDemoFirmware, "--yes"}, 0, ""},
        {{"--refuse-writes"},
         {"flash", kDemoFirmware, "--yes"},
         1,
         "Could not update firmware\nRecord 2 of 103 failed (line 2, address 0x00001000): the "
         "controller's firmware is erased; flash again\n"},
        // Vanishes at the write of the fifth record.
        {{"--unplug-at", "10"},
         {"flash", kDemoFirmware, "--yes"},
         1,
         "The device is disconnected\nFirmware update interrupted after record 4 of 103: the "
         "controller has no complete firmware; flash again\n"},
        // Echoed, but the old value kept.
        {{"--refuse-writes"}, {"set", "config", "3"}, 1, "Could not set Config\n"},
        {{"--refuse-writes"}, {"set", "speed", "12"}, 1, "Could not set Speed Limit\n"},
        {{"--refuse-writes"}, {"set", "auto", "on"}, 1, "Could not set Auto\n"},
    };
    for (const auto& each : cases) {
        SimulatorProcess simulator(each.simulator);
        ASSERT_FALSE(simulator.path().empty());
        const CliRun run =
            cli(QStringList{"--port", QString::fromStdString(simulator.path())} + each.arguments);
        EXPECT_EQ(run.status, each.status) << each.err;
        EXPECT_EQ(run.err, each.err);
        EXPECT_TRUE(
            run.status != 0 ||
            std::regex_search(run.out, std::regex("\\(100%\\)[^\\n]* left\\n" + kWaitedBack)))
            << run.out;
    }
}

// A firmware file of `records` program-memory records, and any others given, in a temporary file.
class HexFile {
public:
    explicit HexFile(std::size_t records, const std::vector<std::string>& others = {}) {
        HexImage image;
        for (std::size_t r = 0; r < records; ++r) {
            image.data(0, static_cast<std::uint16_t>(0x1000 + r * 16), Bytes(16, 0x3C));
        }
        for (const std::string& line : others) {
            image.add(line);
        }
        image.data(0, 0x2000, {0x0C, 0x01});
        file_.open();
        file_.write(QByteArray::fromStdString(image.file()));
        file_.close();
    }
    QString path() const { return file_.fileName(); }

private:
    QTemporaryFile file_{QDir::tempPath() + "/korvane-XXXXXX.hex"};
};

TEST(CliTest, FlashAndCheckSayWhichRecordsWillNotBeWritten) {
    const HexFile file(
        2, {upperAddressRecord(0x0005), hexRecord(0, 0, {1}), upperAddressRecord(0x0030),
            hexRecord(0, 0, {1}), upperAddressRecord(0x0005), hexRecord(0, 0, {1}),
            upperAddressRecord(0)});
    const std::string said = "Records not written: 3 (upper addresses 0x0005, 0x0030)\n";
    const CliRun run = cli({"--demo", "flash", file.path(), "--yes"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out.rfind(said +
                                "The controller on /dev/ttyDEMO0 (software 07) will be erased "
                                "and programmed with " +
                                file.path().toStdString() +
                                " (software 12).\nUpdate firmware from file Software version: 12?",
                            0),
              0u)
        << run.out;
    EXPECT_NE(cli({"check", file.path()}).out.find(said), std::string::npos);
    EXPECT_NE(cli({"check", file.path(), "--json"})
                  .out.find(R"("notWritten":3,"notWrittenUpperAddresses":["0x0005","0x0030"])"),
              std::string::npos);
}

TEST(CliTest, FlashRefusesAPathThatIsNoFile) {
    const QTemporaryDir folder;
    const QString fifo = folder.filePath("fifo.hex");
    ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
    const std::pair<QString, std::string> cases[] = {
        {folder.path(), "is a folder, not a file"},
        {fifo, "is not a regular file (a device, a pipe or a socket)"},
        {"/dev/zero", "is not a regular file (a device, a pipe or a socket)"},
        {folder.filePath("missing.hex"), "No such file or directory"},
    };
    for (const auto& [path, reason] : cases) {
        const CliRun run = cli({"--demo", "flash", path, "--yes"});
        EXPECT_EQ(run.status, 2) << reason;
        EXPECT_EQ(run.err, "Invalid firmware file\n" + path.toStdString() + ": " + reason + "\n");
    }
}

// Starts korvane-cli; `started` is how its output or its log shows that the moment for a signal
// has come.
class CliProcess {
public:
    CliProcess(const QStringList& arguments, const std::string& started) {
        process_.start(QStringLiteral(KORVANE_CLI_BINARY), arguments);
        process_.waitForStarted(kPatienceMs);
        QDeadlineTimer patience(kPatienceMs);
        // A wait for output wakes for standard output only: both are looked at often.
        while (out_.find(started) == std::string::npos && err_.find(started) == std::string::npos &&
               !patience.hasExpired() && process_.state() == QProcess::Running) {
            process_.waitForReadyRead(10);
            collect();
        }
    }
    // Sends `signal`; the run as it ended, or status -1 if it did not end within `patienceMs`.
    CliRun signal(int number, int patienceMs) {
        ::kill(static_cast<pid_t>(process_.processId()), number);
        const bool ended = process_.waitForFinished(patienceMs);
        collect();
        return {ended && process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1,
                out_, err_};
    }

private:
    void collect() {
        out_ += process_.readAllStandardOutput().toStdString();
        err_ += process_.readAllStandardError().toStdString();
    }

    QProcess process_;
    std::string out_;
    std::string err_;
};

TEST(CliTest, InterruptedFlashSendsNothingMoreAndSaysWhatItLeft) {
    const HexFile file(300);
    for (const auto& [number, status] : {std::pair{SIGINT, 130}, std::pair{SIGTERM, 143}}) {
        SimulatorProcess simulator({"--verbose"});
        ASSERT_FALSE(simulator.path().empty());
        CliProcess flash(
            {"--port", QString::fromStdString(simulator.path()), "flash", file.path(), "--yes"},
            "Programmed");
        // The whole update takes seconds more; the interruption ends it at once.
        const CliRun run = flash.signal(number, 3000);
        EXPECT_EQ(run.status, status);
        EXPECT_TRUE(
            std::regex_match(run.err, std::regex("Firmware update interrupted after record [0-9]+ "
                                                 "of 301: the controller has no complete firmware; "
                                                 "flash again\n")))
            << run.err;
        QThread::msleep(1200);
        const std::string log = simulator.log();
        EXPECT_EQ(log.find("request <55 09"), std::string::npos) << "no reset";
        EXPECT_NE(log.find("request <55 02"), std::string::npos);
    }
}

TEST(CliTest, InterruptedWriteSaysTheSettingIsUncertain) {
    SimulatorProcess simulator({"--latency", "150"});
    ASSERT_FALSE(simulator.path().empty());
    CliProcess set(
        {"--port", QString::fromStdString(simulator.path()), "--verbose", "set", "auto", "on"},
        "Writing <55 05");
    const CliRun run = set.signal(SIGINT, 3000);
    EXPECT_EQ(run.status, 130);
    EXPECT_TRUE(
        run.err.ends_with("\nInterrupted while a setting was written: the controller may "
                          "not hold it; run korvane-cli info to see\n"))
        << run.err;
}

TEST(CliTest, InterruptAtTheQuestionCancels) {
    SimulatorProcess simulator({"--verbose"});
    ASSERT_FALSE(simulator.path().empty());
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    QProcess process;
    process.setStandardInputFile(QString::fromLocal8Bit(::ptsname(terminal)));
    process.start(QStringLiteral(KORVANE_CLI_BINARY),
                  {"--port", QString::fromStdString(simulator.path()), "flash", kDemoFirmware});
    std::string out;
    while (out.find("[Update/Cancel]") == std::string::npos &&
           process.waitForReadyRead(kPatienceMs)) {
        out += process.readAllStandardOutput().toStdString();
    }
    ::kill(static_cast<pid_t>(process.processId()), SIGINT);
    EXPECT_TRUE(process.waitForFinished(3000));
    EXPECT_EQ(process.exitCode(), 130);
    EXPECT_EQ(process.readAllStandardError().toStdString(), "Firmware update cancelled\n");
    EXPECT_EQ(simulator.log().find("request <55 03"), std::string::npos) << "never erased";
    ::close(terminal);
}

TEST(CliTest, AReaderThatGoesAwayDoesNotStopTheUpdate) {
    QProcess shell;
    shell.start("bash", {"-c", "\"$0\" --demo flash \"$1\" --yes | head -1; exit ${PIPESTATUS[0]}",
                         QStringLiteral(KORVANE_CLI_BINARY), kDemoFirmware});
    ASSERT_TRUE(shell.waitForFinished(kPatienceMs));
    EXPECT_EQ(shell.exitCode(), 0) << "141 would be death by SIGPIPE";
    EXPECT_EQ(shell.readAllStandardOutput().toStdString(),
              "The controller on /dev/ttyDEMO0 (software 07) will be erased and programmed with " +
                  kDemoFirmware.toStdString() + " (software 08).\n");
}

TEST(CliTest, OurOwnToolsNeverDestroyAFileAndHelpNeedsNoDisplay) {
    QTemporaryFile precious;
    ASSERT_TRUE(precious.open());
    precious.write("keep me");
    precious.close();
    SimulatorProcess simulator({"--link", precious.fileName()});
    EXPECT_TRUE(simulator.path().empty());
    QFile kept(precious.fileName());
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_EQ(kept.readAll(), "keep me");
    QProcess sim;
    sim.start(QStringLiteral(KORVANE_SIM_BINARY), {"--link", precious.fileName()});
    ASSERT_TRUE(sim.waitForFinished(kPatienceMs));
    EXPECT_EQ(sim.exitCode(), 2);

    for (const char* option : {"--help", "--version"}) {
        QProcess window;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            environment.remove(name);
        }
        window.setProcessEnvironment(environment);
        window.start(QStringLiteral(KORVANE_CONFIG_BINARY), {option});
        ASSERT_TRUE(window.waitForFinished(kPatienceMs));
        EXPECT_EQ(window.exitStatus(), QProcess::NormalExit) << option;
        EXPECT_EQ(window.exitCode(), 0) << option;
        EXPECT_TRUE(window.readAllStandardOutput().startsWith(
            option == std::string("--help") ? "The Korvane controller's settings"
                                            : "korvane-config 0."))
            << option;
    }
}

}  // namespace
}  // namespace korvane::testing
