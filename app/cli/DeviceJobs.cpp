// The commands that read or change the controller's settings, or restart it.
#include <ostream>

#include "app/SettingsFileFlow.h"
#include "app/cli/Commands.h"
#include "app/cli/Member.h"
#include "app/cli/Report.h"
#include "app/cli/Run.h"
#include "app/frontend/WholeFile.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

class Info final : public Job {
public:
    void start(Member& member) override {
        const MainViewControl& control = member.control();
        const Settings settings = control.settings();
        member.out() << control.connectStatus() << '\n'
                     << "Port: " << control.link()->portPath() << '\n'
                     << "Automatic mode: " << (settings.autoMode ? "on" : "off") << '\n'
                     << "Configuration: " << settings.config << '\n'
                     << "Speed limit: " << settings.speedLimitMph << " mph\n";
        member.finish(Result::ok);
    }
};

class Set final : public Job {
public:
    explicit Set(SetOptions options) : options_(options) {}

    void start(Member& member) override {
        MainViewControl& control = member.control();
        switch (options_.setting) {
            case Setting::autoMode:
                control.setIsAuto(options_.value);
                break;
            case Setting::config:
                control.setConfig(options_.value - 1);
                break;
            case Setting::speedLimit:
                // Chosen in the speed list, as in the window: the same conversion to mph.
                control.setIsKmh(options_.kmh ? 1 : 0);
                member.speeds().selectItemWithTitle(std::to_string(options_.value));
                control.onSpeed(member.speeds());
                break;
        }
        if (control.isEnabled()) {
            // Nothing was sent: the controller holds the value already.
            member.succeed(
                korvane::describe({RestoreLine::Kind::already, options_.setting, options_.value}));
        }
    }

    void step(Member& member) override {
        const MainViewControl& control = member.control();
        const std::optional<WriteEnd>& write = control.lastWrite();
        if (!control.isEnabled() || !write) {
            return;
        }
        if (!write->held) {
            member.fail(korvane::describe({RestoreLine::Kind::refused, write->setting}));
            return;
        }
        member.out() << korvane::describe({RestoreLine::Kind::updated, write->setting}) << '\n';
        if (options_.setting == Setting::speedLimit) {
            // What the controller holds now, which a speed in km/h only comes close to.
            member.out() << "Speed Limit set to " << control.settings().speedLimitMph << " mph"
                         << (options_.kmh ? stringPrintf(" (%d km/h)", control.getDeviceSpeed())
                                          : "")
                         << '\n';
        }
        member.finish(Result::ok);
    }

private:
    SetOptions options_;
};

class Reset final : public Job {
public:
    void start(Member& member) override { member.control().resetDevice(); }
    bool notice(Member& member, Notice notice) override {
        if (notice == Notice::rebooting) {
            member.succeed(kRestarted);
        }
        // A restarting device leaves the bus: its port closes. Before the reset, a loss is one.
        const bool resetSent = member.control().updateStage() == UpdateStage::restarting;
        return notice == Notice::rebooting || (notice == Notice::deviceLost && resetSent);
    }
    // Once sent, the reset is done: the controller restarts whatever happens here.
    Interruption interruption(Member& member) override {
        if (member.control().updateStage() == UpdateStage::restarting) {
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
    explicit Save(SettingsOptions options) : options_(std::move(options)) {}
    void start(Member& member) override {
        saveSettings(
            member.control(), options_.file,
            [this](const std::string& text) {
                return writeWholeFile(options_.file, text, options_.force);
            },
            [this, &member](const std::optional<SavedSettings>& saved, const std::string& problem) {
                if (!saved) {
                    member.fail(couldNotSave(options_.file, problem));
                    return;
                }
                member.succeed("Settings of " + saved->deviceId + " saved to " + options_.file);
            });
    }

private:
    SettingsOptions options_;
};

class Load final : public Job {
public:
    Load(SettingsOptions options, FileContent content)
        : options_(std::move(options)), content_(std::move(content)) {}

    void start(Member& member) override {
        loadSettings(member.control(), options_.file, content_,
                     [this, &member](const LoadDoubts& doubts, std::function<void(bool)> answer) {
                         if (!options_.force) {
                             // Without --force only another device's file comes here: a speed
                             // the list cannot show was refused before the search.
                             member.fail(options_.file + " holds the settings of device " +
                                         doubts.otherDevice.value_or("") +
                                         ", not of this controller (" + doubts.heldDevice +
                                         "): add --force to load them anyway");
                         }
                         answer(options_.force);
                     });
        step(member);
    }

    // Says what the restore did and ends, once it is over.
    void step(Member& member) override {
        const MainViewControl& control = member.control();
        if (member.finished() || control.isRestoring()) {
            return;
        }
        for (const RestoreLine& line : control.restoreReport()) {
            const bool done =
                line.kind == RestoreLine::Kind::updated || line.kind == RestoreLine::Kind::already;
            (done ? member.out() : member.err()) << korvane::describe(line) << '\n';
        }
        if (control.restoreKept()) {
            member.succeed("Settings loaded");
        } else {
            member.fail("Settings not all loaded");
        }
    }

    Interruption interruption(Member& member) override {
        if (const std::string left = member.control().restoreProgress(); !left.empty()) {
            return {"Interrupted while the settings were loaded:\n" + left +
                    "\nRun korvane-cli info to see what the controller holds."};
        }
        return Job::interruption(member);
    }

private:
    SettingsOptions options_;
    FileContent content_;
};

template <typename Work, typename... Arguments>
Command commandOf(Arguments... arguments) {
    Command command;
    command.job = [arguments...] {
        return std::make_unique<Work>(arguments...);
    };
    return command;
}

}  // namespace

Command infoCommand() {
    return commandOf<Info>();
}

Command setCommand(const SetOptions& options) {
    Command command = commandOf<Set>(options);
    command.changesSettings = true;
    return command;
}

Command resetCommand() {
    return commandOf<Reset>();
}

Command settingsCommand(const SettingsOptions& options) {
    Command command;
    command.file = options.file;
    command.changesSettings = true;
    if (!options.load) {
        // Said before any port is touched.
        if (const std::string problem = notARegularFile(options.file); !problem.empty()) {
            throw InputError{couldNotSave(options.file, problem)};
        }
        if (const std::string folder = folderMissing(options.file); !folder.empty()) {
            throw InputError{couldNotSave(options.file, "there is no folder " + folder)};
        }
        if (!options.force && fileExists(options.file)) {
            throw InputError{options.file + " exists already: add --force to replace it"};
        }
        command.job = [options] {
            return std::make_unique<Save>(options);
        };
        return command;
    }
    // The whole file is checked before any port is touched; the file is read once.
    FileContent content = settingsFileContent(options.file);
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
    command.fileSha256 = sha256Hex(content.bytes);
    command.job = [options, content] {
        return std::make_unique<Load>(options, content);
    };
    return command;
}

}  // namespace korvane
