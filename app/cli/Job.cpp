#include "app/cli/Job.h"

#include <QCryptographicHash>
#include <algorithm>

#include "app/SettingsFile.h"
#include "app/TimeLeft.h"
#include "app/cli/Run.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

constexpr std::size_t kBarWidth = 30;

// Seconds to the millisecond; whole ones without a fraction.
nlohmann::json seconds(Duration duration) {
    const auto milliseconds =
        std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
    if (milliseconds % 1000 == 0) {
        return milliseconds / 1000;
    }
    return static_cast<double>(milliseconds) / 1000.0;
}

}  // namespace

CheckedFirmwareFile fitFirmwareFile(const std::string& path) {
    CheckedFirmwareFile checked = checkFirmwareFile(path);
    if (!checked.file) {
        throw InputError{"Invalid firmware file\n" + path + ": " + checked.problem};
    }
    return checked;
}

std::string sha256Hex(ByteView bytes) {
    return QCryptographicHash::hash(
               QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string jsonLine(const nlohmann::json& object) {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json controllerJson(const MainViewControl& control) {
    const SimpleSerial& link = *control.link();
    nlohmann::json object = settingsJson(control.settings());
    object.update({{"port", link.portPath()},
                   {"bootloader", link.identity.bootloader},
                   {"deviceId", link.identity.deviceId},
                   {"software", link.identity.software.value_or(0)}});
    return object;
}

Job::Job(Run& run, std::string path)
    : run_(run),
      path_(std::move(path)),
      out_(run.output(path_, false)),
      err_(run.output(path_, true)),
      control_(MainViewControl::create(*this)),
      startedAt_(RunLoop::current().now()) {
    control_->setSpeedPopup(&speeds_);
    control_->setFastTransfers(run.invocation().frontEnd.fast);
    control_->viewDidLoad();
}

Job::~Job() {
    // The controller goes first: its link may still report to this window on the way out.
    control_.reset();
}

void Job::identify(const SimpleSerial& link) {
    path_ = link.portPath();
    found = link.identity;
}

void Job::connect(std::unique_ptr<SimpleSerial> link) {
    identify(*link);
    control_->connectTo(std::move(link));
    foundSettings = control_->settings();
    scheduleStep();
}

void Job::finish(Result result, std::string reason,
                 std::optional<std::vector<std::string>> unanswered) {
    if (finished()) {
        return;
    }
    outcome_ = Outcome{result, std::move(reason), std::move(unanswered)};
    finishedAt_ = RunLoop::current().now();
    out().flush();
    run_.finished(*this);
}

void Job::fail(const std::string& reason, const std::string& preface, Result result) {
    endBar();
    err() << (preface.empty() ? "" : preface + "\n") << reason << '\n';
    finish(result, reason);
}

void Job::succeed(const std::string& done) {
    endBar();
    out() << done << '\n';
    finish(Result::ok);
}

void Job::interrupted() {
    const Interruption left = interruption();
    endBar();
    if (!left.statement.empty()) {
        err() << left.statement << '\n';
    }
    finish(left.done ? Result::ok : Result::interrupted, left.statement);
}

Interruption Job::interruption() {
    if (!control_->isEnabled()) {
        return {
            "Interrupted while a setting was written: the controller may not hold it; run "
            "korvane-cli info to see"};
    }
    return {};
}

std::ostream& Job::questions() {
    return run_.invocation().all ? out() : run_.questions();
}

Duration Job::took() const {
    return (finished() ? finishedAt_ : RunLoop::current().now()) - startedAt_;
}

std::string Job::described() const {
    return stringPrintf("The controller on %s (software %02u)", path_.c_str(),
                        found.software.value_or(0));
}

nlohmann::json Job::json() const {
    nlohmann::json object = nlohmann::json::object();
    if (control_->link() != nullptr && describesSettings()) {
        object = controllerJson(*control_);
    } else if (!found.deviceId.empty()) {
        object = {{"port", path_},
                  {"bootloader", found.bootloader},
                  {"deviceId", found.deviceId},
                  {"software", found.software.value_or(0)}};
    }
    describe(object);
    static const char* const kResults[] = {"ok", "failed", "notBack", "interrupted"};
    object["result"] = kResults[static_cast<int>(outcome_->result)];
    if (outcome_->result != Result::ok) {
        object["reason"] = outcome_->reason;
    }
    if (outcome_->unanswered) {
        object["unanswered"] = *outcome_->unanswered;
    }
    object["seconds"] = seconds(took());
    return object;
}

std::string Job::summary() const {
    std::string software = stringPrintf("software %02u", found.software.value_or(0));
    if (const auto file = run_.command().fileSoftware) {
        software += stringPrintf(", file's software %02u", *file);
    }
    if (back) {
        software += stringPrintf(", back with software %02u", back->software.value_or(0));
    }
    // One line for each controller, whatever the reason's lines.
    std::string reason = outcome_->reason;
    std::replace(reason.begin(), reason.end(), '\n', ' ');
    static const char* const kResults[] = {"ok", "failed: ", "not back: ", "interrupted: "};
    return "Summary: " + path_ + ", device " + found.deviceId + ", " + software + ", " +
           kResults[static_cast<int>(outcome_->result)] +
           (outcome_->result == Result::ok ? "" : reason) + ", " +
           stringPrintf("%.2f s", std::chrono::duration<double>(took()).count());
}

void Job::progress(std::string_view stage, std::uint64_t done, std::uint64_t total,
                   const char* verb) {
    if (stage == lastStage_ && done == lastDone_) {
        return;
    }
    lastStage_ = stage;
    lastDone_ = done;
    const Duration now = RunLoop::current().now();
    const bool shown = verb != nullptr && total > 0;
    if (shown && !firstRecordAt_) {
        firstRecordAt_ = now;
    }
    const Duration elapsed = now - firstRecordAt_.value_or(now);
    const std::optional<Duration> left = timeLeft(done, total, elapsed);
    const int percent = shown ? static_cast<int>(done * 100 / total) : 0;
    // Once there is a rate to go by; the last line, with nothing left, keeps the time it took.
    timed_ = timed_ || left;
    const std::string times = (timed_ ? ", " + clockText(elapsed) + " elapsed" : "") +
                              (left ? ", " + clockText(*left) + " left" : "");
    // A bar redraws its line: only on a terminal this controller has to itself.
    const bool bar = run_.console().outputIsTerminal() && !run_.invocation().all;
    if (shown && bar && (percent != lastPercent_ || done == total)) {
        lastPercent_ = percent;
        const auto filled = static_cast<std::size_t>(done * kBarWidth / total);
        out() << '\r' << '[' << std::string(filled, '#') << std::string(kBarWidth - filled, '.')
              << "] " << percent << "%  " << done << '/' << total << " records" << times << "   "
              << std::flush;
        barDrawn_ = true;
    } else if (shown && !bar && percent / 10 != lastTenth_) {
        lastTenth_ = percent / 10;
        out() << verb << ' ' << done << " of " << total << " records (" << percent << "%)" << times
              << '\n'
              << std::flush;
    }
    if (!run_.invocation().json) {
        return;
    }
    nlohmann::ordered_json event = {{"event", "progress"}, {"port", path_},
                                    {"stage", stage},      {"record", done},
                                    {"records", total},    {"elapsedSeconds", seconds(took())}};
    if (left) {
        event["leftSeconds"] = std::chrono::duration_cast<std::chrono::seconds>(*left).count();
    }
    run_.console().out() << event.dump() << '\n' << std::flush;
}

void Job::endBar() {
    if (barDrawn_) {
        out() << '\n';
        barDrawn_ = false;
    }
}

void Job::propertyChanged(Property) {
    scheduleStep();
}

void Job::showAlert(const std::string& message, const std::vector<std::string>& buttons,
                    AlertCompletion completion) {
    if (buttons.size() > 1) {
        question(message, [completion = std::move(completion)](bool yes) {
            completion(yes ? kAlertFirstButtonReturn : kAlertFirstButtonReturn + 1);
        });
        return;
    }
    // A notice is left open: the command ends before anything would close it.
    notices_.emplace_back(control_->notice(), message);
    scheduleStep();
}

void Job::scheduleStep() {
    // Coalesced and deferred: the controller is still in the middle of its change.
    if (stepScheduled_ || finished()) {
        return;
    }
    stepScheduled_ = true;
    timers_.schedule(Duration{0}, [this] {
        stepScheduled_ = false;
        advance();
    });
}

void Job::advance() {
    while (!finished() && !notices_.empty()) {
        const auto [kind, text] = notices_.front();
        notices_.pop_front();
        if (!notice(kind)) {
            fail(text);
        }
    }
    if (finished()) {
        return;
    }
    if (started_) {
        step();
    } else if (control_->isConnected() && control_->isEnabled()) {
        started_ = true;
        start();
        scheduleStep();
    }
}

}  // namespace korvane
