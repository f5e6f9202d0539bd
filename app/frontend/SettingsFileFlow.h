#pragma once

#include <string>

#include "app/MainView.h"
#include "app/MainViewControl.h"

namespace korvane {

// What the window does once the user has picked a settings file: the set status says how it went,
// also when the settings cannot be read or written now (a write or an update runs), and why.

// Saves what the controller holds to `path`, reading the record again first when a write left it
// uncertain. The file panel has asked before replacing a file.
void saveSettingsTo(MainViewControl& control, const std::string& path);

// Puts back the settings the file at `path` holds. A file of another device, or with a speed the
// list cannot show, is asked about in an alert on `view` first; nothing is written on Cancel.
void loadSettingsFrom(MainViewControl& control, MainView& view, const std::string& path);

}  // namespace korvane
