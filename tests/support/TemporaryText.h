#pragma once

#include <QDir>
#include <QTemporaryFile>
#include <string>

namespace korvane::testing {

// A file of the test's own holding `text`, removed when it goes.
class TemporaryText {
public:
    explicit TemporaryText(const std::string& text, const QString& pattern = "korvane-XXXXXX") {
        file_.setFileTemplate(QDir::tempPath() + "/" + pattern);
        file_.open();
        file_.write(text.data(), static_cast<qint64>(text.size()));
        file_.close();
    }
    std::string path() const { return file_.fileName().toStdString(); }

private:
    QTemporaryFile file_;
};

}  // namespace korvane::testing
