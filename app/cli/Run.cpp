// From the words typed to the exit status: the command line's one way through.
#include "app/cli/Run.h"

#include <QString>
#include <QSysInfo>
#include <algorithm>

#include "app/AccessHint.h"
#include "app/SettingsFile.h"
#include "platform/ORSSerialPortManager.h"
#include "util/StringPrintf.h"
#include "util/UtcTime.h"

namespace korvane {

namespace {

// An output stream that starts each line it passes on with a prefix ("/dev/ttyUSB0: "), so that
// the lines of several controllers can share one terminal. Lines are passed on whole, so lines
// of different streams never mix.
class PrefixedOutput final : private std::streambuf, public std::ostream {
public:
    PrefixedOutput(std::ostream& target, std::string prefix)
        : std::ostream(static_cast<std::streambuf*>(this)),
          target_(target),
          prefix_(std::move(prefix)) {}
    // A line without its end is still shown.
    ~PrefixedOutput() override { overflow('\n'); }

private:
    int overflow(int character) override {
        using Traits = std::streambuf::traits_type;
        const char c = Traits::to_char_type(character);
        // A progress bar redraws its line: on a shared terminal it becomes a line of its own.
        if (character != Traits::eof() && c != '\n' && c != '\r') {
            line_ += c;
        } else if (!line_.empty()) {
            target_ << prefix_ << std::exchange(line_, {}) << '\n' << std::flush;
        }
        return Traits::not_eof(character);
    }

    std::ostream& target_;
    std::string prefix_;
    std::string line_;
};

// A signal before any controller was found.
constexpr const char* kInterruptedSearch = "Interrupted during the search: nothing was changed";

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

std::string whyNoneAnswered(const std::vector<PortProbe>& failed) {
    return whyNoController(failed, ORSSerialPortManager::sharedSerialPortManager());
}

// The exit status of a run whose controllers ended so, mapped here alone: a failure says most,
// then a controller not seen back after its restart, then success. A signal that came before
// the work was done: 128 + its number.
int exitStatus(const std::vector<Result>& results, std::optional<int> signal = std::nullopt) {
    const auto any = [&](Result result) {
        return std::find(results.begin(), results.end(), result) != results.end();
    };
    if (signal && any(Result::interrupted)) {
        return 128 + *signal;
    }
    return any(Result::failed) ? 1 : any(Result::notBack) ? 3 : 0;
}

// Wrong usage or an unusable file: the reason, and nothing is sent.
int refuse(Console& console, bool json, std::string reason, bool usage) {
    if (usage) {
        reason = "korvane-cli: " + reason;
    }
    if (json) {
        std::replace(reason.begin(), reason.end(), '\n', ' ');
        console.out() << jsonLine({{"result", "failed"}, {"reason", reason}}) << '\n';
    } else {
        // One line and where to read more: the whole usage would bury the reason.
        console.err() << reason << (usage ? "\nTry 'korvane-cli --help'\n" : "\n");
    }
    return kUnusable;
}

}  // namespace

Run::Run(Invocation invocation, Command command, Console& console,
         std::unique_ptr<AppendOnlyFile> history)
    : invocation_(std::move(invocation)),
      command_(std::move(command)),
      console_(console),
      history_(std::move(history)),
      facts_({{"host", QSysInfo::machineHostName().toStdString()},
              {"version", KORVANE_VERSION},
              {"command", invocation_.typed}}) {
    for (const auto& [name, value] :
         {std::pair{"file", command_.file}, {"fileSha256", command_.fileSha256}}) {
        if (!value.empty()) {
            facts_[name] = value;
        }
    }
}

Run::~Run() = default;

std::unique_ptr<std::ostream> Run::output(const std::string& path, bool errors) {
    std::ostream* target = errors ? &console_.err() : invocation_.json ? nullptr : &console_.out();
    if (target != nullptr && invocation_.all) {
        return std::make_unique<PrefixedOutput>(*target, path + ": ");
    }
    // The console's own stream, or nowhere.
    return std::make_unique<std::ostream>(target != nullptr ? target->rdbuf() : nullptr);
}

std::ostream& Run::questions() {
    return invocation_.json ? console_.err() : console_.out();
}

std::string Run::preamble(const std::string& controllers) const {
    return stringPrintf("%s will be erased and programmed with %s (software %02u).",
                        controllers.c_str(), command_.file.c_str(),
                        command_.fileSoftware.value_or(0));
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
    jobs_.push_back(command_.job(*this, ""));
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
    if (links.empty() && !invocation_.all) {
        const std::string why = whyNoneAnswered(failedProbes_);
        Job& job = *jobs_.front();
        job.err() << kNoController << '\n' << (why.empty() ? "" : why + "\n");
        job.finish(Result::failed, kNoController, unanswered());
        return;
    }
    if (links.empty() || links.size() < invocation_.expect) {
        // Checked before anything is written: a dead unit is noticed before the others change.
        endUnwritten(Result::failed,
                     links.empty() ? kNoController
                                   : "Only " + std::to_string(links.size()) + " of " +
                                         std::to_string(invocation_.expect) +
                                         " expected controllers answered (" + listPaths(links) +
                                         "); nothing was written",
                     pathsOf(links), true);
        return;
    }
    if (invocation_.all && !invocation_.json) {
        console_.out() << controllers(links.size()) << " answered: " << listPaths(links) << '\n';
    }
    if (!invocation_.all) {
        jobs_.front()->identify(*links.front());
    }
    if (command_.asks) {
        ask(std::move(links));
    } else {
        begin(std::move(links));
    }
}

void Run::ask(std::vector<std::unique_ptr<SimpleSerial>> links) {
    // What is about to happen, before the question that lets it happen.
    questions() << preamble(invocation_.all
                                ? controllers(links.size()) + " (" + listPaths(links) + ")"
                                : jobs_.front()->described())
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
            jobs_.front()->fail(kUpdateCancelled);
        }
    });
}

void Run::begin(std::vector<std::unique_ptr<SimpleSerial>> links) {
    stage_ = Stage::working;
    for (std::size_t i = 0; i < links.size(); ++i) {
        if (invocation_.all) {
            jobs_.push_back(command_.job(*this, links[i]->portPath()));
        }
        jobs_[i]->connect(std::move(links[i]));
    }
}

void Run::finished(Job& job) {
    // Kept as soon as it is known, before any controller's result is reported.
    nlohmann::json object = job.json();
    if (command_.changesSettings && !job.found.deviceId.empty()) {
        object["settingsBefore"] = settingsJson(job.foundSettings);
        // Only what was read back: a write the controller did not acknowledge leaves it unknown.
        if (const SimpleSerial* link = job.control().link();
            link != nullptr && link->settingsAsRead()) {
            object["settingsAfter"] = settingsJson(job.control().settings());
        }
    }
    keep(std::move(object));
    if (stage_ == Stage::ended || std::any_of(jobs_.begin(), jobs_.end(),
                                              [](const auto& each) { return !each->finished(); })) {
        return;
    }
    finish_(end(std::nullopt));
}

void Run::keep(nlohmann::json object) {
    if (!history_) {
        return;
    }
    object.update(facts_);
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
    if (const std::string why = sayWhy ? whyNoneAnswered(failedProbes_) : ""; !why.empty()) {
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
        jobs_.front()->fail(statement, {}, Result::interrupted);
        return end(signal);
    }
    for (const auto& job : jobs_) {
        if (!job->finished()) {
            job->interrupted();
        }
    }
    return end(signal);
}

int Run::end(std::optional<int> signal) {
    stage_ = Stage::ended;
    std::vector<Result> results;
    for (const auto& job : jobs_) {
        const Outcome& outcome = *job->outcome();
        results.push_back(outcome.result);
        if (invocation_.json) {
            const bool bare =
                command_.answersWithController && !invocation_.all && outcome.result == Result::ok;
            console_.out() << jsonLine(bare ? controllerJson(job->control()) : job->json()) << '\n';
        } else if (invocation_.all) {
            console_.out() << job->summary() << '\n';
        }
    }
    console_.out().flush();
    return exitStatus(results, signal);
}

int runCommandLine(const std::vector<std::string>& arguments, Console& console) {
    const bool json = std::find(arguments.begin(), arguments.end(), "--json") != arguments.end();
    Invocation invocation;
    Command command;
    std::unique_ptr<AppendOnlyFile> history;
    try {
        invocation = parseCommandLine(arguments);
        if (!invocation.answered.empty()) {
            console.out() << invocation.answered;
            return 0;
        }
        command = invocation.make(invocation);
        // Said before any port is touched: nobody would answer.
        if (command.asks && !console.canAsk()) {
            throw UsageError{"no terminal to confirm the update on: add --yes"};
        }
        if (!invocation.history.empty()) {
            // Opened now: a history that cannot be written is said before anything is sent.
            std::string problem;
            history = AppendOnlyFile::open(invocation.history, problem);
            if (!history) {
                throw InputError{"Could not append to the history " + invocation.history + ": " +
                                 problem};
            }
        }
    } catch (const UsageError& error) {
        return refuse(console, json, error.reason, true);
    } catch (const InputError& error) {
        return refuse(console, json, error.reason, false);
    }
    // Made on the run loop, and gone before it: its links' timers are the loop's.
    std::unique_ptr<Run> run;
    return console.run(
        invocation.frontEnd,
        [&](Console::Finish finish) {
            if (command.alone) {
                finish(command.alone(console, invocation.json));
                return;
            }
            run = std::make_unique<Run>(invocation, command, console, std::move(history));
            run->start(std::move(finish));
        },
        [&](int signal) { return run ? run->interrupted(signal) : 128 + signal; },
        [&] { run.reset(); });
}

}  // namespace korvane
