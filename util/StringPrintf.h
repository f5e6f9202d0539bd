#pragma once

#include <string>

namespace korvane {

#if defined(__MINGW32__)
// With __USE_MINGW_ANSI_STDIO (set by the build) MinGW formats as C99 says, %zu included.
#define KORVANE_PRINTF_FORMAT(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__) || defined(__clang__)
#define KORVANE_PRINTF_FORMAT(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KORVANE_PRINTF_FORMAT(fmt, args)
#endif

// printf-style formatting into a string; the device's texts are written with printf formats,
// so the code can quote them as they are.
std::string stringPrintf(const char* format, ...) KORVANE_PRINTF_FORMAT(1, 2);

}  // namespace korvane
