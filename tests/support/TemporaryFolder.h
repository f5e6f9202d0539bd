#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>

namespace korvane::testing {

// A folder of the test's own, removed with everything in it when it goes.
class TemporaryFolder {
public:
    TemporaryFolder() { std::filesystem::create_directories(folder_); }
    ~TemporaryFolder() { std::filesystem::remove_all(folder_); }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    // The path of `name` in the folder; the folder's own without one.
    std::string path(const std::string& name = {}) const {
        return name.empty() ? folder_.string() : (folder_ / name).string();
    }
    // Writes `content` as the file `name`, replacing any; its path.
    std::string write(const std::string& name, const std::string& content) const {
        std::ofstream(path(name), std::ios::binary | std::ios::trunc) << content;
        return path(name);
    }

private:
    static inline std::atomic<int> made_{0};
    std::filesystem::path folder_ =
        std::filesystem::temp_directory_path() /
        ("korvane-" + std::to_string(::getpid()) + "-" + std::to_string(made_++));
};

}  // namespace korvane::testing
