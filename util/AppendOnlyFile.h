#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace korvane {

// A regular file that lines are only ever appended to: each with one write at the file's end,
// and on the disk before the call returns. Programs appending to one such file at once never mix
// within a line.
class AppendOnlyFile {
public:
    // Opens the regular file at `path` for appending, creating it when there is none. None, with
    // the reason in `problem`, when it cannot be written ("Permission denied", "is a folder, not a
    // file").
    static std::unique_ptr<AppendOnlyFile> open(const std::string& path, std::string& problem);
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // Appends `line` and a line end; empty when it is on the disk, otherwise why not.
    std::string append(std::string_view line);

private:
    explicit AppendOnlyFile(int fd) : fd_(fd) {}
    int fd_;
};

}  // namespace korvane
