#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Control.h"
#include "app/MainView.h"
#include "app/Outcomes.h"
#include "app/SpeedPopup.h"
#include "firmware/FirmwareFile.h"
#include "platform/TimerGroup.h"
#include "serial/SimpleSerial.h"

namespace korvane {

// One setter of the link, called with the link, the value and the completion.
using SettingSetter = std::function<void(SimpleSerial&, int, ResultBlock)>;

// How long after the reset the user is told that the device is rebooting.
inline constexpr Duration kRebootNoticeDelay{1000};

// The controller of the window: it holds the link with the device and the firmware lines of a
// confirmed file, and offers observable properties from which the window draws everything it
// shows. Every setter announces its property, also when the value stays the same.
class MainViewControl : public std::enable_shared_from_this<MainViewControl> {
public:
    // Completions that outlive the controller find it gone and do nothing.
    static std::shared_ptr<MainViewControl> create(MainView& view);
    MainViewControl(const MainViewControl&) = delete;
    MainViewControl& operator=(const MainViewControl&) = delete;

    // The view's life cycle.
    void viewDidLoad();
    void viewDidDisappear();

    // Actions of the window.
    void onConnect();
    void onDisconnect();
    void onSpeed(SpeedPopup& sender);

    void connect();
    // Takes a link that a search has found already, as if Connect had found it.
    void connectTo(std::unique_ptr<SimpleSerial> link);
    void resetGUI();

    // Fast transfers: each wait ends as soon as its reply is complete. Taken by the next connect.
    bool fastTransfers() const { return fastTransfers_; }
    void setFastTransfers(bool fast) { fastTransfers_ = fast; }
    void showAlertAndResetGui(const std::string& message, Notice kind = Notice::none);

    // What the window offers now. One exchange at a time: no settings change while one is
    // written or while the firmware is replaced, no update while a setting is written or another
    // update runs; an update ends by itself, so it cannot be disconnected.
    bool canDisconnect() const { return _isConnected && !_isUpdateRunning; }
    // Nothing new starts on a device that is gone, while its alert waits for OK.
    bool canChooseFile() const {
        return _isConnected && _isEnabled && !_isUpdateRunning && !deviceGone_;
    }
    bool canEditSettings() const { return canChooseFile() && !_isUpdatingFirmware; }

    // Settings, as the window shows them.
    int isAuto() const;
    void setIsAuto(int value);
    int config() const;
    void setConfig(int index);
    int isKmh() const { return _isKmh; }
    void setIsKmh(int value);
    int getDeviceSpeed() const;
    void showGUI();
    void updatePort(const SettingSetter& setter, Setting setting, int value);
    // The three settings as the link holds them.
    Settings settings() const;

    // Makes sure the link's settings are what the controller holds, reading the record again
    // after a write that left it uncertain; `done` hears whether they are. Only while the
    // settings may be edited; the caller sets the status that follows.
    void readHeldSettings(std::function<void(bool read)> done);

    // Puts back saved settings: the automatic mode (0 or 1), the configuration choice (0 to 2)
    // and the speed limit in mph (0 to 255), one write after the other, each read back; a value
    // the device holds already is not written (the record is read first when a write left it
    // uncertain). Ends with the set status "Settings loaded" or "Settings not all loaded", and a
    // line per setting in `restoreReport`.
    void restoreSettings(const Settings& saved);
    bool isRestoring() const { return !restoreSteps_.empty() || restoreRunning_; }
    const std::vector<RestoreLine>& restoreReport() const { return restoreReport_; }
    // The last restore that ended left every setting as asked.
    bool restoreKept() const { return restoreKept_; }
    // How far a restore that ends now got, a line each: the report so far, the setting being
    // written, and those not written; empty when none runs.
    std::string restoreProgress() const;
    // What a write that ends now without its answer leaves: "Auto was being written: the
    // controller may not hold it"; empty when none runs.
    std::string unconfirmedWrite() const;

    // Firmware update: choose a file, confirm, erase, program record by record, restart.
    void onChooseFile(Control& sender);
    void chooseFile(Control& sender);
    void loadDataFile(ByteView data);
    // The same for a file read and checked already: asks the update question.
    void loadFirmware(FirmwareFile file);
    void updateFirmware();
    void updateFirmware2();
    void writeFirstFirmwareLine();
    void finishUpdateFirmware();
    // Outside an update, a reset the port does not take changes nothing, and false says so; an
    // update goes on to its restart whatever the port did.
    bool resetDevice();

    // Asks the device for the word sum of a program-memory range: one Verify request, nothing
    // else. `done` gets the sum, or none when no whole answer came. Only on a ready link nothing
    // else is using; otherwise false, and nothing is sent.
    bool readProgramSum(std::uint16_t address, std::uint16_t length, SumBlock done);

    int maxSpeed() const { return _maxSpeed; }
    void setMaxSpeed(int value) { store(_maxSpeed, value, Property::maxSpeed); }
    SpeedPopup* speedPopup() const { return _speedPopup; }
    void setSpeedPopup(SpeedPopup* popup) { _speedPopup = popup; }
    bool canConnect() const { return _canConnect; }
    void setCanConnect(bool value) { store(_canConnect, value, Property::canConnect); }
    bool isConnected() const { return _isConnected; }
    void setIsConnected(bool value) { store(_isConnected, value, Property::isConnected); }
    const std::string& connectStatus() const { return _connectStatus; }
    void setConnectStatus(std::string value) {
        store(_connectStatus, std::move(value), Property::connectStatus);
    }
    bool isEnabled() const { return _isEnabled; }
    void setIsEnabled(bool value) { store(_isEnabled, value, Property::isEnabled); }
    const std::string& setStatus() const { return _setStatus; }
    void setSetStatus(std::string value) {
        store(_setStatus, std::move(value), Property::setStatus);
    }
    std::uint64_t maxFirmwareCount() const { return _maxFirmwareCount; }
    void setMaxFirmwareCount(std::uint64_t value) {
        store(_maxFirmwareCount, value, Property::maxFirmwareCount);
    }
    std::uint64_t currFirmwareCount() const { return _currFirmwareCount; }
    void setCurrFirmwareCount(std::uint64_t value) {
        store(_currFirmwareCount, value, Property::currFirmwareCount);
    }
    bool isUpdatingFirmware() const { return _isUpdatingFirmware; }
    void setIsUpdatingFirmware(bool value) {
        store(_isUpdatingFirmware, value, Property::isUpdatingFirmware);
    }
    const std::string& firmwareStatus() const { return _firmwareStatus; }
    void setFirmwareStatus(std::string value) {
        store(_firmwareStatus, std::move(value), Property::firmwareStatus);
    }
    bool isUpdateRunning() const { return _isUpdateRunning; }
    void setIsUpdateRunning(bool value) {
        store(_isUpdateRunning, value, Property::isUpdateRunning);
    }
    const std::string& firmwareDetail() const { return _firmwareDetail; }
    void setFirmwareDetail(std::string value);
    const std::string& connectDetail() const { return _connectDetail; }
    void setConnectDetail(std::string value) {
        store(_connectDetail, std::move(value), Property::connectDetail);
    }

    // What happened, as values announced like the other properties: the last settings write that
    // ended, how the last update ended (none while one runs), the kind of the alert shown last.
    const std::optional<WriteEnd>& lastWrite() const { return lastWrite_; }
    const std::optional<UpdateEnd>& updateEnd() const { return updateEnd_; }
    Notice notice() const { return notice_; }
    // Shows an alert of that kind: a question with two buttons, or a notice with OK.
    void showNotice(Notice kind, const std::string& message,
                    const std::vector<std::string>& buttons, AlertCompletion completion);

    UpdateStage updateStage() const { return updateStage_; }
    // What an update that ends now leaves in the controller and what to do, or empty when no
    // update has left it without complete firmware.
    std::string interruptionStatement() const;

    // The ports the last search probed in vain, and why.
    const std::vector<PortProbe>& failedProbes() const { return failedProbes_; }

    // The link held, or none.
    const SimpleSerial* link() const { return port.get(); }
    // The link held, as a number no other link of this controller has; 0 with none, or with one
    // whose device is gone. A file panel's or a question's answer is for the link it was asked for.
    std::uint64_t linkNumber() const { return port && !deviceGone_ ? connects_ : 0; }
    // The lines of the confirmed file not yet programmed.
    const std::deque<std::string>& firmwareLines() const { return firmware; }
    // The confirmed file's records of a kind finished so far.
    std::size_t firmwareRecordsFinished(RecordKind kind) const;

private:
    explicit MainViewControl(MainView& view) : view_(view) {}

    void connected(std::unique_ptr<SimpleSerial> link);
    bool hasReadyLink() const { return port && port->deviceReady; }
    // Settings may be written: a ready link that no firmware update is using.
    // Never during a reset: the window is being cleared, and the link is about to go.
    bool canWriteSettings() const {
        return hasReadyLink() && !_isUpdateRunning && !resetting_ && !deviceGone_;
    }
    void recordWritten(bool success);
    // The update is over: how it ended.
    void endUpdate(UpdateEnd::Kind kind, RecordOrigin failed = {});
    void deviceLost();
    // An alert whose answer resets the window, unless a connect started after `connectsSoFar`:
    // the window belongs to that one then. A statement is shown once the window is reset.
    void showAlertThenReset(Notice kind, const std::string& message, std::uint64_t connectsSoFar,
                            const std::string& statement = {},
                            const std::string& settingsStatement = {});
    // Selects the device's speed in the speed list, in the unit shown.
    void selectDeviceSpeed();
    // Shows the settings as the link holds them, without writing anything: showGUI could.
    void announceSettings();
    // Takes the restore's steps once the record is known to be the controller's.
    void startRestore(const Settings& saved);
    // Starts the restore's next write, or ends it.
    void continueRestore();
    template <typename T>
    void store(T& storage, T value, Property property) {
        storage = std::move(value);
        view_.propertyChanged(property);
    }

    std::unique_ptr<SimpleSerial> port;
    std::deque<std::string> firmware;
    // Where each line of the confirmed file came from, for naming a failed record.
    std::vector<RecordOrigin> firmwareOrigins_;
    // Why each port of the search under way found no controller.
    std::vector<PortProbe> failedProbes_;
    UpdateStage updateStage_ = UpdateStage::none;
    // Connects started so far, and firmware details shown.
    std::uint64_t connects_ = 0;
    std::uint64_t detailsShown_ = 0;
    bool resetting_ = false;
    // The port closed under the link; the alert saying so waits for OK.
    bool deviceGone_ = false;
    // The restore's writes still to start, each with the value it says is held when nothing
    // needs writing.
    struct RestoreStep {
        Setting setting;
        std::function<void()> write;
        int value;
    };
    std::deque<RestoreStep> restoreSteps_;
    bool restoreRunning_ = false;
    // The setting being written now, if any.
    std::optional<Setting> writing_;
    std::vector<RestoreLine> restoreReport_;
    bool restoreKept_ = false;
    std::optional<WriteEnd> lastWrite_;
    std::optional<UpdateEnd> updateEnd_;
    Notice notice_ = Notice::none;
    bool fastTransfers_ = false;

    int _maxSpeed = 0;
    int _isKmh = 0;
    SpeedPopup* _speedPopup = nullptr;
    bool _canConnect = false;
    bool _isConnected = false;
    std::string _connectStatus;
    bool _isEnabled = false;
    std::string _setStatus;
    std::uint64_t _maxFirmwareCount = 0;
    std::uint64_t _currFirmwareCount = 0;
    bool _isUpdatingFirmware = false;
    std::string _firmwareStatus;
    bool _isUpdateRunning = false;
    std::string _firmwareDetail;
    std::string _connectDetail;

    MainView& view_;
    TimerGroup timers_;
};

}  // namespace korvane
