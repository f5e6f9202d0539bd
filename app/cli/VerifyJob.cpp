// Comparing what the controller holds with a firmware file, by the word sums the controller
// computes over program memory: one Verify request for each program-memory record, and nothing
// else (no erase, no write, no restart).
#include <ostream>

#include "app/cli/Job.h"
#include "firmware/ProgramSums.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

// Differing records are named one a line up to this many; the rest are counted.
constexpr std::size_t kNamedDifferences = 20;

struct VerifiedFile {
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

class Verify final : public Job {
public:
    Verify(Run& run, const std::string& path, std::shared_ptr<const VerifiedFile> file)
        : Job(run, path), file_(std::move(file)) {}

    void start() override { askNext(); }

    Interruption interruption() override {
        return {
            stringPrintf("Verify interrupted after %zu of %zu program records: nothing was "
                         "changed",
                         checked_, file_->sums.size())};
    }

    void describe(nlohmann::json& object) const override {
        // "records" and "recordsSkipped" count as flash counts them.
        object["fileSoftware"] = file_->software;
        object["records"] = file_->sums.size() + file_->epromRecords;
        object["recordsSkipped"] = file_->otherRecords;
        object["programRecords"] = file_->sums.size();
        object["recordsChecked"] = checked_;
        object["recordsDiffering"] = differing_.size();
        object["differing"] = differingRecords();
    }

private:
    // "records 5 to 2048 were not checked"
    std::string notChecked() const {
        const std::size_t first = checked_ + 1;
        const std::size_t last = file_->sums.size();
        return first == last ? stringPrintf("record %zu was not checked", first)
                             : stringPrintf("records %zu to %zu were not checked", first, last);
    }

    std::vector<std::string> differingRecords() const {
        std::vector<std::string> named;
        for (const std::size_t index : differing_) {
            named.push_back(describeRecord(file_->sums[index]));
        }
        return named;
    }

    void askNext() {
        const std::vector<ProgramSum>& sums = file_->sums;
        progress("verifying", checked_, sums.size(), "Checked");
        if (checked_ == sums.size()) {
            conclude(true);
            return;
        }
        const ProgramSum& record = sums[checked_];
        const bool asked = control().readProgramSum(
            record.address, record.length, [this](std::optional<std::uint16_t> sum) {
                if (finished()) {
                    return;  // the device was lost meanwhile, and that was said
                }
                if (!sum) {
                    conclude(false);
                    return;
                }
                if (*sum != file_->sums[checked_].sum) {
                    differing_.push_back(checked_);
                }
                ++checked_;
                askNext();
            });
        if (!asked) {
            // Only a device that is gone leaves the link unfit for the next request.
            fail(std::string(kDeviceLost) + "; " + notChecked());
        }
    }

    void conclude(bool answered) {
        endBar();
        const std::vector<std::string> named = differingRecords();
        for (std::size_t i = 0; i < std::min(named.size(), kNamedDifferences); ++i) {
            err() << named[i] << " differs\n";
        }
        if (const std::size_t rest = named.size() - std::min(named.size(), kNamedDifferences);
            rest > 0) {
            err() << "and " << rest
                  << (rest == 1 ? " more record differs\n" : " more records differ\n");
        }
        const std::size_t total = file_->sums.size();
        if (!answered) {
            std::string record = describeRecord(file_->sums[checked_]);
            record[0] = 'r';
            fail("The controller did not answer the Verify request for " + record + "; " +
                 notChecked());
        } else if (!named.empty()) {
            fail(
                stringPrintf("Firmware differs from %s: the sums of %zu of %zu program "
                             "records differ",
                             file_->path.c_str(), named.size(), total));
        } else {
            // A word sum is what the controller offers: the sums match, which is all that is
            // claimed.
            succeed(
                stringPrintf("Firmware matches %s (%zu program record%s; %zu EEPROM "
                             "and %zu other records cannot be checked by the "
                             "controller)",
                             file_->path.c_str(), total, total == 1 ? "" : "s", file_->epromRecords,
                             file_->otherRecords));
        }
    }

    std::shared_ptr<const VerifiedFile> file_;
    // Program records whose sums were compared so far, and those of them that differ.
    std::size_t checked_ = 0;
    std::vector<std::size_t> differing_;
};

}  // namespace

Command verifyCommand(const Invocation& invocation) {
    const std::string& path = invocation.verify.file;
    // The file is checked whole, as for flash, before any port is touched.
    const CheckedFirmwareFile reading = fitFirmwareFile(path);
    const auto file = std::make_shared<const VerifiedFile>(
        VerifiedFile{path, programSums(*reading.file), reading.file->eprom.records,
                     reading.file->skippedRecords, reading.file->softwareVersion});
    if (file->sums.empty()) {
        throw InputError{path +
                         " has no program-memory records: the controller can check nothing of it"};
    }
    Command command = commandOf<Verify>(file);
    command.file = path;
    command.fileSha256 = sha256Hex(reading.bytes);
    return command;
}

}  // namespace korvane
