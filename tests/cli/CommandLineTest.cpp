// korvane-cli's words as its parser reads them, and what whole runs say, exactly, on virtual time.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <fstream>

#include "app/SettingsFile.h"
#include "app/cli/CommandLine.h"
#include "app/frontend/WholeFile.h"
#include "tests/support/CommandLineRun.h"

namespace korvane::testing {
namespace {

using ::testing::HasSubstr;

// What the parser makes of the words: the command's words as the history keeps them, the
// answer it gives at once, or why it refuses them.
std::string parsed(const std::vector<std::string>& words) {
    try {
        const Invocation invocation = parseCommandLine(words);
        return invocation.answered.empty() ? invocation.typed : invocation.answered;
    } catch (const UsageError& error) {
        return "! " + error.reason;
    }
}

// Each option is read once, with its check; the update question's answer takes only yes.
TEST(CommandLineParser, ReadsEachOptionOnceWithItsCheck) {
    // clang-format off
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{}, "! no command given"},
        {{"--demo", "frobnicate"}, "! unknown command \"frobnicate\""},
        {{"set", "speed", "30"}, "set speed 30"},
        {{"set", "speed", "31"}, "! the speed in mph must be a whole number from 1 to 30, not \"31\""},
        {{"set", "speed", "50", "--kmh"}, "set speed 50 --kmh"},
        {{"set", "speed", "0", "--kmh"}, "! the speed in km/h must be a whole number from 1 to 50, not \"0\""},
        {{"set", "config", "3"}, "set config 3"},
        {{"set", "config", "4"}, "! value: 4 not in {1,2,3}"},
        {{"set", "auto", "maybe"}, "! value: maybe not in {on,off}"},
        {{"set", "colour", "red"}, "! A subcommand is required"},
        {{"info", "--port"}, "! --port: 1 required PATH missing"},
        {{"--demo", "--port", "A", "B", "info"}, "! The following argument was not expected: B"},
        {{"--expect", "2", "info"}, "! --expect requires --all"},
        {{"--all", "--expect", "0", "info"}, "! --expect: Value 0 not in range 1 to 9999"},
        {{"--all", "ports"}, "! ports excludes --all"},
        {{"--all", "settings", "save", "bike.json"}, "! save excludes --all"},
        {{"--history", "h.jsonl", "check", "fw.hex"}, "! check excludes --history"},
        {{"info", "--wait-back", "5"}, "! The following arguments were not expected: 5 --wait-back"},
        {{"flash", "fw.hex", "--wait-back", "1"}, "! --wait-back: takes 0 (no wait) or 2 to 3600 seconds, not \"1\""},
        {{"flash", "fw.hex", "--wait-back", "3601"}, "! --wait-back: takes 0 (no wait) or 2 to 3600 seconds, not \"3601\""},
        {{"flash", "fw.hex", "--wait-back", "3600"}, "flash fw.hex --wait-back 3600"},
        {{"--port", "p", "--all", "--fast", "flash", "fw.hex", "--yes", "--history", "h"}, "flash fw.hex --yes"},
        {{"settings", "load", "bike.json", "--force", "--json"}, "settings load bike.json --force"},
        {{"--version"}, "korvane-cli " KORVANE_VERSION "\n"},
    };
    // clang-format on
    for (const auto& [words, expected] : rows) {
        EXPECT_EQ(parsed(words), expected);
    }
    EXPECT_THAT(parsed({"flash", "--help"}),
                HasSubstr("usage: korvane-cli flash FILE [--yes] [--wait-back SECONDS]\n"));
    EXPECT_THAT(parsed({"--help"}),
                HasSubstr("\n  --force                       settings: save: "));
    // The answer to the update question as typed on a terminal, on every platform's line ends.
    // clang-format off
    const std::pair<const char*, bool> cases[] = {{"update", true}, {"Update", true}, {" u ", true}, {"YES", true}, {"y\r", true}, {"y\t", true},
        {"", false}, {"no", false}, {"cancel", false}, {"updates", false}, {"yy", false}, {"u p", false}, {"n\r", false}};
    // clang-format on
    for (const auto& [typed, yes] : cases) {
        EXPECT_EQ(answersUpdate(typed), yes) << '"' << typed << '"';
    }
}

TEST(SettingsFile, IsCheckedWhole) {
    const std::string good =
        R"({"deviceId": "BEEF", "bootloader": "012A", "software": 7, "auto": false, "config": 1, )"
        R"("speedLimitMph": 19, "record": "070103091300A1A2A3A4A5A6"})";
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        return text.replace(text.find(from), from.size(), to);
    };
    // clang-format off
    const std::pair<std::string, std::string> rows[] = {
        {"{", "is not JSON: unexpected end of input at character 2"},
        {"[1]", "holds no JSON object"},
        {with("\"BEEF\"", "\"BEF\""), "deviceId must be 4 hexadecimal digits"},
        {with("\"012A\"", "12"), "bootloader must be 4 hexadecimal digits"},
        {with("\"config\": 1", "\"config\": 4"), "config must be a whole number from 1 to 3"},
        {with("\"config\": 1", "\"config\": 0"), "config must be a whole number from 1 to 3"},
        {with("19", "256"), "speedLimitMph must be a whole number from 0 to 255"},
        {with("19", "12.5"), "speedLimitMph must be a whole number from 0 to 255"},
        {with("false", "\"no\""), "auto must be true or false"},
        {with("A6\"", "A\""), "record must be 24 hexadecimal digits"},
        {with(", \"software\": 7", ""), "software must be a whole number from 0 to 255"},
        {with("19", "255"), ""},
    };
    // clang-format on
    // A device or a pipe in the file's place is never replaced by a plain file.
    TemporaryFolder folder;
    ASSERT_EQ(::mkfifo(folder.path("pipe.json").c_str(), 0600), 0);
    EXPECT_EQ(writeWholeFile(folder.path("pipe.json"), good, true),
              "is not a regular file (a device, a pipe or a socket)");
    for (const auto& [content, problem] : rows) {
        const auto bytes = reinterpret_cast<const std::uint8_t*>(content.data());
        EXPECT_EQ(parseSettingsFile(ByteView(bytes, content.size())).problem, problem) << content;
    }
}

// A signal once the controller has received this many requests of this command.
std::function<void(Scene&)> signalAt(std::size_t count, std::uint8_t code) {
    return [count, code](Scene& t) {
        t.signalWhen = [&t, count, code] {
            const auto& sent = t.device().requests();
            return static_cast<std::size_t>(
                       std::count_if(sent.begin(), sent.end(),
                                     [code](const Bytes& r) { return r[1] == code; })) >= count;
        };
    };
}

const std::string kOpening =
    "Records not written: 2 (upper address 0x0030)\nThe controller on /dev/ttySIM0 (software 07) "
    "will be erased and programmed with @fw.hex (software 12).\n";
const std::string kYes = "Update firmware from file Software version: 12? Update\n";
const std::string kProgrammed =
    "Programmed 1 of 13 records (7%)\nProgrammed 2 of 13 records (15%)\nProgrammed 3 of 13 records "
    "(23%)\nProgrammed 4 of 13 records (30%)\nProgrammed 9 of 13 records (69%)\nProgrammed 10 of "
    "13 records (76%)\nProgrammed 12 of 13 records (92%)\nProgrammed 13 of 13 records (100%)\n";
const std::string kNone = "Please connect the USB device\n";
const std::string kAgain = "Run korvane-cli info again once it is back.\n";
const std::string kRestarted = "The device is rebooting.\n" + kAgain;
const std::string kNoAccess =
    "No permission to open /dev/ttySIM1: add yourself to the dialout group (sudo usermod -aG "
    "dialout $USER) and log in again\n";

TEST(CommandLine, SaysExactly) {
    const auto none = [](Scene&) {
    };
    const auto noPorts = [](Scene& t) {
        t.emptyScope.emplace(t.empty);
    };
    const auto pipe = [](Scene& t) {
        ::mkfifo(t.folder.path("fifo.json").c_str(), 0600);
    };
    // clang-format off
    // What the scene is made, the words, and what is said: the status, stdout, stderr.
    const std::tuple<std::function<void(Scene&)>, std::vector<std::string>, int, std::string,
                     std::string>
        rows[] = {
        {[](auto& t) { t.folder.write("broken.hex", ":0400000001020304F3\n:00000001FF\n"); }, {"flash", "@broken.hex", "--yes"}, 2, "", "Invalid firmware file\n@broken.hex: line 1: checksum F3, should be F2\n"},
        {pipe, {"--json", "settings", "load", "@fifo.json"}, 2, "{\"reason\":\"Invalid settings file @fifo.json: is not a regular file (a device, a pipe or a socket)\",\"result\":\"failed\"}\n", ""},
        {pipe, {"settings", "save", "@fifo.json", "--force"}, 2, "", "Could not save the settings to @fifo.json: is not a regular file (a device, a pipe or a socket)\n"},
        {none, {"settings", "save", "/nonexistent/bike.json"}, 2, "", "Could not save the settings to /nonexistent/bike.json: there is no folder /nonexistent\n"},
        {none, {"settings", "save", "@bike.json"}, 2, "", "@bike.json exists already: add --force to replace it\n"},
        {none, {"info", "--history", "/nonexistent/history.jsonl"}, 2, "", "Could not append to the history /nonexistent/history.jsonl: No such file or directory\n"},
        {[](auto& t) { t.signalWhen = [&t] { t.port().timing.latency = Duration{t.device().requests().size() > 2 ? 500 : 5}; return false; }; }, {"flash", "@fw.hex", "--yes", "--wait-back", "0"}, 0, kOpening + kYes + "Programmed 1 of 13 records (7%)\nProgrammed 2 of 13 records (15%)\nProgrammed 3 of 13 records (23%), 0:02 elapsed, 0:07 left\nProgrammed 4 of 13 records (30%), 0:03 elapsed, 0:07 left\nProgrammed 9 of 13 records (69%), 0:04 elapsed, 0:02 left\nProgrammed 10 of 13 records (76%), 0:04 elapsed, 0:02 left\nProgrammed 12 of 13 records (92%), 0:05 elapsed, 0:01 left\nProgrammed 13 of 13 records (100%), 0:06 elapsed\n" + kRestarted, ""},
        {none, {"--all", "info"}, 0, "1 controller answered: /dev/ttySIM0\n/dev/ttySIM0: Connected. Bootloader: 012A, Device ID: BEEF, Soft: 07\n/dev/ttySIM0: Port: /dev/ttySIM0\n/dev/ttySIM0: Automatic mode: off\n/dev/ttySIM0: Configuration: 1\n/dev/ttySIM0: Speed limit: 19 mph\nSummary: /dev/ttySIM0, device BEEF, software 07, ok, 0.00 s\n", ""},
        {none, {"--json", "flash", "@fw.hex", "--yes"}, 0, "{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"erasing\",\"record\":0,\"records\":13,\"elapsedSeconds\":1.4}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":1,\"records\":13,\"elapsedSeconds\":2.4}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":2,\"records\":13,\"elapsedSeconds\":2.42}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":3,\"records\":13,\"elapsedSeconds\":2.44}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":4,\"records\":13,\"elapsedSeconds\":2.46}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":9,\"records\":13,\"elapsedSeconds\":2.48}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":10,\"records\":13,\"elapsedSeconds\":2.49}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":12,\"records\":13,\"elapsedSeconds\":2.5}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"verifying\",\"record\":13,\"records\":13,\"elapsedSeconds\":2.52}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"restarting\",\"record\":13,\"records\":13,\"elapsedSeconds\":2.53}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"waiting-back\",\"record\":13,\"records\":13,\"elapsedSeconds\":3.53}\n{\"bootloader\":\"012A\",\"deviceId\":\"BEEF\",\"fileSoftware\":12,\"port\":\"/dev/ttySIM0\",\"records\":7,\"recordsSkipped\":2,\"recordsWritten\":7,\"result\":\"ok\",\"seconds\":4.93,\"software\":7,\"softwareAfter\":7}\n", "The controller on /dev/ttySIM0 (software 07) will be erased and programmed with @fw.hex (software 12).\n"},
        {none, {"--all", "--json", "--expect", "2", "set", "auto", "on"}, 1, "{\"answered\":[\"/dev/ttySIM0\"],\"reason\":\"Only 1 of 2 expected controllers answered (/dev/ttySIM0); nothing was written\",\"result\":\"failed\",\"unanswered\":[\"/dev/ttySIM1: silent\"]}\n", "Only 1 of 2 expected controllers answered (/dev/ttySIM0); nothing was written\n/dev/ttySIM1: silent\n"},
        {none, {"--json", "flash", "@fw.hex"}, 1, "{\"bootloader\":\"012A\",\"deviceId\":\"BEEF\",\"fileSoftware\":12,\"port\":\"/dev/ttySIM0\",\"reason\":\"Firmware update cancelled\",\"records\":7,\"recordsSkipped\":2,\"recordsWritten\":0,\"result\":\"failed\",\"seconds\":1.9,\"software\":7}\n", "The controller on /dev/ttySIM0 (software 07) will be erased and programmed with @fw.hex (software 12).\nUpdate firmware from file Software version: 12? [Update/Cancel] Firmware update cancelled\n"},
        {none, {"--all", "--json", "flash", "@fw.hex"}, 1, "{\"answered\":[\"/dev/ttySIM0\"],\"reason\":\"Firmware update cancelled\",\"result\":\"failed\",\"unanswered\":[]}\n", "1 controller (/dev/ttySIM0) will be erased and programmed with @fw.hex (software 12).\nUpdate firmware from file Software version: 12? (1 controller) [Update/Cancel] Firmware update cancelled\n"},
        {noPorts, {"--json", "info"}, 1, "{\"reason\":\"Please connect the USB device\",\"result\":\"failed\",\"seconds\":0,\"unanswered\":[]}\n", kNone},
        {noPorts, {"--all", "--json", "flash", "@fw.hex", "--yes"}, 1, "{\"answered\":[],\"reason\":\"Please connect the USB device\",\"result\":\"failed\",\"unanswered\":[]}\n", kNone},
        {[](auto& t) { t.device().faults.garbage = true; t.port(Scene::kSecond).portFaults.noAccess = true; t.ports.addDevice("/dev/ttySIM2").portFaults.neverOpens = true; t.ports.addDevice("/dev/ttySIM3").controller.faults.unanswered = {CommandCode::ReadEprom}; }, {"info"}, 1, "", kNone + "/dev/ttySIM0: answered something else\n/dev/ttySIM2: did not open\n/dev/ttySIM3: answered, but did not send its settings\n" + kNoAccess},
        {[](auto& t) { t.device().faults.refuseRequest = 10; }, {"--json", "flash", "@fw.hex", "--yes"}, 1, "{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"erasing\",\"record\":0,\"records\":13,\"elapsedSeconds\":1.4}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":1,\"records\":13,\"elapsedSeconds\":2.4}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":2,\"records\":13,\"elapsedSeconds\":2.42}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":3,\"records\":13,\"elapsedSeconds\":2.44}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":4,\"records\":13,\"elapsedSeconds\":2.46}\n{\"bootloader\":\"012A\",\"deviceId\":\"BEEF\",\"fileSoftware\":12,\"port\":\"/dev/ttySIM0\",\"reason\":\"Record 5 of 13 failed (line 5, address 0x00001030): the controller's firmware is erased; flash again\",\"records\":7,\"recordsSkipped\":2,\"recordsWritten\":3,\"result\":\"failed\",\"seconds\":2.47,\"software\":7}\n", "The controller on /dev/ttySIM0 (software 07) will be erased and programmed with @fw.hex (software 12).\nCould not update firmware\nRecord 5 of 13 failed (line 5, address 0x00001030): the controller's firmware is erased; flash again\n"},
        {[](auto& t) { t.device().faults.unplugAtRequest = 7; }, {"flash", "@fw.hex", "--yes"}, 1, kOpening + kYes + "Programmed 1 of 13 records (7%)\nProgrammed 2 of 13 records (15%)\n", "The device is disconnected\nFirmware update interrupted after record 2 of 13, with record 3 not confirmed: the controller has no complete firmware; flash again\n"},
        {[](auto& t) { t.port().restartAbsence.reset(); }, {"--json", "flash", "@fw.hex", "--yes", "--wait-back", "2"}, 3, "{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"erasing\",\"record\":0,\"records\":13,\"elapsedSeconds\":1.4}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":1,\"records\":13,\"elapsedSeconds\":2.4}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":2,\"records\":13,\"elapsedSeconds\":2.42}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":3,\"records\":13,\"elapsedSeconds\":2.44}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":4,\"records\":13,\"elapsedSeconds\":2.46}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":9,\"records\":13,\"elapsedSeconds\":2.48}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":10,\"records\":13,\"elapsedSeconds\":2.49}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"programming\",\"record\":12,\"records\":13,\"elapsedSeconds\":2.5}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"verifying\",\"record\":13,\"records\":13,\"elapsedSeconds\":2.52}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"restarting\",\"record\":13,\"records\":13,\"elapsedSeconds\":2.53}\n{\"event\":\"progress\",\"port\":\"/dev/ttySIM0\",\"stage\":\"waiting-back\",\"record\":13,\"records\":13,\"elapsedSeconds\":3.53}\n{\"bootloader\":\"012A\",\"deviceId\":\"BEEF\",\"fileSoftware\":12,\"port\":\"/dev/ttySIM0\",\"reason\":\"Not back within 2 s: the firmware is written and verified, but the controller has not answered since its restart; check its cable and power, then run korvane-cli info\",\"records\":7,\"recordsSkipped\":2,\"recordsWritten\":7,\"result\":\"notBack\",\"seconds\":4.53,\"software\":7}\n", "The controller on /dev/ttySIM0 (software 07) will be erased and programmed with @fw.hex (software 12).\nNot back within 2 s: the firmware is written and verified, but the controller has not answered since its restart; check its cable and power, then run korvane-cli info\n"},
        {[](auto& t) { t.port().restartAbsence.reset(); t.device(Scene::kSecond).faults.silent = false; }, {"--port", "/dev/ttySIM0", "--port", "/dev/ttySIM1", "flash", "@fw.hex", "--yes"}, 0, kOpening + kYes + kProgrammed + "The device is rebooting; waiting up to 15 s for it to come back\nBack on /dev/ttySIM1 after 2.4 s: Bootloader: 012A, Device ID: BEEF, Soft: 07\n", ""},
        {none, {"settings", "load", "@bike.json"}, 0, "Auto is updated\nConfig is updated\nSpeed Limit is updated\nSettings loaded\n", ""},
        {[](auto& t) { const std::uint8_t held[] = {7, 2, 3, 9, 30, 1}; t.device().setSettingsRecord(held); }, {"settings", "load", "@bike.json"}, 0, "Auto is already on\nConfig is already 2\nSpeed Limit is already 30 mph\nSettings loaded\n", ""},
        {[](auto& t) { const std::uint8_t unoffered[] = {7, 3, 3, 9, 30, 1}; t.device().setSettingsRecord(unoffered); t.device().faults.wrongHeaderTo = {CommandCode::WriteEprom}; std::ifstream in(t.saved); std::string text(std::istreambuf_iterator<char>(in), {}); t.folder.write("bike.json", text.replace(text.find("\"config\": 2"), 11, "\"config\": 1")); }, {"settings", "load", "@bike.json"}, 0, "Auto is already on\nConfig is already 1\nSpeed Limit is already 30 mph\nSettings loaded\n", ""},
        {[](auto& t) { t.device().deviceId = {0x12, 0x34}; }, {"settings", "load", "@bike.json"}, 1, "", "@bike.json holds the settings of device BEEF, not of this controller (1234): add --force to load them anyway\n"},
        {[](auto& t) { t.device().faults.refuseRequest = 5; }, {"settings", "load", "@bike.json", "--force"}, 1, "Auto is updated\nSpeed Limit is updated\n", "Could not set Config\nSettings not all loaded\n"},
        {[](auto& t) { t.image.putInto(t.device()); t.device().programMemory[0x1025] ^= 1; }, {"verify", "@fw.hex"}, 1, "Checked 0 of 5 records (0%)\nChecked 1 of 5 records (20%)\nChecked 2 of 5 records (40%)\nChecked 3 of 5 records (60%)\nChecked 4 of 5 records (80%)\nChecked 5 of 5 records (100%)\n", "Record 3 (line 4, address 0x1020) differs\nFirmware differs from @fw.hex: the sums of 1 of 5 program records differ\n"},
        {none, {"set", "speed", "50", "--kmh"}, 0, "Speed Limit is updated\nSpeed Limit set to 30 mph (48 km/h)\n", ""},
        {none, {"set", "auto", "off"}, 0, "Auto is already off\n", ""},
        {none, {"--fast", "--json", "set", "config", "2"}, 0, "{\"auto\":false,\"bootloader\":\"012A\",\"config\":2,\"deviceId\":\"BEEF\",\"port\":\"/dev/ttySIM0\",\"result\":\"ok\",\"seconds\":0.022,\"software\":7,\"speedLimitMph\":19}\n", ""},
        {none, {"--fast", "flash", "@fw.hex", "--yes"}, 0, kOpening + kYes + kProgrammed + "The device is rebooting; waiting up to 15 s for it to come back\nBack after 1.0 s: Bootloader: 012A, Device ID: BEEF, Soft: 07\n", ""},
        {none, {"--json", "check", "@fw.hex"}, 0, "{\"epromBytes\":11,\"epromFirst\":\"0x0100\",\"epromLast\":\"0x010A\",\"epromRecords\":2,\"file\":\"@fw.hex\",\"notWritten\":2,\"notWrittenUpperAddresses\":[\"0x0030\"],\"programBytes\":68,\"programFirst\":\"0x1000\",\"programLast\":\"0x2003\",\"programRecords\":5,\"software\":12,\"valid\":true}\n", ""},
        {none, {"check", "@fw.hex"}, 0, "Valid firmware file: @fw.hex\nSoftware version: 12\nProgram memory: 5 records, 68 bytes, 0x1000-0x2003\nEprom: 2 records, 11 bytes, 0x0100-0x010A\nRecords not written: 2 (upper address 0x0030)\n", ""},
        {[](auto& t) { t.device().faults.refuseWrites = true; }, {"set", "config", "3"}, 1, "", "Could not set Config\n"},
        {[](auto& t) { t.signalWhen = [] { return true; }; }, {"info"}, 130, "", "Interrupted during the search: nothing was changed\n"},
        {[](auto& t) { t.signalWhen = [&t] { return !t.asked.empty(); }; }, {"flash", "@fw.hex"}, 130, kOpening + "Update firmware from file Software version: 12? [Update/Cancel] ", "Firmware update cancelled\n"},
        {signalAt(1, 0x03), {"flash", "@fw.hex", "--yes"}, 130, kOpening + kYes, "Firmware update interrupted during the erase: the controller may have no firmware; flash again\n"},
        {signalAt(3, 0x02), {"flash", "@fw.hex", "--yes"}, 130, kOpening + kYes + "Programmed 1 of 13 records (7%)\nProgrammed 2 of 13 records (15%)\n", "Firmware update interrupted after record 3 of 13, with record 4 not confirmed: the controller has no complete firmware; flash again\n"},
        {signalAt(1, 0x09), {"flash", "@fw.hex", "--yes"}, 0, kOpening + kYes + kProgrammed, std::string("The firmware update is complete: the device is rebooting.\n") + kAgain},
        {[](auto& t) { t.port().restartAbsence.reset(); t.signalWhen = [&t] { return t.loop.now() >= Duration{8000}; }; }, {"flash", "@fw.hex", "--yes"}, 0, kOpening + kYes + kProgrammed + "The device is rebooting; waiting up to 15 s for it to come back\n", std::string("The firmware is written and verified; the controller restarted and has not been seen back yet.\n") + kAgain},
        {signalAt(1, 0x09), {"reset"}, 0, "", std::string("The reset was sent: the controller is restarting.\n") + kAgain},
        {signalAt(2, 0x05), {"settings", "load", "@bike.json"}, 130, "", "Interrupted while the settings were loaded:\nAuto is updated\nConfig was being written: the controller may not hold it\nNot written: Speed Limit\nRun korvane-cli info to see what the controller holds.\n"},
        {[](auto& t) { t.device().faults.unanswered = {CommandCode::WriteEprom}; signalAt(1, 0x05)(t); }, {"set", "auto", "on"}, 130, "", "Interrupted while a setting was written: the controller may not hold it; run korvane-cli info to see\n"},
        {[](auto& t) { t.image.putInto(t.device()); signalAt(3, 0x08)(t); }, {"verify", "@fw.hex"}, 130, "Checked 0 of 5 records (0%)\nChecked 1 of 5 records (20%)\nChecked 2 of 5 records (40%)\n", "Verify interrupted after 2 of 5 program records: nothing was changed\n"},
        {[](auto& t) { t.device(Scene::kSecond).faults.silent = false; signalAt(3, 0x02)(t); }, {"--all", "flash", "@fw.hex", "--yes"}, 130, std::string("2 controllers answered: /dev/ttySIM0, /dev/ttySIM1\n/dev/ttySIM0: Records not written: 2 (upper address 0x0030)\n/dev/ttySIM1: Records not written: 2 (upper address 0x0030)\n/dev/ttySIM0: The controller on /dev/ttySIM0 (software 07) will be erased and programmed with @fw.hex (software 12).\n/dev/ttySIM0: ") + kYes + "/dev/ttySIM1: The controller on /dev/ttySIM1 (software 07) will be erased and programmed with @fw.hex (software 12).\n/dev/ttySIM1: " + kYes + "/dev/ttySIM0: Programmed 1 of 13 records (7%)\n/dev/ttySIM1: Programmed 1 of 13 records (7%)\n/dev/ttySIM0: Programmed 2 of 13 records (15%)\n/dev/ttySIM1: Programmed 2 of 13 records (15%)\nSummary: /dev/ttySIM0, device BEEF, software 07, file's software 12, interrupted: Firmware update interrupted after record 3 of 13, with record 4 not confirmed: the controller has no complete firmware; flash again, 1.04 s\nSummary: /dev/ttySIM1, device BEEF, software 07, file's software 12, interrupted: Firmware update interrupted after record 2 of 13, with record 3 not confirmed: the controller has no complete firmware; flash again, 1.04 s\n", "/dev/ttySIM0: Firmware update interrupted after record 3 of 13, with record 4 not confirmed: the controller has no complete firmware; flash again\n/dev/ttySIM1: Firmware update interrupted after record 2 of 13, with record 3 not confirmed: the controller has no complete firmware; flash again\n"},
    };
    // clang-format on
    for (const auto& [setup, words, status, out, err] : rows) {
        Scene world;
        world.answer = false;
        setup(world);
        const CommandLineRun run = world.cli(words);
        EXPECT_EQ(run.status, status) << words.back();
        // Refused before any port is touched.
        EXPECT_TRUE(status != 2 || world.port().sendsAsked() == 0) << words.back();
        EXPECT_EQ(run.out, out);
        EXPECT_EQ(run.err, err);
    }
}

}  // namespace
}  // namespace korvane::testing
