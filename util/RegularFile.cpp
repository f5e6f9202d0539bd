#include "util/RegularFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "util/StringPrintf.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvane {

namespace {

constexpr const char* kFolder = "is a folder, not a file";
constexpr const char* kNotRegular = "is not a regular file (a device, a pipe or a socket)";

std::string tooLarge(std::uintmax_t size, std::uintmax_t maxBytes, std::string_view what) {
    return stringPrintf("is %ju bytes, larger than any %.*s (at most %ju)", size,
                        static_cast<int>(what.size()), what.data(), maxBytes);
}

std::string tooLarge(std::uintmax_t maxBytes, std::string_view what) {
    return stringPrintf("is larger than any %.*s (at most %ju bytes)",
                        static_cast<int>(what.size()), what.data(), maxBytes);
}

#ifndef _WIN32

class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

#endif

}  // namespace

std::string notARegularFile(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::file_status status = fs::status(path, error);
    if (fs::is_directory(status)) {
        return kFolder;
    }
    if (!fs::exists(status) || fs::is_regular_file(status)) {
        return {};
    }
    return kNotRegular;
}

#ifndef _WIN32

FileContent readRegularFile(const std::string& path, std::uintmax_t maxBytes,
                            std::string_view what) {
    // Looked at before opening too: opening a serial device may already change its lines.
    if (std::string problem = notARegularFile(path); !problem.empty()) {
        return {{}, std::move(problem)};
    }
    // Non-blocking, so that a pipe put in the file's place meanwhile cannot stop the open.
    const Descriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) {
        return {{}, std::strerror(errno)};
    }
    struct stat status {};
    if (::fstat(file.get(), &status) != 0) {
        return {{}, std::strerror(errno)};
    }
    if (S_ISDIR(status.st_mode)) {
        return {{}, kFolder};
    }
    if (!S_ISREG(status.st_mode)) {
        return {{}, kNotRegular};
    }
    const auto size = static_cast<std::uintmax_t>(status.st_size);
    if (size > maxBytes) {
        return {{}, tooLarge(size, maxBytes, what)};
    }
    // One byte more than allowed tells a file that grew since.
    Bytes bytes(static_cast<std::size_t>(size) + 1);
    std::size_t filled = 0;
    while (true) {
        if (filled == bytes.size()) {
            if (filled > maxBytes) {
                return {{}, tooLarge(maxBytes, what)};
            }
            bytes.resize(std::min<std::uintmax_t>(bytes.size() * 2, maxBytes + 1));
        }
        const ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return {{}, std::strerror(errno)};
        }
        if (got == 0) {
            break;
        }
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return {std::move(bytes), {}};
}

#else

FileContent readRegularFile(const std::string& path, std::uintmax_t maxBytes,
                            std::string_view what) {
    namespace fs = std::filesystem;
    if (std::string problem = notARegularFile(path); !problem.empty()) {
        return {{}, std::move(problem)};
    }
    std::error_code error;
    if (!fs::exists(path, error)) {
        return {{}, "No such file or directory"};
    }
    const std::uintmax_t size = fs::file_size(path, error);
    if (error) {
        return {{}, error.message()};
    }
    if (size > maxBytes) {
        return {{}, tooLarge(size, maxBytes, what)};
    }
    std::ifstream stream(path, std::ios::binary);
    if (!stream) {
        return {{}, errno != 0 ? std::strerror(errno) : "cannot be opened"};
    }
    Bytes bytes;
    char chunk[64 * 1024];
    while (stream.read(chunk, sizeof chunk) || stream.gcount() > 0) {
        bytes.insert(bytes.end(), chunk, chunk + stream.gcount());
        if (bytes.size() > maxBytes) {
            return {{}, tooLarge(maxBytes, what)};
        }
    }
    return {std::move(bytes), {}};
}

#endif

}  // namespace korvane
