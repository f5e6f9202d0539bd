#include "app/cli/History.h"

#include <QCryptographicHash>
#include <QString>
#include <QSysInfo>
#include <nlohmann/json.hpp>

#include "app/cli/Report.h"
#include "util/UtcTime.h"

namespace korvane {

std::string History::append(nlohmann::json object) {
    object["time"] = context_.clock ? context_.clock() : utcNow();
    object["host"] = context_.host;
    object["version"] = context_.version;
    object["command"] = context_.command;
    if (!context_.file.empty()) {
        object["file"] = context_.file;
    }
    if (!context_.fileSha256.empty()) {
        object["fileSha256"] = context_.fileSha256;
    }
    if (const std::string problem = file_->append(jsonLine(object)); !problem.empty()) {
        return "Could not append to the history " + path_ + ": " + problem;
    }
    return {};
}

std::string sha256Hex(ByteView bytes) {
    return QCryptographicHash::hash(
               QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

std::string hostName() {
    return QSysInfo::machineHostName().toStdString();
}

}  // namespace korvane
