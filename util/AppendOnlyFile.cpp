#include "util/AppendOnlyFile.h"

#include <cerrno>
#include <cstring>

#include "util/RegularFile.h"
#include "util/StringPrintf.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace korvane {

namespace {

#ifdef _WIN32
int openForAppending(const std::string& path) {
    return ::_open(path.c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY,
                   _S_IREAD | _S_IWRITE);
}
bool isRegular(int fd) {
    struct _stat status {};
    return ::_fstat(fd, &status) == 0 && (status.st_mode & _S_IFREG) != 0;
}
long writeAll(int fd, const char* bytes, std::size_t size) {
    return ::_write(fd, bytes, static_cast<unsigned>(size));
}
int flushToDisk(int fd) {
    return ::_commit(fd);
}
void closeFile(int fd) {
    ::_close(fd);
}
#else
int openForAppending(const std::string& path) {
    // Not blocking: a pipe put in its place after the check is refused, not waited on.
    return ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NONBLOCK, 0666);
}
bool isRegular(int fd) {
    struct stat status {};
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}
long writeAll(int fd, const char* bytes, std::size_t size) {
    ssize_t written = 0;
    do {
        written = ::write(fd, bytes, size);
    } while (written < 0 && errno == EINTR);
    return static_cast<long>(written);
}
int flushToDisk(int fd) {
    return ::fsync(fd);
}
void closeFile(int fd) {
    ::close(fd);
}
#endif

}  // namespace

std::unique_ptr<AppendOnlyFile> AppendOnlyFile::open(const std::string& path,
                                                     std::string& problem) {
    if (problem = notARegularFile(path); !problem.empty()) {
        return nullptr;
    }
    const int fd = openForAppending(path);
    if (fd < 0) {
        problem = std::strerror(errno);
        return nullptr;
    }
    if (!isRegular(fd)) {
        closeFile(fd);
        problem = "is not a regular file (a device, a pipe or a socket)";
        return nullptr;
    }
    return std::unique_ptr<AppendOnlyFile>(new AppendOnlyFile(fd));
}

AppendOnlyFile::~AppendOnlyFile() {
    closeFile(fd_);
}

std::string AppendOnlyFile::append(std::string_view line) {
    // One write: the system appends it at the end as a whole, whoever else appends meanwhile.
    std::string whole(line);
    whole += '\n';
    const long written = writeAll(fd_, whole.data(), whole.size());
    if (written < 0) {
        return std::strerror(errno);
    }
    if (static_cast<std::size_t>(written) != whole.size()) {
        return stringPrintf("only %ld of %zu bytes were written", written, whole.size());
    }
    if (flushToDisk(fd_) != 0) {
        return std::strerror(errno);
    }
    return {};
}

}  // namespace korvane
