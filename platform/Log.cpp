#include "platform/Log.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "util/StringPrintf.h"

#ifdef _WIN32
#include <process.h>
#define KORVANE_GETPID _getpid
#else
#include <unistd.h>
#define KORVANE_GETPID getpid
#endif

namespace korvane {

StderrLog::StderrLog(const std::string& processName)
    : prefix_(stringPrintf(" %s[%d] ", processName.c_str(), static_cast<int>(KORVANE_GETPID()))) {}

void StderrLog::write(std::string_view text) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local);
    std::fprintf(stderr, "%s.%03d%s%.*s\n", stamp, static_cast<int>(millis), prefix_.c_str(),
                 static_cast<int>(text.size()), text.data());
}

bool logKeepsLines() {
    return !LogSink::isInstalled() || LogSink::current().keepsLines();
}

void logLine(std::string_view text) {
    if (LogSink::isInstalled()) {
        LogSink::current().write(text);
        return;
    }
    static StderrLog fallback("korvane");
    fallback.write(text);
}

}  // namespace korvane
