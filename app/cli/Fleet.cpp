#include "app/cli/Fleet.h"

#include <ostream>

#include "app/AccessHint.h"
#include "app/cli/Conversation.h"
#include "app/cli/Outcome.h"
#include "platform/ORSSerialPortManager.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

constexpr const char* kNoController = "Please connect the USB device";

std::string listPaths(const std::vector<std::unique_ptr<SimpleSerial>>& links) {
    std::string paths;
    for (const auto& link : links) {
        paths += (paths.empty() ? "" : ", ") + link->portPath();
    }
    return paths;
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
        options_.fast ? TransferMode::fast : TransferMode::standard);
}

void Fleet::found(std::vector<std::unique_ptr<SimpleSerial>> links) {
    if (links.empty()) {
        err_ << kNoController << '\n';
        if (const std::string hint = accessHint(ORSSerialPortManager::sharedSerialPortManager());
            !hint.empty()) {
            err_ << hint << '\n';
        }
        end(kFailure);
        return;
    }
    if (links.size() < options_.expect) {
        // Checked before anything is written: a dead unit is noticed before the others change.
        err_ << "Only " << links.size() << " of " << options_.expect
             << " expected controllers answered (" << listPaths(links)
             << "); nothing was written\n";
        end(kFailure);
        return;
    }
    if (!options_.json) {
        out_ << controllers(links.size()) << " answered: " << listPaths(links) << '\n';
    }
    if (action_.question.empty() || !confirmer_) {
        runOn(std::move(links), false);
        return;
    }
    // The ports stay held while the user thinks: no other program takes them meanwhile.
    auto held = std::make_shared<std::vector<std::unique_ptr<SimpleSerial>>>(std::move(links));
    asking_ = true;
    confirmer_(action_.question + " (" + controllers(held->size()) + ")", [this, held](bool yes) {
        asking_ = false;
        if (!yes) {
            err_ << "Firmware update cancelled\n";
            held->clear();
            end(kFailure);
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
        member.session->setOnFinished([this](int) { memberFinished(); });
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
        if (member.session->status() != kSuccess) {
            status = kFailure;
        }
    }
    for (const Member& member : members_) {
        summarize(member);
    }
    end(status);
}

void Fleet::summarize(const Member& member) {
    const Outcome outcome{member.session->status() == kSuccess, member.err->lastLine().empty()
                                                                    ? "no reason given"
                                                                    : member.err->lastLine()};
    out_ << (options_.json ? describeOutcome(*member.session, action_, outcome).text()
                           : summaryLine(*member.session, action_, outcome))
         << '\n';
}

std::string Fleet::interruptStatement() const {
    if (asking_) {
        return "Firmware update cancelled\n";
    }
    std::string statement;
    for (const Member& member : members_) {
        if (member.session->finished()) {
            continue;
        }
        std::string text = member.session->interruptStatement();
        for (std::size_t start = 0; start < text.size();) {
            const std::size_t newline = std::min(text.find('\n', start), text.size());
            statement += member.path + ": " + text.substr(start, newline - start) + '\n';
            start = newline + 1;
        }
    }
    return statement;
}

void Fleet::end(int status) {
    out_.flush();
    if (done_) {
        std::exchange(done_, nullptr)(status);
    }
}

}  // namespace korvane
