#!/usr/bin/env python3
"""A hand-made mutation check: small plausible errors put into the code one at a time, the test
suite run against each. A mutant that no test kills marks behaviour no test guards.

    scripts/mutants.py BUILD_DIR [NAME...]

BUILD_DIR is a configured build of this tree (it is rebuilt for every mutant and once more at the
end, with the code restored). The fast suites run first; the process suites only when those pass.

    scripts/mutants.py --who BUILD_DIR [NAME...]

runs every suite against every mutant (the process suites for the command line's mutants only)
and names the tests that fail, then, for each test, the mutants only it kills: a test that is the
only one to kill none is a candidate for merging.
"""
import json
import os
import re
import tempfile
import pathlib
import subprocess
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

# (name, layer, file, text, replacement): `text` must stand exactly once in `file`.
MUTANTS = [
    # Reply waiting and the link
    ("one poll too many", "core", "serial/ReplyWaiting.cpp", "if (budgetMs > 0 &&", "if (budgetMs >= 0 &&"),
    ("wait past the expected count", "core", "serial/ReplyWaiting.cpp", "received < expected", "received <= expected"),
    ("silence reported as a reply", "core", "serial/ReplyWaiting.cpp", "completion(!reply.empty(), reply);", "completion(true, reply);"),
    ("wait completes twice", "core", "serial/ReplyWaiting.cpp", "completion(!reply.empty(), reply);", "completion(!reply.empty(), reply); if (!reply.empty()) completion(true, reply);"),
    ("polls outlive their link", "core", "serial/ReplyWaiting.cpp", "timers.schedule(kPollInterval,", "RunLoop::current().schedule(kPollInterval,"),
    ("close reported as a loss", "core", "serial/SimpleSerial.cpp", "    portDelegate->setDelegate(nullptr);\n    serialPort->setDelegate(nullptr);\n", ""),
    # Fast transfers
    ("quiet gap not restarted", "core", "serial/ReplyWaiting.cpp", "wait_->number == wait && arrivals_ == arrivals", "wait_->number == wait"),
    ("fast waits only at polls", "core", "serial/ReplyWaiting.cpp", "    ++arrivals_;\n", "    ++arrivals_;\n    return;\n"),
    ("fast open waits its second", "core", "serial/Discovery.cpp", "if (mode_ == TransferMode::fast && portDelegate->isOpened()) {", "if (false) {"),
    ("fast ends one byte short", "core", "serial/ReplyWaiting.cpp", "portDelegate->dataLength() < wait_->fastEnd.length", "portDelegate->dataLength() + 1 < wait_->fastEnd.length"),
    # Discovery
    ("losing ports closed late", "core", "serial/Discovery.cpp", "std::exchange(search->links, {}).clear();", "RunLoop::current().schedule(Duration{5000}, [search] { search->links.clear(); });"),
    ("open checked early", "core", "serial/Discovery.cpp", "timers.schedule(kOpenCheckDelay,", "timers.schedule(kOpenCheckDelay / 2,"),
    ("no device reported twice", "core", "serial/Discovery.cpp", "        search->first(nullptr);\n    }", "        search->first(nullptr);\n    }\n    if (search->remaining == 0 && !result && !search->keepAll) search->first(nullptr);"),
    ("a port listed twice probed twice", "core", "serial/Discovery.cpp", "if (std::find(paths.begin(), paths.end(), port.path) == paths.end()) {", "if (true) {"),
    ("search for all ends at the first", "core", "serial/Discovery.cpp", "if (--search->remaining > 0) {", "if (--search->remaining > 0 && !result) {"),
    ("other answering ports unnamed", "core", "serial/Discovery.cpp", "if (!other->identityText.empty()) {", "if (false) {"),
    # Device operations
    ("long identify accepted", "core", "serial/SimpleSerial+Device.cpp", "reply.size() != kIdentifyReplyLength", "reply.size() < kIdentifyReplyLength"),
    ("long settings accepted", "core", "serial/SimpleSerial+Device.cpp", "reply.size() != kSettingsLength", "reply.size() < kSettingsLength"),
    ("wrong read header kept quiet", "core", "serial/SimpleSerial+Device.cpp", "settingsAsRead_ = frameIndex(settings.header) == kReadSettingsEntry;", "settingsAsRead_ = true;"),
    ("version appended again", "core", "serial/SimpleSerial+Device.cpp", "identityText = stringPrintf(\"Bootloader: %s, Device ID: %s, Soft: %02u\",", "identityText += stringPrintf(\", Bootloader: %s, Device ID: %s, Soft: %02u\","),
    ("write not read back", "core", "serial/SimpleSerial+Device.cpp", "                readSettings(done);\n                return;", "                done(true);\n                return;"),
    ("field not compared", "core", "serial/SimpleSerial+Device.cpp", "written && settings.*field != sent", "false"),
    # Firmware commands and records
    ("246 data bytes sent", "core", "serial/SimpleSerial+Firmware.cpp", "count > kMaxRecordData ||", "count > kMaxRecordData + 1 ||"),
    ("long acknowledgement accepted", "core", "serial/SimpleSerial+Firmware.cpp", "reply.size() == kWriteAcknowledgeLength", "reply.size() >= kWriteAcknowledgeLength"),
    ("any status acknowledges", "core", "serial/SimpleSerial+Firmware.cpp", "reply[kAcknowledgeStatus] == 1", "reply[kAcknowledgeStatus] != 0"),
    ("any verify sum accepted", "core", "serial/SimpleSerial+Firmware.cpp", "completion(sum == programFrame.recordSum);", "completion(sum != 0 || programFrame.recordSum == 0);"),
    ("erase does not wait", "core", "serial/SimpleSerial+Firmware.cpp", "    waitForReply([completion = std::move(completion)](bool, ByteView) { completion(true); },\n                 kFirmwareReplyBudgetMs, kUnreachableCount);", "    completion(true);"),
    ("eprom records verified", "core", "serial/SimpleSerial+Firmware.cpp", "if (programFrame.buffer[8] == kProgramRegion && programFrame.buffer[9] == 0) {", "if (true) {"),
    ("all regions written", "core", "protocol/ProgramFrame.cpp", "    if (!isWritableRegion(", "    if (false && !isWritableRegion("),
    ("word sum byte order", "core", "protocol/ProgramFrame.cpp", "i % 2 == 0 ? data[i] : data[i] << 8", "i % 2 == 1 ? data[i] : data[i] << 8"),
    # The firmware file
    ("246 data bytes in a file", "core", "firmware/FirmwareFile.cpp", "if (count > kMaxRecordData) {", "if (count > kMaxRecordData + 1) {"),
    ("last segment byte refused", "core", "firmware/FirmwareFile.cpp", "address + count > kSegmentSize", "address + count >= kSegmentSize"),
    ("checksum unchecked", "core", "firmware/FirmwareFile.cpp", "if ((sum & 0xFF) != 0) {", "if (false) {"),
    ("one-character lines read", "core", "firmware/FirmwareFile.cpp", "if (line.size() < 2) {", "if (line.size() < 1) {"),
    ("skipped records uncounted", "core", "firmware/FirmwareFile.cpp", "            ++file.skippedRecords;\n", ""),
    ("version from the first record", "core", "firmware/FirmwareFile.cpp", "hexToBytes(std::string_view(file.lines.back()).substr(1))[4]", "hexToBytes(std::string_view(file.lines.front()).substr(1))[4]"),
    # The controller
    ("reset leaves Connect off", "core", "app/MainViewControl.cpp", "    writing_.reset();\n    setCanConnect(true);", "    writing_.reset();"),
    ("loss not watched", "core", "app/MainViewControl.cpp", "            control->deviceLost();", "            (void)control;"),
    ("late notice resets a search", "core", "app/MainViewControl.cpp", "control->connects_ != connectsSoFar", "false"),
    ("reset may write", "core", "app/MainViewControl.h", "!_isUpdateRunning && !resetting_ && !deviceGone_;", "!_isUpdateRunning && !deviceGone_;"),
    ("disconnect during an update", "core", "app/MainViewControl.h", "bool canDisconnect() const { return _isConnected && !_isUpdateRunning; }", "bool canDisconnect() const { return _isConnected; }"),
    ("file chosen during a write", "core", "app/MainViewControl.h", "return _isConnected && _isEnabled && !_isUpdateRunning && !deviceGone_;", "return _isConnected && !_isUpdateRunning && !deviceGone_;"),
    ("settings during an update", "core", "app/MainViewControl.h", "return canChooseFile() && !_isUpdatingFirmware;", "return canChooseFile();"),
    ("write never ends", "core", "app/MainViewControl+Settings.cpp", "    setter(*port, value, [this, setting, name](bool success) {\n        setIsEnabled(true);", "    setter(*port, value, [this, setting, name](bool success) {"),
    ("config written when unchanged", "core", "app/MainViewControl+Settings.cpp", "if (port->settings.configMode != mode) {", "if (true) {"),
    ("km/h truncated", "core", "app/MainViewControl+Settings.cpp", "std::lround(chosen * kMphPerKmh)", "std::trunc(chosen * kMphPerKmh)"),
    ("speed above 30 mph", "core", "app/MainViewControl+Settings.cpp", "std::min(mph, kMaxSpeedMph)", "mph"),
    ("refused write shown as chosen", "core", "app/MainViewControl+Settings.cpp", "    view_.propertyChanged(Property::isAuto);\n    view_.propertyChanged(Property::config);\n", "    view_.propertyChanged(Property::isAuto);\n"),
    ("update after a failed record stays running", "core", "app/MainViewControl+Firmware.cpp", "    // The user may choose a file again; the unprogrammed lines stay until then.\n    setIsUpdateRunning(false);", ""),
    ("update with a write in flight", "core", "app/MainViewControl+Firmware.cpp", ": !_isEnabled      ?", ": false            ?"),
    ("second update over the first", "core", "app/MainViewControl+Firmware.cpp", "    if (_isUpdateRunning) {\n        return;\n    }\n    FirmwareFileReading", "    FirmwareFileReading"),
    ("failed record counted as done", "core", "app/MainViewControl+Firmware.cpp", "const std::uint64_t failed = currFirmwareCount();", "const std::uint64_t failed = currFirmwareCount() + 1;"),
    ("interruption one record late", "core", "app/MainViewControl+Firmware.cpp", "const auto done = static_cast<unsigned long long>(currFirmwareCount());", "const auto done = static_cast<unsigned long long>(currFirmwareCount() + 1);"),
    ("reboot notice at once", "core", "app/MainViewControl.h", "kRebootNoticeDelay{1000}", "kRebootNoticeDelay{0}"),
    ("reset before the last verify", "core", "app/MainViewControl+Firmware.cpp", "port->verifyRecord([this](bool) { resetDevice(); });", "resetDevice();"),
    # Time left
    ("time left from the start", "core", "app/TimeLeft.cpp", "kSettleTime{2000}", "kSettleTime{0}"),
    ("time left rounded down", "core", "app/TimeLeft.cpp", "std::chrono::ceil<std::chrono::seconds>(left)", "std::chrono::floor<std::chrono::seconds>(left)"),
    # The command line
    ("failed write exits 0", "cli", "app/cli/DeviceJobs.cpp", "fail(korvane::describe({RestoreLine::Kind::refused, write->setting}));", "succeed(korvane::describe({RestoreLine::Kind::refused, write->setting}));"),
    ("failed flash exits 0", "cli", "app/cli/FlashJob.cpp", "fail(control().firmwareDetail(), kCouldNotUpdate);", "finish(Result::ok);"),
    ("no controller exits 0", "cli", "app/cli/Run.cpp", "job.finish(Result::failed, kNoController, unanswered());", "job.finish(Result::ok, kNoController, unanswered());"),
    ("signal status off by one", "cli", "app/cli/Run.cpp", "return 128 + *signal;", "return 127 + *signal;"),
    ("speed 30 refused", "cli", "app/cli/CommandLine.cpp", "set.value > highest", "set.value >= highest"),
    ("speed 0 taken", "cli", "app/cli/CommandLine.cpp", "set.value < kLowestSpeed ||", "set.value < kLowestSpeed - 1 ||"),
    ("loss before restart taken as success", "cli", "app/cli/FlashJob.cpp", "return control().updateStage() == UpdateStage::restarting;", "return true;"),
    ("broken pipe ends the update", "cli", "app/cli/Terminal.cpp", "    ignoreBrokenPipes();\n", ""),
    ("cancel at the question unsaid", "cli", "app/cli/Run.cpp", "was == Stage::searching ? kInterruptedSearch : kUpdateCancelled", "kInterruptedSearch"),
    ("skipped records unsaid", "cli", "app/cli/FlashJob.cpp", "            out() << skipped << '\\n';\n", ""),
    ("update answered no exits 0", "cli", "app/cli/Run.cpp", "jobs_.front()->fail(kUpdateCancelled);", "jobs_.front()->finish(Result::ok);"),
    ("failure ok in JSON", "cli", "app/cli/Job.cpp", "object[\"result\"] = kResults[static_cast<int>(outcome_->result)];", "object[\"result\"] = \"ok\";"),
    ("settings not all loaded exits 0", "cli", "app/cli/DeviceJobs.cpp", "fail(\"Settings not all loaded\");", "succeed(\"Settings not all loaded\");"),
    ("--fast ignored for one controller", "cli", "app/cli/Job.cpp", "    control_->setFastTransfers(run.invocation().frontEnd.fast);\n", ""),
    ("question among the JSON", "cli", "app/cli/Run.cpp", "return invocation_.json ? console_.err() : console_.out();", "return console_.out();"),
    ("file's records unknown before the update", "cli", "app/cli/FlashJob.cpp", "object[\"records\"] = file.program.records + file.eprom.records;", "object[\"records\"] = control().firmwareRecordsFinished(RecordKind::data);"),
    ("records written counts the unwritten", "cli", "app/MainViewControl+Firmware.cpp", "std::min<std::uint64_t>(currFirmwareCount(), firmwareOrigins_.size())", "firmwareOrigins_.size()"),
    ("regions swapped in a file's figures", "cli", "firmware/FirmwareFile.cpp", "upper == kProgramRegion ? file.program : file.eprom", "upper != kProgramRegion ? file.program : file.eprom"),
    ("a file read from the eprom first", "cli", "firmware/FirmwareFile.cpp", "std::uint16_t upper = kProgramRegion;", "std::uint16_t upper = kEpromRegion;"),
    ("an update starts in the eprom", "cli", "serial/SimpleSerial+Firmware.cpp", "    programFrame = ProgramFrame{};\n", "    programFrame = ProgramFrame{};\n    programFrame.buffer[8] = 0xF0;\n"),
    ("third configuration refused", "cli", "app/MainViewControl+Settings.cpp", "index < static_cast<int>(kConfigModes.size())", "index + 1 < static_cast<int>(kConfigModes.size())"),
    ("top of a file's range refused", "cli", "app/SettingsFile.cpp", "given <= high", "given < high"),
    ("fewer than expected go ahead", "cli", "app/cli/Run.cpp", "links.size() < invocation_.expect", "links.size() + 1 < invocation_.expect"),
    ("one failure passes for all", "cli", "app/cli/Run.cpp", "return any(Result::failed) ? 1 : any(Result::notBack) ? 3 : 0;", "return results.back() == Result::failed ? 1 : any(Result::notBack) ? 3 : 0;"),
    ("not back mapped to success", "cli", "app/cli/Run.cpp", "any(Result::notBack) ? 3 : 0", "any(Result::notBack) ? 0 : 0"),
    ("summary before the last ends", "cli", "app/cli/Run.cpp", "[](const auto& each) { return !each->finished(); })) {", "[](const auto&) { return false; })) {"),
    ("question asked for each", "cli", "app/cli/FlashJob.cpp", "        answer(true);\n    }", "        run().console().ask(questions(), text, std::move(answer));\n    }"),
    ("reason not what was said", "cli", "app/cli/Job.cpp", "    finish(result, reason);", "    finish(result, preface.empty() ? reason : preface);"),
    ("time from the search", "cli", "app/cli/Job.cpp", "startedAt_(RunLoop::current().now())", "startedAt_(Duration{0})"),
    ("flash without a terminal", "cli", "app/cli/Run.cpp", "if (command.asks && !console.canAsk()) {", "if (false) {"),
    ("record detail unsaid", "cli", "app/cli/FlashJob.cpp", "fail(control().firmwareDetail(), kCouldNotUpdate);", "fail(kCouldNotUpdate);"),
    ("answered no, all go on", "cli", "app/cli/Run.cpp", "        if (yes) {", "        if (true) {"),
    ("the question for all unasked", "cli", "app/cli/Run.cpp", "    if (command_.asks) {", "    if (command_.asks && !invocation_.all) {"),
    ("file's last address one too far", "cli", "firmware/FirmwareFile.cpp", "static_cast<std::uint16_t>(address + count - 1)", "static_cast<std::uint16_t>(address + count)"),
    ("another device's settings loaded", "cli", "app/cli/DeviceJobs.cpp", "answer(options_.force);", "answer(true);"),
    ("settings file range unchecked", "cli", "app/SettingsFile.cpp", "!(given >= low && given <= high)", "!(given >= low)"),
    ("settings file replaced unasked", "cli", "app/cli/DeviceJobs.cpp", "if (!options.force && std::filesystem::exists(options.file, unknown)) {", "if (false) {"),
    ("usage error not as JSON", "cli", "app/cli/Run.cpp", "    if (json) {\n        std::replace", "    if (false) {\n        std::replace"),
    ("save file replaced in place", "cli", "app/frontend/WholeFile.cpp", "    if (std::string problem = notARegularFile(path); !problem.empty()) {\n        return problem;\n    }\n    if (!replace", "    if (!replace"),
    ("port reasons left out of the JSON", "cli", "app/cli/Job.cpp", "        object[\"unanswered\"] = *outcome_->unanswered;\n", ""),
    ("a write interrupted unsaid", "cli", "app/cli/Job.cpp", "    if (!control_->isEnabled()) {", "    if (false) {"),
    ("extra words taken by --port", "cli", "app/frontend/FrontEnd.cpp", "        ->allow_extra_args(false);", "        ->allow_extra_args(true);"),
    ("the wait counted from its own start", "cli", "app/cli/FlashJob.cpp", "std::chrono::seconds(limit) - kRebootNoticeDelay,", "std::chrono::seconds(limit),"),
    ("a progress event with the wrong stage", "cli", "app/cli/FlashJob.cpp", "{\"\", \"erasing\", \"programming\", \"verifying\",", "{\"\", \"erasing\", \"programming\", \"programming\","),
    ("history line not kept", "cli", "app/cli/Run.cpp", "    keep(std::move(object));\n", ""),
    ("a loss before the reset taken as the restart", "cli", "app/cli/DeviceJobs.cpp", "(notice == Notice::deviceLost && resetSent)", "notice == Notice::deviceLost"),
    ("a refused reset said sent", "cli", "app/MainViewControl+Firmware.cpp", "(!port->sendReset() && !_isUpdateRunning)", "(!port->sendReset() && false)"),
    ("the last progress line without the time it took", "cli", "app/cli/Job.cpp", "timed_ = timed_ || left;", "timed_ = left.has_value();"),
    ("30 mph in a file needs --force", "cli", "app/cli/DeviceJobs.cpp", "!speedIsOffered(mph) && !options.force", "(!speedIsOffered(mph) || mph == 30) && !options.force"),
    # Faults the fault campaign found (now the command line's proof), and the breaks it was proved on
    ("restore trusts an unacknowledged record", "core", "app/MainViewControl+Settings.cpp", "    readHeldSettings([this, saved](bool read) {", "    [](auto done) { done(true); }([this, saved](bool read) {"),
    ("restore writes what it did not ask", "core", "app/MainViewControl+Settings.cpp", "            if (restoreRunning_) {\n                announceSettings();", "            if (false) {\n                announceSettings();"),
    ("failed verify taken as success", "core", "serial/SimpleSerial+Firmware.cpp", "completion(sum == programFrame.recordSum);", "completion(true);"),
    ("failed last record taken as success", "core", "app/MainViewControl+Firmware.cpp", "    if (success) {\n        writeFirstFirmwareLine();", "    if (success || firmware.empty()) {\n        writeFirstFirmwareLine();"),
    ("unacknowledged settings write taken", "core", "serial/SimpleSerial+Device.cpp", "                return;\n            }\n            done(false);", "                return;\n            }\n            done(true);"),
    ("held setting unsaid", "core", "app/MainViewControl+Settings.cpp", "        restoreReport_.push_back({RestoreLine::Kind::already, step.setting, step.value});\n", ""),
    ("time left counted from the erase", "window", "app/FirmwareProgress.cpp", "if (done == 0 || !programmingSince_) {", "if (!programmingSince_) {"),
    # Written after the fact, by someone other than the tests' author: the newest code's own
    # No mutant for the checks after the open of a file to read: the path is looked at before,
    # so only a file swapped in between reaches them, which no test can arrange.
    ("a grown file taken whole", "core", "util/RegularFile.cpp", "            if (filled > maxBytes) {", "            if (filled > maxBytes + 1) {"),
    ("no permission shown as in use", "core", "app/AccessHint.cpp", "            return \"no permission\";", "            return \"in use by another program\";"),
    ("denied ports listed twice", "core", "app/AccessHint.cpp", "        if (probe.failure == ProbeFailure::noPermission) {\n            continue;\n        }\n", ""),
    ("probes reported in the order they ended", "core", "app/AccessHint.cpp", "    std::sort(failed.begin(), failed.end(),", "    std::stable_sort(failed.end(), failed.end(),"),
    ("a closed probe wins", "core", "serial/Discovery.cpp", "const bool closed = !portDelegate->isOpened();", "const bool closed = false;"),
    ("sent to a closed port", "core", "serial/ReplyWaiting.cpp", "    if (!portDelegate->isOpened()) {\n        logLine(\"Not sent", "    if (false) {\n        logLine(\"Not sent"),
    ("a lost exchange still completes", "core", "app/MainViewControl.cpp", "    port->abandonWait();\n", ""),
    ("a cancelled question restores nothing", "core", "app/MainViewControl+Firmware.cpp", "if (linkKept && control->detailsShown_ == shown) {", "if (linkKept && false) {"),
    ("a file chosen after the loss", "core", "app/MainViewControl+Firmware.cpp", "if (!path || forLink == 0 || control->linkNumber() != forLink) {", "if (!path) {"),
    ("a written setting counted as read", "core", "serial/SimpleSerial+Device.cpp", "    settingsAsRead_ = false;", "    settingsAsRead_ = true;"),
    ("records of the wrong region finished", "core", "app/MainViewControl+Firmware.cpp", "std::min<std::uint64_t>(currFirmwareCount(), firmwareOrigins_.size())", "firmwareOrigins_.size()"),
    ("the interruption after the last record said as during programming", "core", "app/MainViewControl+Firmware.cpp", "        case UpdateStage::verifying:\n", ""),
    ("a loss after the restart said as an interruption", "window", "app/MainViewControl+Firmware.cpp", "        case UpdateStage::none:\n        case UpdateStage::restarting:\n            break;", "        case UpdateStage::restarting:\n            return \"Firmware update interrupted after the last record: flash again\";\n        case UpdateStage::none:\n            break;"),
    ("top of the offered speeds refused", "core", "app/Texts.cpp", "mph <= kMaxSpeedMph", "mph < kMaxSpeedMph"),
    ("load question skipped for another device", "window", "app/SettingsFileFlow.cpp", "    if (doubts.heldDevice != saved.deviceId) {", "    if (false) {"),
    ("save without its read", "window", "app/SettingsFileFlow.cpp", "    control.readHeldSettings([&control, path, write, done = std::move(done)](bool read) {", "    ([&control, path, write, done = std::move(done)](bool read) {"),
    ("a failed save said saved", "window", "app/SettingsFileFlow.cpp", "        control.setSetStatus(problem.empty()", "        control.setSetStatus(true"),
    # The window
    ("Connect offered during a search", "window", "app/ViewBinding.cpp", "enableControl(Element::connect, control.canConnect());", "enableControl(Element::connect, !control.isConnected());"),
    ("Disconnect during an update", "window", "app/ViewBinding.cpp", "enableControl(Element::disconnect, control.canDisconnect());", "enableControl(Element::disconnect, control.isConnected());"),
    ("settings open during an update", "window", "app/ViewBinding.cpp", "enableControl(settings, control.canEditSettings());", "enableControl(settings, control.canChooseFile());"),
    ("second file panel", "window", "app/ViewBinding.cpp", "control.canChooseFile() && !firmwareButtonHeld_", "control.canChooseFile()"),
    ("firmware button after a failed update", "window", "app/ViewBinding.cpp", "control.canChooseFile() && !firmwareButtonHeld_", "control.canEditSettings() && !firmwareButtonHeld_"),
    ("connect detail not shown", "window", "app/ViewBinding.cpp", "            controls_.showText(Element::connectDetail, control.connectDetail());\n", ""),
    ("detail not shown", "window", "app/ViewBinding.cpp", "            controls_.showText(Element::firmwareDetail, control.firmwareDetail());\n", ""),
    ("alert not window-modal", "window", "app/window/MainWindow.cpp", "    box->open();", "    box->setWindowModality(Qt::NonModal);\n    box->show();"),
    ("auto box not shown", "window", "app/ViewBinding.cpp", "            controls_.showChoice(Element::autoMode, control.isAuto() != 0 ? 1 : 0);\n", ""),
    ("unit radio not shown", "window", "app/ViewBinding.cpp", "showChoice(Element::unit, control.isKmh() != 0 ? 1 : 0);", "showChoice(Element::unit, 0);"),
    ("progress not shown", "window", "app/window/MainWindow.cpp", "    bar.setValue(toProgress(shown.value));\n", ""),
    ("km/h click ignored", "window", "app/window/MainWindow.cpp", "[this] { control_->setIsKmh(1); });", "[] {});"),
    ("third config choice wrong", "window", "app/window/MainWindow.cpp", "for (int index = 0; index < 3; ++index) {", "for (int index = 0; index < 2; ++index) {"),
    ("set status not shown", "window", "app/ViewBinding.cpp", "            controls_.showText(Element::setStatus, control.setStatus());\n", ""),
    # What the window tells under the hand
    ("the wheel chooses a speed", "window", "app/window/ComboSpeedPopup.cpp", "    if (event->type() == QEvent::Wheel) {", "    if (false) {"),
    ("keys choose on the closed list", "window", "app/window/ComboSpeedPopup.cpp", "        default:\n            return true;", "        default:\n            return false;"),
    ("a speed the list lacks keeps the last choice", "window", "app/window/ComboSpeedPopup.cpp", "    combo_.setCurrentIndex(combo_.findText(QString::fromStdString(title)));", "    if (combo_.findText(QString::fromStdString(title)) >= 0) combo_.setCurrentIndex(combo_.findText(QString::fromStdString(title)));"),
    ("a refused value kept in the record", "core", "serial/SimpleSerial+Device.cpp", "            settings = lastRead_;\n", ""),
    ("the idle bar busy", "window", "app/FirmwareProgress.cpp", "FirmwareBar shown{done, std::max<std::uint64_t>(total, 1), {}};", "FirmwareBar shown{done, total, {}};"),
    ("nothing left shown as 0:00", "core", "app/TimeLeft.cpp", "done >= total", "done > total"),
    ("time left during the erase", "window", "app/FirmwareProgress.cpp", "control.updateStage() == UpdateStage::programming", "control.isUpdateRunning()"),
    ("a write cut by a loss still waits", "core", "app/MainViewControl.cpp", "        setSetStatus(settings);\n", ""),
    ("a record cut by a loss still updating", "core", "app/MainViewControl.cpp", "        setFirmwareStatus(update);\n", ""),
    ("an update confirmed for a link gone", "core", "app/MainViewControl+Firmware.cpp", "kAlertFirstButtonReturn && linkKept", "kAlertFirstButtonReturn"),
    ("a late panel saves for the next link", "window", "app/SettingsFileFlow.cpp", "if (held && path && forLink != 0 && held->linkNumber() == forLink) {", "if (held && path) {"),
    ("a save that cannot run unsaid", "window", "app/SettingsFileFlow.cpp", "        control.setSetStatus(\"Could not \" + what + \": \" + why);\n", ""),
    ("a closed port's send unlogged", "core", "serial/ReplyWaiting.cpp", "    logLine(\"Writing \" + describeBytes(bytes));\n    // A port", "    // A port"),
    ("an unplug not told as a removal", "core", "sim/SimulatedPort.cpp", "            delegate_->serialPortWasRemovedFromSystem(*this);\n", ""),
]

# The process suites (transcripts, the Qt backend), each test stopped after 5 minutes.
REALTIME = ["ctest", "-j2", "-L", "realtime", "--timeout", "300"]
FAST = ["korvane_tests", "korvane_cli_tests", "korvane_window_tests"]


def suite_environment():
    """The suites' environment. The property tests run their fixed seeds, so that a mutant is
    killed or not the same way each time; KORVANE_PROPERTY_SEED, when given, is passed on."""
    given = {name: os.environ[name] for name in ("KORVANE_PROPERTY_SEED", "KORVANE_PROPERTY_RUNS")
             if name in os.environ}
    # Whether a sequence fails is the answer; shrinking it to the shortest can take minutes.
    return {"QT_QPA_PLATFORM": "offscreen", "PATH": "/usr/bin:/bin",
            "KORVANE_PROPERTY_NOSHRINK": "1", **given}


def run(command, **kwargs):
    return subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, **kwargs)


def built(build, targets=()):
    """Builds the fast suites only, or everything: a mutant the fast suites kill needs no more."""
    chosen = ["--target", *targets] if targets else []
    return run(["cmake", "--build", str(build), *chosen]).returncode == 0


def fails(command, timeout, **kwargs):
    """Whether `command` fails; one that outlasts `timeout` seconds hangs, and fails."""
    try:
        return run(command, timeout=timeout, **kwargs).returncode != 0
    except subprocess.TimeoutExpired:
        return True


def killed(build):
    env = suite_environment()
    # One suite built and run at a time: most mutants fall to the first, and need no more links.
    for suite in FAST:
        if not built(build, [suite]):
            return "build"
        if fails([str(build / "tests" / suite)], 120, env=env):
            return suite
    if not built(build):
        return "build"
    if fails(REALTIME + ["--test-dir", str(build)], 900):
        return "process tests"
    return None


def suite_failures(program, env):
    """The failing tests of one suite program. A program that crashes or hangs is run again one
    test at a time, so that the fault is put down to the tests that meet it, not to the suite."""
    with tempfile.NamedTemporaryFile(suffix=".json") as report:
        try:
            run([str(program), f"--gtest_output=json:{report.name}"], env=env, timeout=600)
            results = json.load(open(report.name))
            return {f"{group['name']}.{test['name']}"
                    for group in results.get("testsuites", []) for test in group.get("testsuite", [])
                    if test.get("failures") or test.get("result") not in ("COMPLETED", None)}
        except (subprocess.TimeoutExpired, ValueError):
            pass
    listed = subprocess.run([str(program), "--gtest_list_tests"], env=env, capture_output=True,
                            text=True, timeout=60).stdout
    failed = set()
    group = ""
    for line in listed.splitlines():
        name = line.split("#")[0].strip()
        if not line.startswith(" "):
            group = name
            continue
        try:
            code = run([str(program), f"--gtest_filter={group}{name}"], env=env,
                       timeout=120).returncode
            if code != 0:
                failed.add(f"{group}{name}" + (" (crashed)" if code < 0 else ""))
        except subprocess.TimeoutExpired:
            failed.add(f"{group}{name} (hung)")
    return failed


def failing_tests(build, processes):
    """Every test that fails, by suite and name; None when the build fails. The process suites
    run only when asked: they are slow, and guard the command line."""
    if not built(build, FAST if not processes else ()):
        return None
    env = suite_environment()
    failed = set()
    for suite in FAST:
        failed.update(suite_failures(build / "tests" / suite, env))
    if processes:
        # A test that hangs is stopped and named "(Timeout)" by ctest; should the whole run
        # still outlast its limit, the process suites are named as hung.
        try:
            output = subprocess.run(REALTIME + ["--test-dir", str(build)], capture_output=True,
                                    text=True, timeout=900).stdout
            failed.update(re.findall(r"^\s*\d+ - (\S+) \(", output, re.MULTILINE))
        except subprocess.TimeoutExpired:
            failed.add("process tests (hung)")
    return failed


def applied(chosen):
    """Puts each chosen mutant into the code in turn, yielding its name and layer; the code is
    restored before the next."""
    for name, layer, path, text, replacement in MUTANTS:
        if chosen and name not in chosen:
            continue
        source = ROOT / path
        original = source.read_text()
        if original.count(text) != 1:
            print(f"?? {name}: the text stands {original.count(text)} times in {path}")
            continue
        source.write_text(original.replace(text, replacement))
        try:
            yield name, layer
        finally:
            source.write_text(original)


def who(build, chosen):
    killers = {}
    for name, layer in applied(chosen):
        failed = failing_tests(build, layer == "cli")
        killers[name] = failed
        shown = "does not build" if failed is None else ", ".join(sorted(failed)) or "SURVIVED"
        print(f"{name}: {shown}", flush=True)
    run(["cmake", "--build", str(build)])
    sole = {}
    for name, failed in killers.items():
        if failed is not None and len(failed) == 1:
            sole.setdefault(next(iter(failed)), []).append(name)
    print("\nmutants only one test kills:")
    for test, names in sorted(sole.items()):
        print(f"  {test}: {', '.join(names)}")


def main():
    given = sys.argv[2:3] if sys.argv[1:2] == ["--who"] else sys.argv[1:2]
    if not given or not (pathlib.Path(given[0]) / "CMakeCache.txt").is_file():
        sys.exit(__doc__.split("\n\n")[1] + "\n\nBUILD_DIR must be a configured build.")
    if sys.argv[1] == "--who":
        who(pathlib.Path(sys.argv[2]).resolve(), set(sys.argv[3:]))
        return
    build = pathlib.Path(sys.argv[1]).resolve()
    results = {}
    for name, layer in applied(set(sys.argv[2:])):
        by = killed(build)
        results.setdefault(layer, []).append(by is not None)
        print(f"{'killed by ' + by if by else 'SURVIVED':28} {layer:6} {name}", flush=True)
    run(["cmake", "--build", str(build)])
    for layer, outcomes in results.items():
        print(f"{layer}: {sum(outcomes)} of {len(outcomes)} killed ({100 * sum(outcomes) // len(outcomes)} %)")
    total = [o for outcomes in results.values() for o in outcomes]
    print(f"all: {sum(total)} of {len(total)} killed ({100 * sum(total) // len(total)} %)")


if __name__ == "__main__":
    main()
