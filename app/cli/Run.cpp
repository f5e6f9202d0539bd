#include "app/cli/Run.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "app/AccessHint.h"
#include "app/SettingsFile.h"
#include "app/cli/PrefixedOutput.h"
#include "app/cli/Report.h"
#include "platform/ORSSerialPortManager.h"
#include "util/StringPrintf.h"
#include "util/UtcTime.h"

namespace korvane {

namespace {

std::vector<std::string> pathsOf(const std::vector<std::unique_ptr<SimpleSerial>>& links) {
    std::vector<std::string> paths;
    for (const auto& link : links) {
        paths.push_back(link->portPath());
    }
    return paths;
}

std::string listPaths(const std::vector<std::unique_ptr<SimpleSerial>>& links) {
    std::string listed;
    for (const std::string& path : pathsOf(links)) {
        listed += (listed.empty() ? "" : ", ") + path;
    }
    return listed;
}

std::string controllers(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " controller" : " controllers");
}

}  // namespace

int exitStatus(const std::vector<Result>& results, std::optional<int> signal) {
    const auto any = [&](Result result) {
        return std::find(results.begin(), results.end(), result) != results.end();
    };
    if (signal && any(Result::interrupted)) {
        return 128 + *signal;
    }
    return any(Result::failed) ? 1 : any(Result::notBack) ? 3 : 0;
}

Run::Run(Invocation invocation, Command command, Console& console,
         std::unique_ptr<AppendOnlyFile> history, nlohmann::json facts)
    : invocation_(std::move(invocation)),
      command_(std::move(command)),
      console_(console),
      history_(std::move(history)),
      facts_(std::make_unique<nlohmann::json>(std::move(facts))) {}

Run::~Run() = default;

std::unique_ptr<std::ostream> Run::output(const std::string& path, bool errors) {
    if (!invocation_.all) {
        return errors || !invocation_.json ? nullptr
                                           : std::make_unique<PrefixedOutput>(nullptr, "");
    }
    std::ostream* target = errors ? &console_.err() : invocation_.json ? nullptr : &console_.out();
    return std::make_unique<PrefixedOutput>(target, path + ": ");
}

std::ostream& Run::questions() {
    return invocation_.json ? console_.err() : console_.out();
}

void Run::start(Console::Finish finish) {
    finish_ = std::move(finish);
    const TransferMode mode =
        invocation_.frontEnd.fast ? TransferMode::fast : TransferMode::standard;
    const auto report = [this](const std::vector<PortProbe>& failed) {
        failedProbes_ = failed;
    };
    if (invocation_.all) {
        search_ = DeviceSearch::all(
            [this](std::vector<std::unique_ptr<SimpleSerial>> links) { found(std::move(links)); },
            mode, report);
        return;
    }
    // One controller's work (and clock) starts with its search.
    members_.push_back(std::make_unique<Member>(*this, "", command_.job()));
    search_ = DeviceSearch::first(
        [this](std::unique_ptr<SimpleSerial> link) {
            std::vector<std::unique_ptr<SimpleSerial>> links;
            if (link) {
                links.push_back(std::move(link));
            }
            found(std::move(links));
        },
        mode, report);
}

std::vector<std::string> Run::unanswered() const {
    std::vector<std::string> lines;
    for (const PortProbe& probe : failedProbes_) {
        lines.push_back(probe.path + ": " + probeReason(probe));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

void Run::found(std::vector<std::unique_ptr<SimpleSerial>> links) {
    if (links.empty()) {
        if (invocation_.all) {
            endUnwritten(Result::failed, kNoController, {}, true);
            return;
        }
        const std::string why =
            whyNoController(failedProbes_, ORSSerialPortManager::sharedSerialPortManager());
        Member& member = *members_.front();
        member.err() << kNoController << '\n' << (why.empty() ? "" : why + "\n");
        member.finish({Result::failed, kNoController, unanswered()});
        return;
    }
    if (links.size() < invocation_.expect) {
        // Checked before anything is written: a dead unit is noticed before the others change.
        endUnwritten(Result::failed,
                     "Only " + std::to_string(links.size()) + " of " +
                         std::to_string(invocation_.expect) + " expected controllers answered (" +
                         listPaths(links) + "); nothing was written",
                     pathsOf(links), true);
        return;
    }
    if (invocation_.all && !invocation_.json) {
        console_.out() << controllers(links.size()) << " answered: " << listPaths(links) << '\n';
    }
    if (!invocation_.all) {
        members_.front()->identify(*links.front());
    }
    if (command_.asks) {
        ask(std::move(links));
    } else {
        begin(std::move(links));
    }
}

void Run::ask(std::vector<std::unique_ptr<SimpleSerial>> links) {
    // What is about to happen, before the question that lets it happen.
    const std::string who = invocation_.all
                                ? controllers(links.size()) + " (" + listPaths(links) + ")"
                                : stringPrintf("The controller on %s (software %02u)",
                                               links.front()->portPath().c_str(),
                                               links.front()->identity.software.value_or(0));
    questions() << updatePreamble(who, command_.firmwarePath, command_.fileSoftware.value_or(0))
                << '\n';
    std::string question = updateQuestion(command_.fileSoftware.value_or(0));
    if (invocation_.all) {
        question += " (" + controllers(links.size()) + ")";
    }
    // The ports stay held while the user thinks: no other program takes them meanwhile.
    auto held = std::make_shared<std::vector<std::unique_ptr<SimpleSerial>>>(std::move(links));
    stage_ = Stage::asking;
    console_.ask(questions(), question, [this, held](bool yes) {
        if (stage_ != Stage::asking) {
            return;  // a signal came first
        }
        if (yes) {
            confirmed_ = true;
            begin(std::move(*held));
            return;
        }
        const std::vector<std::string> paths = pathsOf(*held);
        held->clear();
        if (invocation_.all) {
            endUnwritten(Result::failed, kUpdateCancelled, paths, false);
        } else {
            members_.front()->fail(kUpdateCancelled);
        }
    });
}

void Run::begin(std::vector<std::unique_ptr<SimpleSerial>> links) {
    stage_ = Stage::working;
    if (invocation_.all) {
        for (const auto& link : links) {
            members_.push_back(std::make_unique<Member>(*this, link->portPath(), command_.job()));
        }
    }
    for (std::size_t i = 0; i < links.size(); ++i) {
        members_[i]->connect(std::move(links[i]));
    }
}

void Run::finished(Member& member) {
    // Kept as soon as it is known, before any controller's result is reported.
    nlohmann::json object = describeOutcome(member);
    if (command_.changesSettings && !member.found.deviceId.empty()) {
        object["settingsBefore"] = settingsJson(member.foundSettings);
        // Only what was read back: a write the controller did not acknowledge leaves it unknown.
        if (const SimpleSerial* link = member.control().link();
            link != nullptr && link->settingsAsRead()) {
            object["settingsAfter"] = settingsJson(member.control().settings());
        }
    }
    keep(std::move(object));
    if (stage_ == Stage::ended || std::any_of(members_.begin(), members_.end(),
                                              [](const auto& each) { return !each->finished(); })) {
        return;
    }
    finish_(end(std::nullopt));
}

void Run::keep(nlohmann::json object) {
    if (!history_) {
        return;
    }
    object.update(*facts_);
    object["time"] = utcNow();
    if (const std::string problem = history_->append(jsonLine(object)); !problem.empty()) {
        console_.err() << "Could not append to the history " << invocation_.history << ": "
                       << problem << '\n';
    }
}

void Run::endUnwritten(Result result, const std::string& reason, std::vector<std::string> answered,
                       bool sayWhy) {
    stage_ = Stage::ended;
    console_.err() << reason << '\n';
    const std::string why =
        sayWhy ? whyNoController(failedProbes_, ORSSerialPortManager::sharedSerialPortManager())
               : std::string();
    if (!why.empty()) {
        console_.err() << why << '\n';
    }
    nlohmann::json object = {{"result", result == Result::failed ? "failed" : "interrupted"},
                             {"reason", reason}};
    if (result == Result::failed) {
        object["answered"] = answered;
        object["unanswered"] = sayWhy ? unanswered() : std::vector<std::string>();
    }
    keep(object);
    if (invocation_.json) {
        console_.out() << jsonLine(object) << '\n';
    }
    console_.out().flush();
    if (result == Result::failed) {
        finish_(exitStatus({result}));
    }
}

int Run::interrupted(int signal) {
    const Stage was = std::exchange(stage_, Stage::ended);
    if (was == Stage::searching || was == Stage::asking) {
        const std::string statement =
            was == Stage::searching ? kInterruptedSearch : kUpdateCancelled;
        if (invocation_.all) {
            endUnwritten(Result::interrupted, statement, {}, false);
            return exitStatus({Result::interrupted}, signal);
        }
        members_.front()->err() << statement << '\n';
        members_.front()->finish(Result::interrupted, statement);
        return end(signal);
    }
    for (const auto& member : members_) {
        if (!member->finished()) {
            const Interruption left = member->interruption();
            if (!left.statement.empty()) {
                member->err() << left.statement << '\n';
            }
            member->finish(left.done ? Result::ok : Result::interrupted, left.statement);
        }
    }
    return end(signal);
}

int Run::end(std::optional<int> signal) {
    stage_ = Stage::ended;
    std::vector<Result> results;
    for (const auto& member : members_) {
        const Outcome& outcome = *member->outcome();
        results.push_back(outcome.result);
        if (invocation_.json) {
            // info alone answers with the controller; anything else with its outcome.
            const bool own = std::holds_alternative<InfoOptions>(invocation_.command) &&
                             !invocation_.all && outcome.result == Result::ok;
            console_.out() << jsonLine(own ? controllerJson(member->control())
                                           : describeOutcome(*member))
                           << '\n';
        } else if (invocation_.all) {
            console_.out() << summaryLine(*member) << '\n';
        }
    }
    console_.out().flush();
    return exitStatus(results, signal);
}

}  // namespace korvane
