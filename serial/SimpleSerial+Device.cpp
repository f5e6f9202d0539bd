// Identify, the settings record, and reset: one request frame each and, except for reset, one
// reply collected within its budget.
#include "platform/Log.h"
#include "serial/SimpleSerial.h"
#include "util/StringPrintf.h"

namespace korvane {

namespace {

const CommandFrame kResetRequest = {
    0x55, static_cast<std::uint8_t>(CommandCode::Reset), 0, 0, 0, 0, 0, 0, 0, 0};

}  // namespace

void SimpleSerial::identify(ResultBlock completion) {
    waitForReply(
        [this, completion = std::move(completion)](bool, ByteView reply) {
            if (reply.size() != kIdentifyReplyLength || frameIndex(reply) != kIdentifyEntry) {
                completion(false);
                return;
            }
            identity = {stringPrintf("%02X%02X", reply[10], reply[11]),
                        stringPrintf("%02X%02X", reply[16], reply[17]), std::nullopt};
            identityText =
                "Bootloader: " + identity.bootloader + ", Device ID: " + identity.deviceId;
            readSettings(completion);
        },
        kSettingsReplyBudgetMs, kUnreachableCount, ReplyEnd{kIdentifyReplyLength});
    const IdentifyReply request;
    send(request.header);
}

void SimpleSerial::readSettings(ResultBlock completion) {
    waitForReply(
        [this, completion = std::move(completion)](bool received, ByteView reply) {
            if (!received || reply.size() != kSettingsLength) {
                completion(false);
                return;
            }
            // Kept even when the header is wrong: the next write starts from what was read.
            settings = DeviceSettings::fromBytes(reply);
            lastRead_ = settings;
            settingsAsRead_ = frameIndex(settings.header) == kReadSettingsEntry;
            if (!settingsAsRead_) {
                completion(false);
                return;
            }
            // The identity text carries the software version once: a read after a write
            // replaces it.
            identity.software = settings.softwareVersion;
            identityText = stringPrintf("Bootloader: %s, Device ID: %s, Soft: %02u",
                                        identity.bootloader.c_str(), identity.deviceId.c_str(),
                                        unsigned{*identity.software});
            logLine("got eprom: " + identityText);
            completion(true);
        },
        kSettingsReplyBudgetMs, kUnreachableCount, ReplyEnd{kSettingsLength});
    CommandFrame request;
    buildFrame(request, kReadSettingsEntry);
    send(request);
}

void SimpleSerial::writeSettings(ResultBlock completion) {
    // Until the read-back, the image holds what was sent, which the device may not have taken.
    settingsAsRead_ = false;
    buildFrame(settings.header, kWriteSettingsEntry);
    send(settings.bytes());
    // Not confirmed: the record goes back to what the device last sent, whatever was sent since.
    ResultBlock done = [this, completion = std::move(completion)](bool written) {
        if (!written) {
            settings = lastRead_;
        }
        completion(written);
    };
    waitForReply(
        [this, done = std::move(done)](bool received, ByteView reply) {
            // The device echoes the write's header.
            if (received && frameMatches(reply, kWriteSettingsEntry)) {
                readSettings(done);
                return;
            }
            done(false);
        },
        // The echo has no fixed length: at least its header, then a quiet line.
        kSettingsReplyBudgetMs, kUnreachableCount, ReplyEnd{kFrameLength, kQuietGap});
}

void SimpleSerial::setConfigMode(int value, ResultBlock completion) {
    settings.configMode = static_cast<std::uint8_t>(value);
    writeField(&DeviceSettings::configMode, "configMode", std::move(completion));
}

void SimpleSerial::setSpeedLimit(int value, ResultBlock completion) {
    settings.speedLimit = static_cast<std::uint8_t>(value);
    writeField(&DeviceSettings::speedLimit, "speedLimit", std::move(completion));
}

void SimpleSerial::setAutoMode(int value, ResultBlock completion) {
    settings.autoMode = static_cast<std::uint8_t>(value);
    writeField(&DeviceSettings::autoMode, "autoMode", std::move(completion));
}

void SimpleSerial::writeField(std::uint8_t DeviceSettings::*field, const char* name,
                              ResultBlock completion) {
    // A device may echo the write and keep its old record: only the read-back tells. Only the
    // field that was changed is compared; the device may rightly change other bytes.
    const std::uint8_t sent = settings.*field;
    writeSettings([this, field, name, sent, completion = std::move(completion)](bool written) {
        if (written && settings.*field != sent) {
            logLine(stringPrintf("write not kept: %s is %u, not %u", name,
                                 unsigned{settings.*field}, unsigned{sent}));
            completion(false);
            return;
        }
        completion(written);
    });
}

bool SimpleSerial::sendReset() {
    return send(kResetRequest);
}

}  // namespace korvane
