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

}  // namespace
}  // namespace korvane::testing
