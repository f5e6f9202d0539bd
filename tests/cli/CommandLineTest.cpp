// korvane-cli's command lines as main runs them, in the test's process on virtual time.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/frontend/SettingsFile.h"
#include "tests/support/CommandLineRun.h"
#include "tests/support/HexImage.h"
#include "tests/support/SimulatedBench.h"

namespace korvane::testing {
namespace {

class CommandLineTest : public SimulatedBench {
protected:
    CommandLineRun cli(const std::vector<std::string>& words, bool answer = true) {
        return runCommandLine(loop, words, answer);
    }

    std::string file(const std::string& name, const std::string& content) {
        const QString path = folder.filePath(QString::fromStdString(name));
        QFile written(path);
        written.open(QIODevice::WriteOnly | QIODevice::Truncate);
        written.write(content.c_str());
        return path.toStdString();
    }

    // The command codes the controller received, in order.
    std::vector<int> received() {
        std::vector<int> codes;
        for (const Bytes& request : wire()) {
            codes.push_back(request.at(1));
        }
        return codes;
    }

    // What `image` puts where, read back from the controller.
    void expectHeld(const HexImage& image) {
        for (const auto& [upper, bytes] : image.memory) {
            const std::vector<std::uint8_t>& region =
                upper == 0 ? device().programMemory : device().eprom;
            for (const auto& [address, byte] : bytes) {
                ASSERT_EQ(region.at(address), byte) << upper << ":" << address;
            }
        }
    }

    QTemporaryDir folder;
};

TEST_F(CommandLineTest, FastTransfersMakeOneControllersCommandFast) {
    const std::string firmware = file("fw.hex", realisticImage(24).file());
    const struct {
        std::vector<std::string> words;
        Duration standard;
        Duration fast;
    } cases[] = {
        // The search: the open check's second, then identify and the settings read.
        {{"info"}, Duration{1400}, Duration{10}},
        {{"set", "config", "2"}, Duration{1800}, Duration{22}},
        // Also the erase's second and the reboot notice's, which fast transfers keep.
        {{"flash", firmware, "--yes"}, Duration{3930}, Duration{2275}},
    };
    const Bytes before(device().settingsRecord().begin(), device().settingsRecord().end());
    for (const auto& each : cases) {
        for (const bool fast : {false, true}) {
            device().setSettingsRecord(before);
            std::vector<std::string> words = each.words;
            if (fast) {
                words.insert(words.begin(), "--fast");
            }
            const CommandLineRun run = cli(words);
            EXPECT_EQ(run.status, 0) << run.err;
            EXPECT_EQ(run.took, fast ? each.fast : each.standard) << words[0] << " " << words[1];
        }
    }
}

TEST_F(CommandLineTest, AnUpdateAnsweredNoSendsNothingAndSaysSo) {
    const std::string firmware = file("fw.hex", realisticImage(4).file());
    const std::string preamble =
        " will be erased and programmed with " + firmware + " (software 12).\n";
    const std::string one = "The controller on /dev/ttySIM0 (software 07)" + preamble;
    const std::string all = "1 controller (/dev/ttySIM0)" + preamble;
    const std::string cancelled = "Firmware update cancelled\n";
    const std::string question = "Update firmware from file Software version: 12?";
    const struct {
        std::vector<std::string> words;
        std::string out;
        std::string err;
        std::string asked;
    } cases[] = {
        {{"flash", firmware},
         "Records not written: 2 (upper address 0x0030)\n" + one,
         cancelled,
         question},
        {{"--json", "flash", firmware},
         R"({"bootloader":"012A","deviceId":"BEEF","fileSoftware":12,"port":"/dev/ttySIM0",)"
         R"("reason":"Firmware update cancelled","records":7,"recordsSkipped":2,)"
         R"("recordsWritten":0,"result":"failed","seconds":1.9,"software":7})"
         "\n",
         one + cancelled,
         question},
        {{"--all", "flash", firmware},
         "1 controller answered: /dev/ttySIM0\n" + all,
         cancelled,
         question + " (1 controller)"},
        {{"--all", "--json", "flash", firmware},
         R"({"answered":["/dev/ttySIM0"],"reason":"Firmware update cancelled","result":"failed",)"
         R"("unanswered":[]})"
         "\n",
         all + cancelled,
         question + " (1 controller)"},
    };
    for (const auto& each : cases) {
        device().clearRequests();
        const CommandLineRun run = cli(each.words, false);
        EXPECT_EQ(run.status, 1) << each.words[0];
        EXPECT_EQ(run.out, each.out);
        EXPECT_EQ(run.err, each.err);
        EXPECT_EQ(run.asked, std::vector<std::string>{each.asked});
        EXPECT_EQ(received(), (std::vector<int>{0x00, 0x04})) << "identify and read only";
    }
}

TEST_F(CommandLineTest, NoSerialPortAtAll) {
    const std::string firmware = file("fw.hex", realisticImage(4).file());
    SimulatedPortManager none;
    const ORSSerialPortManager::Scope noPorts(none);
    const std::string reason = "Please connect the USB device";
    const struct {
        std::vector<std::string> words;
        std::string out;
    } cases[] = {
        {{"info"}, ""},
        {{"info", "--json"},
         R"({"reason":"Please connect the USB device","result":"failed","seconds":0,)"
         R"("unanswered":[]})"},
        {{"flash", firmware, "--yes"}, "Records not written: 2 (upper address 0x0030)"},
        // The file's records, none written.
        {{"--json", "flash", firmware, "--yes"},
         R"({"fileSoftware":12,"reason":"Please connect the USB device","records":7,)"
         R"("recordsSkipped":2,"recordsWritten":0,"result":"failed","seconds":0,)"
         R"("unanswered":[]})"},
        {{"--all", "--json", "flash", firmware, "--yes"},
         R"({"answered":[],"reason":"Please connect the USB device","result":"failed",)"
         R"("unanswered":[]})"},
        {{"--all", "reset"}, ""},
    };
    for (const auto& each : cases) {
        const CommandLineRun run = cli(each.words);
        EXPECT_EQ(run.status, 1) << each.out;
        EXPECT_EQ(run.out, each.out.empty() ? "" : each.out + "\n");
        EXPECT_EQ(run.err, reason + "\n");
        EXPECT_EQ(run.took, Duration{0}) << "no port to wait for";
    }
}

}  // namespace
}  // namespace korvane::testing
