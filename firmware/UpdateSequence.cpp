// The firmware update, from the window: erase, program, verify, restart.
#include "app/MainViewControl.h"

namespace korvane {

void MainViewControl::resetDevice() {
    if (!port) {
        return;
    }
    port->sendReset();
    timers_.schedule(kRebootNoticeDelay, [this] {
        showAlertAndResetGui("The device is rebooting. Click Connect button to reconnect");
    });
}

}  // namespace korvane
