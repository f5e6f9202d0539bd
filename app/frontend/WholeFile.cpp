#include "app/frontend/WholeFile.h"

#include <QFileInfo>
#include <QSaveFile>

#include "util/RegularFile.h"

namespace korvane {

std::string writeWholeFile(const std::string& path, const std::string& text, bool replace) {
    const QString name = QString::fromStdString(path);
    // A device or a pipe in its place would be replaced by a plain file, whatever it was.
    if (std::string problem = notARegularFile(path); !problem.empty()) {
        return problem;
    }
    if (!replace && QFileInfo::exists(name)) {
        return "exists already: add --force to replace it";
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(text.data(), static_cast<qint64>(text.size())) < 0 || !file.commit()) {
        return file.errorString().toStdString();
    }
    return {};
}

}  // namespace korvane
