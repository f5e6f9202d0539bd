// Settings kept in a file and put back, on virtual time against the simulated controller.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDir>
#include <sstream>

#include "app/cli/Fleet.h"
#include "app/frontend/SettingsFile.h"
#include "tests/support/SessionRun.h"
#include "tests/support/SimulatedBench.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {
namespace {

using ::testing::HasSubstr;

class SettingsFileTest : public SimulatedBench {
protected:
    // Runs `korvane-cli settings …` on the controller; the exit status.
    int settings(const std::vector<std::string>& arguments) {
        return runSession(loop, parseSettings(arguments), out, err).status;
    }

    std::string file(const std::string& name, const std::string& content = {}) {
        return content.empty() ? folder.path(name) : folder.write(name, content);
    }

    TemporaryFolder folder;
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(SettingsFileTest, SavedSettingsComeBackAndOnlyTheThreeSettings) {
    const std::string path = file("bike.json");
    EXPECT_EQ(settings({"save", path}), 0);
    EXPECT_EQ(out.str(), "Settings of BEEF saved to " + path + "\n");
    EXPECT_EQ(QDir(QString::fromStdString(folder.path())).entryList(QDir::Files),
              QStringList{"bike.json"})
        << "no temporary file left behind";
    const SettingsFileReading saved = readSettingsFile(path);
    ASSERT_TRUE(saved.settings) << saved.problem;
    EXPECT_EQ(saved.settings->record, "070103091300A1A2A3A4A5A6");

    // Changed since, software version among it: the version stays the controller's.
    const std::uint8_t changed[] = {9, 4, 3, 9, 25, 1};
    device().setSettingsRecord(changed);
    out.str("");
    EXPECT_EQ(settings({"load", path}), 0) << err.str();
    EXPECT_EQ(out.str(),
              "Auto is updated\nConfig is updated\nSpeed Limit is updated\nSettings loaded\n");
    const Bytes expected = {9, 1, 3, 9, 19, 0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6};
    EXPECT_EQ(Bytes(device().settingsRecord().begin(), device().settingsRecord().end()), expected);
    out.str("");
    EXPECT_EQ(settings({"load", path}), 0);
    EXPECT_EQ(out.str(),
              "Auto is already off\nConfig is already 1\nSpeed Limit is already 19 mph\n"
              "Settings loaded\n");

    // A file of another device is refused, unless forced; a refused write fails the load.
    device().deviceId = {0x12, 0x34};
    device().clearRequests();
    EXPECT_EQ(settings({"load", path}), 1);
    EXPECT_EQ(err.str(), path +
                             " holds the settings of device BEEF, not of this controller "
                             "(1234): add --force to load them anyway\n");
    EXPECT_EQ(device().requests().size(), 2u) << "identify and the settings read only";
    device().setSettingsRecord(changed);
    // Identify, the read, Auto's write and read-back, then Config's write.
    device().faults.refuseRequest = device().requests().size() + 5;
    out.str("");
    err.str("");
    EXPECT_EQ(settings({"load", path, "--force"}), 1);
    EXPECT_EQ(out.str(), "Auto is updated\nSpeed Limit is updated\n");
    EXPECT_EQ(err.str(), "Could not set Config\nSettings not all loaded\n");
}

TEST_F(SettingsFileTest, AFileIsCheckedWholeBeforeAnyPortAndNeverReplacedUnasked) {
    const std::string good =
        R"({"deviceId": "BEEF", "bootloader": "012A", "software": 7, "auto": false, "config": 1, )"
        R"("speedLimitMph": 19, "record": "070103091300A1A2A3A4A5A6"})";
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        return text.replace(text.find(from), from.size(), to);
    };
    const std::pair<std::string, std::string> cases[] = {
        {"{", "is not JSON: unterminated object at character 1"},
        {"[1]", "holds no JSON object"},
        {with("\"BEEF\"", "\"BEF\""), "deviceId must be 4 hexadecimal digits"},
        {with("\"012A\"", "12"), "bootloader must be 4 hexadecimal digits"},
        {with("\"config\": 1", "\"config\": 4"), "config must be a whole number from 1 to 3"},
        {with("19", "256"), "speedLimitMph must be a whole number from 0 to 255"},
        {with("19", "12.5"), "speedLimitMph must be a whole number from 0 to 255"},
        {with("19", "1e300"), "speedLimitMph must be a whole number from 0 to 255"},
        {with("false", "\"no\""), "auto must be true or false"},
        {with("A6\"", "A\""), "record must be 24 hexadecimal digits"},
        {with(", \"software\": 7", ""), "software must be a whole number from 0 to 255"},
    };
    for (const auto& [content, problem] : cases) {
        const std::string path = file("bad.json", content);
        EXPECT_EQ(readSettingsFile(path).problem, problem) << content;
    }
    EXPECT_EQ(readSettingsFile(folder.path()).problem, "is a folder, not a file");
    EXPECT_TRUE(readSettingsFile(file("good.json", good)).settings);
    try {
        parseSettings({"load", file("bad.json", "{")});
        ADD_FAILURE() << "a broken file was taken";
    } catch (const InputError& error) {
        EXPECT_EQ(error.reason, "Invalid settings file\n" + file("bad.json") +
                                    ": is not JSON: unterminated object at character 1");
    }
    EXPECT_THROW(parseSettings({"save", file("good.json")}), InputError);
    EXPECT_EQ(settings({"save", file("good.json"), "--force"}), 0);
    EXPECT_EQ(readSettingsFile(file("good.json")).settings->savedAt.size(), 20u)
        << "replaced, with the time it was saved";
}

TEST_F(SettingsFileTest, ASaveAfterAnUnansweredWriteReadsWhatTheControllerHolds) {
    // configMode 3 is no choice of the window: connecting writes 1, which goes unanswered.
    const std::uint8_t unoffered[] = {7, 3, 3, 9, 19, 0};
    device().setSettingsRecord(unoffered);
    device().faults.unanswered = {CommandCode::WriteEprom};
    const std::string path = file("bike.json");
    EXPECT_EQ(settings({"save", path}), 0) << err.str();
    const std::vector<Bytes>& requests = device().requests();
    ASSERT_GE(requests.size(), 2u);
    EXPECT_EQ(requests.back()[1], static_cast<std::uint8_t>(CommandCode::ReadEprom))
        << "read again after the write";
    EXPECT_EQ(readSettingsFile(path).settings->record, "070303091300A1A2A3A4A5A6");
}

TEST_F(SettingsFileTest, EveryControllerWithTheFilesDeviceIdGetsItsSettings) {
    ports.addDevice("/dev/ttySIM1").controller.deviceId = {0x12, 0x34};
    ports.addDevice("/dev/ttySIM2");
    const std::string path =
        file("line.json", R"({"deviceId": "BEEF", "bootloader": "012A", "software": 7, )"
                          R"("auto": true, "config": 2, "speedLimitMph": 19, )"
                          R"("record": "070103091300A1A2A3A4A5A6"})");
    EXPECT_EQ(runFleet(loop, parseSettings({"load", path}), {.json = true}, out, err), 1);
    for (const char* port : {kControllerPath, "/dev/ttySIM2"}) {
        EXPECT_EQ(ports.device(port)->controller.settingsRecord()[1], 2) << port;
        EXPECT_EQ(ports.device(port)->controller.settingsRecord()[5], 1) << port;
    }
    EXPECT_EQ(ports.device("/dev/ttySIM1")->controller.settingsRecord()[1], 1);
    EXPECT_THAT(out.str(),
                HasSubstr(R"({"auto":false,"bootloader":"012A","config":1,"deviceId":"1234",)"
                          R"("port":"/dev/ttySIM1","reason":")" +
                          path + " holds the settings of device BEEF, not of this controller"));
}

}  // namespace
}  // namespace korvane::testing
