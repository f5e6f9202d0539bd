#pragma once

#include <functional>
#include <optional>
#include <string>

#include "app/MainViewControl.h"
#include "app/SettingsFile.h"
#include "util/RegularFile.h"

namespace korvane {

// Keeping the settings in a file and putting them back, for every front end: the set status
// says how it went, also when the settings cannot be read or written now (a write or an update
// runs), and why; what differs (where the text goes, who answers a doubt) is handed in.

// Writes a settings file's text whole; empty when written, otherwise why not.
using SettingsWriter = std::function<std::string(const std::string& text)>;
// The settings saved, or none with why not.
using SaveDone =
    std::function<void(const std::optional<SavedSettings>& saved, const std::string& problem)>;

// Saves what the controller holds to `path`, reading the record again first when a write left it
// uncertain.
void saveSettings(MainViewControl& control, const std::string& path, const SettingsWriter& write,
                  SaveDone done = nullptr);

// What a user should know about a file before anything of it is written.
struct LoadDoubts {
    std::string path;
    // The file's device id, when it is not the controller's (`heldDevice`).
    std::optional<std::string> otherDevice;
    std::string heldDevice;
    // A speed limit the list cannot show.
    std::optional<int> unofferedMph;

    // "bike.json holds the settings of device BEEF, not of this controller (1234), and a speed
    // limit of 45 mph, which the speed list cannot show (1 to 30). Load them anyway?"
    std::string question() const;
};
// Answers whether to load a file all the same, later.
using ConfirmDoubts = std::function<void(const LoadDoubts& doubts, std::function<void(bool)>)>;

// Puts back the settings the file at `path` holds (its content as read). A file of another
// device, or with a speed the list cannot show, is put to `confirm` first; nothing is written on
// no.
void loadSettings(MainViewControl& control, const std::string& path, const FileContent& content,
                  const ConfirmDoubts& confirm);
// The window's way to confirm: a question with Load and Cancel.
ConfirmDoubts askInAlert(MainViewControl& control);
// Loads the settings file at `path`, its doubts asked in an alert.
void loadSettingsFile(MainViewControl& control, const std::string& path);

// A file panel's answer, used only for the link the panel was opened for: a file picked after that
// link has gone is for no controller, and the loss's alert has said so.
OpenPanelCompletion forItsLink(MainViewControl& control,
                               std::function<void(MainViewControl&, const std::string&)> use);

}  // namespace korvane
