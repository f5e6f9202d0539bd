#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "app/Texts.h"
#include "app/frontend/FrontEndOptions.h"

namespace korvane {

struct Command;

// Wrong arguments: the reason, said with where to read more.
struct UsageError {
    std::string reason;
};

// Input that cannot be used (a firmware file that is not fit): the reason alone.
struct InputError {
    std::string reason;
};

// Each command's options, as the command line gives them.
struct SetOptions {
    Setting setting = Setting::autoMode;
    // auto: 0 or 1; config: 1 to 3; speed: in mph, or in km/h with `kmh`.
    int value = 0;
    bool kmh = false;
};
struct FlashOptions {
    std::string file;
    bool yes = false;
    // 0: the restarted controller is not waited for.
    int waitBackSeconds = 15;
};
// verify, check
struct FileOptions {
    std::string file;
};
struct SettingsOptions {
    std::string file;
    bool force = false;
};

// What the command line asks for.
struct Invocation {
    FrontEndOptions frontEnd;
    bool all = false;
    // With --all: fewer controllers answering than this, and nothing is written.
    std::size_t expect = 0;
    bool json = false;
    std::string history;
    SetOptions set;
    FlashOptions flash;
    FileOptions verify;
    FileOptions check;
    SettingsOptions settings;
    // Makes the command chosen from its options, its files read and checked; throws InputError.
    Command (*make)(const Invocation&) = nullptr;
    // The command's words as given, without the program's options: "flash fw.hex --yes".
    std::string typed;
    // Already answered (--help, --version): the text to print.
    std::string answered;
};

// Reads the arguments after the program's name (CLI11: every option bound once with its check,
// exclusions and help). Throws UsageError.
Invocation parseCommandLine(const std::vector<std::string>& arguments);

}  // namespace korvane
