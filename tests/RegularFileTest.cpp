#include <gtest/gtest.h>

#include "util/RegularFile.h"

namespace korvane::testing {
namespace {

#ifdef __linux__
// The system's own files say they hold nothing until read: one too large is known by what is
// read, not by its size.
TEST(RegularFile, AFileLargerThanItsSizeSaidIsRefusedAtTheFirstByteTooMany) {
    const FileContent content = readRegularFile("/proc/self/status", 16, "status file");
    EXPECT_EQ(content.problem, "is larger than any status file (at most 16 bytes)");
    EXPECT_TRUE(content.bytes.empty());
}
#endif

}  // namespace
}  // namespace korvane::testing
