// Comparing what the controller holds with a firmware file, by the word sums the controller
// computes over program memory: one Verify request for each program-memory record, and nothing
// else (no erase, no write, no restart).
#include <algorithm>
#include <memory>
#include <ostream>

#include "app/cli/ConsoleSession.h"
#include "app/cli/Conversation.h"
#include "app/cli/History.h"
#include "app/cli/Terminal.h"
#include "app/cli/Verbs.h"
#include "firmware/FirmwareFile.h"
#include "firmware/ProgramSums.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

// Differing records are named one a line up to this many; the rest are counted.
constexpr std::size_t kNamedDifferences = 20;

struct VerifyFile {
    std::string path;
    std::vector<ProgramSum> sums;
    // The records a Verify cannot check: the eprom's, and those for memory the controller lacks.
    std::size_t epromRecords = 0;
    std::size_t otherRecords = 0;
    unsigned software = 0;
};

// "Record 8 (line 9, address 0x1070)"
std::string describeRecord(const ProgramSum& record) {
    return stringPrintf("Record %zu (line %zu, address 0x%04X)", record.number, record.line,
                        unsigned{record.address});
}

// One controller's comparison, record after record.
struct Comparison {
    Comparison(ConsoleSession& owner, VerifyFile verified)
        : session(owner),
          file(std::move(verified)),
          progress(owner.out(), outputIsTerminal() && !owner.sharesOutput(), "Checked") {}

    // "records 5 to 2048 were not checked"
    std::string notChecked() const {
        const std::size_t first = checked + 1;
        const std::size_t last = file.sums.size();
        return first == last ? stringPrintf("record %zu was not checked", first)
                             : stringPrintf("records %zu to %zu were not checked", first, last);
    }

    std::vector<std::string> differingRecords() const {
        std::vector<std::string> named;
        for (const std::size_t index : differing) {
            named.push_back(describeRecord(file.sums[index]));
        }
        return named;
    }

    ConsoleSession& session;
    const VerifyFile file;
    ProgressReport progress;
    // Program records whose sums were compared so far, and those of them that differ.
    std::size_t checked = 0;
    std::vector<std::size_t> differing;
};

void conclude(Comparison& run, bool answered) {
    ConsoleSession& session = run.session;
    run.progress.finish();
    const std::vector<std::string> named = run.differingRecords();
    for (std::size_t i = 0; i < std::min(named.size(), kNamedDifferences); ++i) {
        session.err() << named[i] << " differs\n";
    }
    if (const std::size_t rest = named.size() - std::min(named.size(), kNamedDifferences);
        rest > 0) {
        session.err() << "and " << rest
                      << (rest == 1 ? " more record differs\n" : " more records differ\n");
    }
    const std::size_t total = run.file.sums.size();
    if (!answered) {
        std::string record = describeRecord(run.file.sums[run.checked]);
        record[0] = 'r';
        session.err() << "The controller did not answer the Verify request for " << record << "; "
                      << run.notChecked() << '\n';
        session.finish(kFailure);
        return;
    }
    if (!named.empty()) {
        session.err() << "Firmware differs from " << run.file.path << ": the sums of "
                      << named.size() << " of " << total << " program records differ\n";
        session.finish(kFailure);
        return;
    }
    // A word sum is what the controller offers: the sums match, which is all that is claimed.
    session.out() << "Firmware matches " << run.file.path << " (" << total
                  << (total == 1 ? " program record; " : " program records; ")
                  << run.file.epromRecords << " EEPROM and " << run.file.otherRecords
                  << " other records cannot be checked by the controller)\n";
    session.finish(kSuccess);
}

void askNext(const std::shared_ptr<Comparison>& run) {
    const std::vector<ProgramSum>& sums = run->file.sums;
    run->progress.update(run->checked, sums.size());
    if (run->checked == sums.size()) {
        conclude(*run, true);
        return;
    }
    const ProgramSum& record = sums[run->checked];
    const bool asked = run->session.control().readProgramSum(
        record.address, record.length, [run](std::optional<std::uint16_t> sum) {
            if (run->session.finished()) {
                return;  // the device was lost meanwhile, and that was said
            }
            if (!sum) {
                conclude(*run, false);
                return;
            }
            if (*sum != run->file.sums[run->checked].sum) {
                run->differing.push_back(run->checked);
            }
            ++run->checked;
            askNext(run);
        });
    if (!asked) {
        // Only a device that is gone leaves the link unfit for the next request.
        run->progress.finish();
        run->session.err() << kDeviceLost << "; " << run->notChecked() << '\n';
        run->session.finish(kFailure);
    }
}

void startVerify(ConsoleSession& session, const VerifyFile& file) {
    const auto run = std::make_shared<Comparison>(session, file);
    session.setInterruption([run]() -> Interruption {
        if (!run->session.control().isConnected()) {
            return {kInterruptedSearch};
        }
        run->progress.finish();
        return {
            stringPrintf("Verify interrupted after %zu of %zu program records: nothing was "
                         "changed",
                         run->checked, run->file.sums.size())};
    });
    session.setDetails([run](JsonObject& object) {
        const VerifyFile& verified = run->file;
        const auto count = [](std::size_t records) {
            return static_cast<std::int64_t>(records);
        };
        // "records" and "recordsSkipped" count as flash counts them.
        object.addNumber("fileSoftware", verified.software)
            .addNumber("records", count(verified.sums.size() + verified.epromRecords))
            .addNumber("recordsSkipped", count(verified.otherRecords))
            .addNumber("programRecords", count(verified.sums.size()))
            .addNumber("recordsChecked", count(run->checked))
            .addNumber("recordsDiffering", count(run->differing.size()))
            .addList("differing", run->differingRecords());
    });
    converse(
        session, [run] { askNext(run); }, [] {});
}

}  // namespace

CommandAction parseVerify(std::vector<std::string> files) {
    if (files.size() != 1) {
        throw UsageError{"expected: verify FILE"};
    }
    // The file is checked whole, as for flash, before any port is touched.
    CheckedFirmwareFile reading = checkFirmwareFile(files[0]);
    if (!reading.file) {
        throw InputError{"Invalid firmware file\n" + files[0] + ": " + reading.problem};
    }
    VerifyFile file{files[0], programSums(*reading.file), reading.file->eprom.records,
                    reading.file->skippedRecords, reading.file->softwareVersion};
    if (file.sums.empty()) {
        throw InputError{files[0] +
                         " has no program-memory records: the controller can check nothing of it"};
    }
    CommandAction action{[file](ConsoleSession& session) {
        startVerify(session, file);
    }};
    action.file = files[0];
    action.fileSha256 = sha256Hex(reading.bytes);
    return action;
}

}  // namespace korvane
