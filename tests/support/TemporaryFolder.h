#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace korvane::testing {

// A folder of the test's own, removed with what it holds when it goes (for suites without Qt).
class TemporaryFolder {
public:
    TemporaryFolder() { std::filesystem::create_directories(folder_); }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // Where a file `name` is, or would be, in it.
    std::string path(const std::string& name) const { return (folder_ / name).string(); }
    // Writes `text` to the file `name` in it; its path.
    std::string write(const std::string& name, const std::string& text) const {
        std::ofstream(path(name), std::ios::binary) << text;
        return path(name);
    }

private:
    static inline int made_ = 0;
    const std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() /
        ("korvane-" + std::to_string(::getpid()) + "-" + std::to_string(++made_));
};

}  // namespace korvane::testing
