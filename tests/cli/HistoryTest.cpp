// The production history on virtual time: a whole line per controller, after what is there, with
// what --json says under the same names and the run's facts.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <sstream>

#include "app/cli/Fleet.h"
#include "app/cli/History.h"
#include "app/cli/Verbs.h"
#include "tests/support/SessionRun.h"
#include "tests/support/SimulatedBench.h"
#include "tests/support/TemporaryFolder.h"

namespace korvane::testing {
namespace {

constexpr const char* kTime = "2026-03-01T08:00:00Z";

QJsonObject parse(const std::string& line) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

class HistoryTest : public SimulatedBench {
protected:
    HistoryTest() { ports.addDevice("/dev/ttySIM1"); }

    // The history at `path` for a run of `command`, written at a fixed time.
    std::unique_ptr<History> history(const std::string& command, bool settingsCommand = false) {
        std::string problem;
        auto file = AppendOnlyFile::open(path, problem);
        EXPECT_EQ(problem, "");
        return std::make_unique<History>(
            std::move(file), path,
            HistoryContext{"station-7", "0.1.0", command, settingsCommand, [] {
                               return std::string(kTime);
                           }});
    }

    std::vector<std::string> lines() const {
        QFile file(QString::fromStdString(path));
        file.open(QIODevice::ReadOnly);
        std::vector<std::string> all;
        for (const QByteArray& line : file.readAll().split('\n')) {
            all.push_back(line.toStdString());
        }
        return all;
    }

    TemporaryFolder folder;
    std::string path = folder.path("history.jsonl");
    std::ostringstream out;
    std::ostringstream err;
};

TEST_F(HistoryTest, ALineForEachControllerAfterWhatIsThereWithWhatJsonSays) {
    folder.write("history.jsonl", "{\"earlier\":true}\n");
    const HexImage image = realisticImage(4);
    const std::string file = folder.write("firmware.hex", image.file());
    image.putInto(device());
    const auto kept = history("verify " + file);
    EXPECT_EQ(runFleet(loop, parseVerify({file}), {.json = true, .history = kept.get()}, out, err),
              1)
        << "the second controller holds nothing of the file";

    const std::vector<std::string> written = lines();
    ASSERT_EQ(written.size(), 4u) << "two lines after the earlier one, each with its line end";
    EXPECT_EQ(written[0], R"({"earlier":true})");
    EXPECT_EQ(written[3], "");
    std::istringstream said(out.str());
    for (const auto& [line, port, result] :
         {std::tuple{written[1], "/dev/ttySIM0", "ok"}, {written[2], "/dev/ttySIM1", "failed"}}) {
        const QJsonObject entry = parse(line);
        EXPECT_EQ(entry["port"].toString().toStdString(), port);
        EXPECT_EQ(entry["result"].toString().toStdString(), result);
        std::string json;
        std::getline(said, json);
        const QJsonObject shown = parse(json);
        ASSERT_FALSE(shown.isEmpty());
        for (auto member = shown.begin(); member != shown.end(); ++member) {
            EXPECT_EQ(entry[member.key()], member.value()) << member.key().toStdString();
        }
        const std::pair<const char*, std::string> facts[] = {
            {"time", kTime},      {"host", "station-7"},
            {"version", "0.1.0"}, {"command", "verify " + file},
            {"file", file},       {"fileSha256", sha256Hex(image.bytes())},
        };
        for (const auto& [name, value] : facts) {
            EXPECT_EQ(entry[name].toString().toStdString(), value) << name;
        }
        EXPECT_FALSE(entry.contains("settingsBefore"));
    }
    EXPECT_EQ(parse(written[2])["reason"].toString().toStdString(),
              "Firmware differs from " + file + ": the sums of 5 of 5 program records differ");
}

TEST_F(HistoryTest, SettingsBeforeAndAfterOnlyAsReadBack) {
    ports.device("/dev/ttySIM1")->controller.faults.silent = true;
    const auto set = [&](const std::string& config, CommandCode unanswered) {
        device().faults.unanswered = {unanswered};
        const CommandAction action = parseSet({"config", config});
        const auto kept = history("set config " + config, true);
        const SessionRun run = runSession(loop, action, out, err);
        EXPECT_EQ(kept->recordController(*run.session, action, {run.status == 0, "reason"}), "");
        return parse(lines().at(lines().size() - 2));
    };
    const QJsonObject written = set("3", CommandCode::Verify);
    EXPECT_EQ(written["settingsBefore"].toObject(),
              parse(R"({"auto":false,"config":1,"speedLimitMph":19})"));
    EXPECT_EQ(written["settingsAfter"].toObject(),
              parse(R"({"auto":false,"config":3,"speedLimitMph":19})"));
    // The write not acknowledged: what the controller holds is not known.
    const QJsonObject unknown = set("2", CommandCode::WriteEprom);
    EXPECT_EQ(unknown["result"].toString(), "failed");
    EXPECT_EQ(unknown["settingsBefore"].toObject(),
              parse(R"({"auto":false,"config":3,"speedLimitMph":19})"));
    EXPECT_FALSE(unknown.contains("settingsAfter"));
}

TEST_F(HistoryTest, OnlyARegularFileThatCanBeWrittenIsTaken) {
    const std::string fifo = folder.path("fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<std::string, std::string> cases[] = {
        {folder.path(), "is a folder, not a file"},
        {folder.path("none/history.jsonl"), "No such file or directory"},
        {fifo, "is not a regular file (a device, a pipe or a socket)"},
        {"/dev/null", "is not a regular file (a device, a pipe or a socket)"},
    };
    for (const auto& [where, why] : cases) {
        std::string problem;
        EXPECT_EQ(AppendOnlyFile::open(where, problem), nullptr) << where;
        EXPECT_EQ(problem, why);
    }
}

TEST_F(HistoryTest, WritersAppendingAtOnceNeverMixWithinALine) {
    constexpr int kWriters = 4;
    constexpr int kLines = 50;
    // Long lines: a line written in pieces would be cut by another writer's.
    const auto line = [](int writer, int number) {
        return stringPrintf("{\"writer\":%d,\"line\":%d,\"pad\":\"%s\"}", writer, number,
                            std::string(3000, static_cast<char>('a' + writer)).c_str());
    };
    std::vector<pid_t> writers;
    for (int writer = 0; writer < kWriters; ++writer) {
        const pid_t child = ::fork();
        if (child == 0) {
            std::string problem;
            const auto file = AppendOnlyFile::open(path, problem);
            for (int number = 0; file && number < kLines; ++number) {
                problem += file->append(line(writer, number));
            }
            ::_exit(file && problem.empty() ? 0 : 1);
        }
        writers.push_back(child);
    }
    for (const pid_t writer : writers) {
        int status = 0;
        ::waitpid(writer, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::vector<std::string> written = lines();
    ASSERT_EQ(written.size(), std::size_t{kWriters * kLines + 1});
    written.pop_back();
    std::sort(written.begin(), written.end());
    std::vector<std::string> expected;
    for (int writer = 0; writer < kWriters; ++writer) {
        for (int number = 0; number < kLines; ++number) {
            expected.push_back(line(writer, number));
        }
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_TRUE(written == expected);
}

}  // namespace
}  // namespace korvane::testing
