#include "app/cli/Fleet.h"

#include <algorithm>
#include <ostream>

#include "app/AccessHint.h"
#include "app/cli/Conversation.h"
#include "app/cli/History.h"
#include "app/cli/Outcome.h"
#include "platform/ORSSerialPortManager.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

constexpr const char* kNoController = "Please connect the USB device";
constexpr const char* kCancelled = "Firmware update cancelled";

std::string listPaths(const std::vector<std::unique_ptr<SimpleSerial>>& links) {
    std::string paths;
    for (const auto& link : links) {
        paths += (paths.empty() ? "" : ", ") + link->portPath();
    }
    return paths;
}

// Of two exit statuses, the one that says more is wrong: any failure, then a controller not seen
// back, then success.
int worse(int status, int other) {
    const auto rank = [](int each) {
        return each == kSuccess ? 0 : each == kNotBack ? 1 : 2;
    };
    return rank(other) > rank(status) ? (other == kNotBack ? kNotBack : kFailure) : status;
}

std::string controllers(std::size_t count) {
    return std::to_string(count) + (count == 1 ? " controller" : " controllers");
}

}  // namespace

Fleet::Fleet(CommandAction action, FleetOptions options, std::ostream& out, std::ostream& err)
    : action_(std::move(action)), options_(options), out_(out), err_(err) {}

Fleet::~Fleet() = default;

void Fleet::start(std::function<void(int)> done) {
    done_ = std::move(done);
    SimpleSerial::findDevices(
        [this](std::vector<std::unique_ptr<SimpleSerial>> links) { found(std::move(links)); },
        options_.fast ? TransferMode::fast : TransferMode::standard,
        [this](const std::vector<PortProbe>& failed) { failedProbes_ = failed; });
}

void Fleet::found(std::vector<std::unique_ptr<SimpleSerial>> links) {
    searched_ = true;
    if (links.empty()) {
        endUnwritten(kNoController, links, true);
        return;
    }
    if (links.size() < options_.expect) {
        // Checked before anything is written: a dead unit is noticed before the others change.
        endUnwritten("Only " + std::to_string(links.size()) + " of " +
                         std::to_string(options_.expect) + " expected controllers answered (" +
                         listPaths(links) + "); nothing was written",
                     links, true);
        return;
    }
    if (!options_.json) {
        out_ << controllers(links.size()) << " answered: " << listPaths(links) << '\n';
    }
    if (action_.question.empty() || !confirmer_) {
        runOn(std::move(links), false);
        return;
    }
    // What is about to happen, before the question that lets it happen.
    (options_.json ? err_ : out_) << updatePreamble(
                                         controllers(links.size()) + " (" + listPaths(links) + ")",
                                         action_.firmwarePath, action_.fileSoftware.value_or(0))
                                  << '\n';
    // The ports stay held while the user thinks: no other program takes them meanwhile.
    auto held = std::make_shared<std::vector<std::unique_ptr<SimpleSerial>>>(std::move(links));
    asking_ = true;
    confirmer_(action_.question + " (" + controllers(held->size()) + ")", [this, held](bool yes) {
        asking_ = false;
        if (!yes) {
            endUnwritten(kCancelled, *held, false);
            held->clear();
            return;
        }
        runOn(std::move(*held), true);
    });
}

void Fleet::runOn(std::vector<std::unique_ptr<SimpleSerial>> links, bool confirmed) {
    members_.resize(links.size());
    for (std::size_t i = 0; i < links.size(); ++i) {
        Member& member = members_[i];
        member.path = links[i]->portPath();
        member.out =
            std::make_unique<PrefixedOutput>(options_.json ? nullptr : &out_, member.path + ": ");
        member.err = std::make_unique<PrefixedOutput>(&err_, member.path + ": ");
        member.session =
            std::make_unique<ConsoleSession>(*member.out, *member.err, std::move(links[i]));
        member.session->setSharesOutput(true);
        member.session->setConfirmedBeforehand(confirmed);
        member.session->control().setFastTransfers(options_.fast);
        // Kept as soon as it is known, before any controller's result is reported.
        member.session->setOnFinished([this, &member](int status) {
            record(member, finishedOutcome(status, member.err->lastLine().empty()
                                                       ? "no reason given"
                                                       : member.err->lastLine()));
            memberFinished();
        });
    }
    for (Member& member : members_) {
        action_.start(*member.session);
    }
}

void Fleet::memberFinished() {
    int status = kSuccess;
    for (const Member& member : members_) {
        if (!member.session->finished()) {
            return;
        }
        status = worse(status, member.session->status());
    }
    for (const Member& member : members_) {
        summarize(member);
    }
    end(status);
}

void Fleet::record(const Member& member, const Outcome& outcome) {
    if (options_.history == nullptr) {
        return;
    }
    if (const std::string problem =
            options_.history->recordController(*member.session, action_, outcome);
        !problem.empty()) {
        err_ << problem << '\n';
    }
}

void Fleet::recordRun(const JsonObject& object) {
    if (options_.history == nullptr) {
        return;
    }
    if (const std::string problem = options_.history->recordRun(object, action_);
        !problem.empty()) {
        err_ << problem << '\n';
    }
}

void Fleet::summarize(const Member& member, const Interruption& interrupted) {
    Outcome outcome = finishedOutcome(member.session->status(), member.err->lastLine().empty()
                                                                    ? "no reason given"
                                                                    : member.err->lastLine());
    if (!member.session->finished()) {
        outcome = interruptedOutcome(interrupted);
        record(member, outcome);
    }
    out_ << (options_.json ? describeOutcome(*member.session, action_, outcome).text()
                           : summaryLine(*member.session, action_, outcome))
         << '\n';
}

void Fleet::endUnwritten(const std::string& reason,
                         const std::vector<std::unique_ptr<SimpleSerial>>& answered,
                         bool sayWhyNot) {
    err_ << reason << '\n';
    const std::string whyNot =
        sayWhyNot ? whyNoController(failedProbes_, ORSSerialPortManager::sharedSerialPortManager())
                  : std::string();
    if (!whyNot.empty()) {
        err_ << whyNot << '\n';
    }
    std::vector<std::string> paths;
    for (const auto& link : answered) {
        paths.push_back(link->portPath());
    }
    std::vector<std::string> unanswered;
    for (const PortProbe& probe : failedProbes_) {
        unanswered.push_back(probe.path + ": " + probeReason(probe));
    }
    std::sort(unanswered.begin(), unanswered.end());
    const JsonObject object =
        JsonObject()
            .add("result", "failed")
            .add("reason", reason)
            .addList("answered", paths)
            .addList("unanswered", sayWhyNot ? unanswered : std::vector<std::string>());
    recordRun(object);
    if (options_.json) {
        out_ << object.text() << '\n';
    }
    end(kFailure);
}

void Fleet::interrupted() {
    if (asking_ || !searched_) {
        const JsonObject object = JsonObject()
                                      .add("result", "interrupted")
                                      .add("reason", asking_ ? kCancelled : kInterruptedSearch);
        recordRun(object);
        if (options_.json) {
            out_ << object.text() << '\n';
        }
        return;
    }
    for (const Member& member : members_) {
        summarize(member, member.session->interruption());
    }
    out_.flush();
}

Interruption Fleet::interruption() const {
    if (asking_) {
        return {std::string(kCancelled) + "\n"};
    }
    if (!searched_) {
        return {std::string(kInterruptedSearch) + "\n"};
    }
    Interruption left{{}, kSuccess};
    for (const Member& member : members_) {
        if (member.session->finished()) {
            if (left.statusWhenDone) {
                left.statusWhenDone = worse(*left.statusWhenDone, member.session->status());
            }
            continue;
        }
        const Interruption busy = member.session->interruption();
        if (!busy.statusWhenDone) {
            left.statusWhenDone.reset();
        } else if (left.statusWhenDone) {
            left.statusWhenDone = worse(*left.statusWhenDone, *busy.statusWhenDone);
        }
        const std::string& text = busy.statement;
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t newline = std::min(text.find('\n', start), text.size());
            left.statement += member.path + ": " + text.substr(start, newline - start) + '\n';
            start = newline + 1;
        }
    }
    return left;
}

void Fleet::end(int status) {
    out_.flush();
    if (done_) {
        std::exchange(done_, nullptr)(status);
    }
}

}  // namespace korvane
