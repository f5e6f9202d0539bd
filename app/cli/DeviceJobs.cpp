// The commands that read or change the controller's settings, or restart it.
#include <filesystem>
#include <ostream>

#include "app/SettingsFileFlow.h"
#include "app/cli/Job.h"
#include "app/frontend/WholeFile.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

class Info final : public Job {
public:
    using Job::Job;
    void start() override {
        const Settings settings = control().settings();
        out() << control().connectStatus() << '\n'
              << "Port: " << control().link()->portPath() << '\n'
              << "Automatic mode: " << (settings.autoMode ? "on" : "off") << '\n'
              << "Configuration: " << settings.config << '\n'
              << "Speed limit: " << settings.speedLimitMph << " mph\n";
        finish(Result::ok);
    }
};

class Set final : public Job {
public:
    Set(Run& run, const std::string& path, SetOptions options)
        : Job(run, path), options_(options) {}

    void start() override {
        switch (options_.setting) {
            case Setting::autoMode:
                control().setIsAuto(options_.value);
                break;
            case Setting::config:
                control().setConfig(options_.value - 1);
                break;
            case Setting::speedLimit:
                // Chosen in the speed list, as in the window: the same conversion to mph.
                control().setIsKmh(options_.kmh ? 1 : 0);
                speeds_.selectItemWithTitle(std::to_string(options_.value));
                control().onSpeed(speeds_);
                break;
        }
        if (control().isEnabled()) {
            // Nothing was sent: the controller holds the value already.
            succeed(
                korvane::describe({RestoreLine::Kind::already, options_.setting, options_.value}));
        }
    }

    void step() override {
        const std::optional<WriteEnd>& write = control().lastWrite();
        if (!control().isEnabled() || !write) {
            return;
        }
        if (!write->held) {
            fail(korvane::describe({RestoreLine::Kind::refused, write->setting}));
            return;
        }
        out() << korvane::describe({RestoreLine::Kind::updated, write->setting}) << '\n';
        if (options_.setting == Setting::speedLimit) {
            // What the controller holds now, which a speed in km/h only comes close to.
            out() << "Speed Limit set to " << control().settings().speedLimitMph << " mph"
                  << (options_.kmh ? stringPrintf(" (%d km/h)", control().getDeviceSpeed()) : "")
                  << '\n';
        }
        finish(Result::ok);
    }

private:
    SetOptions options_;
};

class Reset final : public Job {
public:
    using Job::Job;
    void start() override {
        if (!control().resetDevice()) {
            fail("Could not send the reset: the controller was not restarted");
        }
    }
    bool notice(Notice notice) override {
        if (notice == Notice::rebooting) {
            succeed(kRestarted);
        }
        // A restarting device leaves the bus: its port closes. Before the reset, a loss is one.
        const bool resetSent = control().updateStage() == UpdateStage::restarting;
        return notice == Notice::rebooting || (notice == Notice::deviceLost && resetSent);
    }
    // Once sent, the reset is done: the controller restarts whatever happens here.
    Interruption interruption() override {
        if (control().updateStage() == UpdateStage::restarting) {
            return {
                "The reset was sent: the controller is restarting.\nRun korvane-cli info "
                "again once it is back.",
                true};
        }
        return {"Interrupted before the reset was sent: nothing was changed"};
    }
};

class Save final : public Job {
public:
    Save(Run& run, const std::string& path, SettingsOptions options)
        : Job(run, path), options_(std::move(options)) {}
    void start() override {
        saveSettings(
            control(), options_.file,
            [this](const std::string& text) {
                return writeWholeFile(options_.file, text, options_.force);
            },
            [this](const std::optional<SavedSettings>& saved, const std::string& problem) {
                if (!saved) {
                    fail(couldNotSave(options_.file, problem));
                    return;
                }
                succeed("Settings of " + saved->deviceId + " saved to " + options_.file);
            });
    }

private:
    SettingsOptions options_;
};

class Load final : public Job {
public:
    Load(Run& run, const std::string& path, SettingsOptions options, FileContent content)
        : Job(run, path), options_(std::move(options)), content_(std::move(content)) {}

    void start() override {
        loadSettings(control(), options_.file, content_,
                     [this](const LoadDoubts& doubts, std::function<void(bool)> answer) {
                         if (!options_.force) {
                             // Without --force only another device's file comes here: a speed
                             // the list cannot show was refused before the search.
                             fail(options_.file + " holds the settings of device " +
                                  doubts.otherDevice.value_or("") + ", not of this controller (" +
                                  doubts.heldDevice + "): add --force to load them anyway");
                         }
                         answer(options_.force);
                     });
        step();
    }

    // Says what the restore did and ends, once it is over.
    void step() override {
        if (finished() || control().isRestoring()) {
            return;
        }
        for (const RestoreLine& line : control().restoreReport()) {
            const bool done =
                line.kind == RestoreLine::Kind::updated || line.kind == RestoreLine::Kind::already;
            (done ? out() : err()) << korvane::describe(line) << '\n';
        }
        if (control().restoreKept()) {
            succeed("Settings loaded");
        } else {
            fail("Settings not all loaded");
        }
    }

    Interruption interruption() override {
        if (const std::string left = control().restoreProgress(); !left.empty()) {
            return {"Interrupted while the settings were loaded:\n" + left +
                    "\nRun korvane-cli info to see what the controller holds."};
        }
        return Job::interruption();
    }

private:
    SettingsOptions options_;
    FileContent content_;
};

}  // namespace

Command infoCommand(const Invocation&) {
    Command command = commandOf<Info>();
    command.answersWithController = true;
    return command;
}

Command setCommand(const Invocation& invocation) {
    Command command = commandOf<Set>(invocation.set);
    command.changesSettings = true;
    return command;
}

Command resetCommand(const Invocation&) {
    return commandOf<Reset>();
}

Command saveCommand(const Invocation& invocation) {
    const SettingsOptions& options = invocation.settings;
    // Said before any port is touched.
    std::error_code unknown;
    const auto folder = std::filesystem::absolute(options.file, unknown).parent_path();
    if (const std::string problem = notARegularFile(options.file); !problem.empty()) {
        throw InputError{couldNotSave(options.file, problem)};
    }
    if (!std::filesystem::is_directory(folder, unknown)) {
        throw InputError{couldNotSave(options.file, "there is no folder " + folder.string())};
    }
    if (!options.force && std::filesystem::exists(options.file, unknown)) {
        throw InputError{options.file + " exists already: add --force to replace it"};
    }
    Command command = commandOf<Save>(options);
    command.file = options.file;
    command.changesSettings = true;
    return command;
}

Command loadCommand(const Invocation& invocation) {
    const SettingsOptions& options = invocation.settings;
    // The whole file is checked before any port is touched; the file is read once.
    const FileContent content = settingsFileContent(options.file);
    const SettingsFileReading reading = content.problem.empty()
                                            ? parseSettingsFile(content.bytes)
                                            : SettingsFileReading{std::nullopt, content.problem};
    if (!reading.settings) {
        throw InputError{"Invalid settings file\n" + options.file + ": " + reading.problem};
    }
    // A controller may have held it when the file was saved; put back only when asked to.
    if (const int mph = reading.settings->settings.speedLimitMph;
        !speedIsOffered(mph) && !options.force) {
        throw InputError{options.file + " holds a speed limit of " + std::to_string(mph) +
                         " mph, outside the 1 to 30 mph that can be chosen: add --force to load "
                         "it anyway"};
    }
    Command command = commandOf<Load>(options, content);
    command.file = options.file;
    command.fileSha256 = sha256Hex(content.bytes);
    command.changesSettings = true;
    return command;
}

}  // namespace korvane
