#pragma once

#include <cstdint>
#include <string>

#include "app/Texts.h"
#include "firmware/FirmwareFile.h"

namespace korvane {

// What happened, as values: the controller reports them beside the texts the window shows, and
// a front end decides by them.

// Where a running firmware update stands. From the erase until the restart the controller has no
// complete firmware; after a failed record the update is over (none).
enum class UpdateStage {
    none,
    erasing,
    programming,
    // Every record is written; the last Verify runs.
    verifying,
    // The reset is sent: the update is complete.
    restarting,
};

// The end of a setting's write: which setting, and whether the controller holds it (read back).
struct WriteEnd {
    Setting setting = Setting::autoMode;
    bool held = false;
};

// How a firmware update ended.
struct UpdateEnd {
    enum class Kind {
        // Every record written, the last Verify asked, the reset sent.
        complete,
        // The controller refused record `finished` + 1, from `failed`'s line and address.
        recordRefused,
        // The erase could not be sent: nothing reached the controller.
        eraseNotSent,
        // The device went away during `stage`, with `finished` of `total` records written.
        deviceLost,
    };
    Kind kind = Kind::complete;
    UpdateStage stage = UpdateStage::none;
    std::uint64_t finished = 0;
    std::uint64_t total = 0;
    RecordOrigin failed;
};

// The kind of the alert the controller shows last.
enum class Notice { none, deviceLost, rebooting, eraseNotSent, updateQuestion, loadQuestion };

// One line of a restore's report.
struct RestoreLine {
    enum class Kind { updated, already, refused, unread };
    Kind kind = Kind::updated;
    Setting setting = Setting::autoMode;
    // What the controller holds already: auto 0 or 1, the configuration 1 to 3, or mph.
    int value = 0;
};
// "Auto is updated", "Config is already 3", "Speed Limit is already 25 mph", "Could not set
// Auto", "Could not read the settings".
std::string describe(const RestoreLine& line);

}  // namespace korvane
