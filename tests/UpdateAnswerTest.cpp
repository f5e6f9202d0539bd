// The answer to the update question as typed on a terminal, on every platform's line ends.
#include <gtest/gtest.h>

#include "app/UpdateAnswer.h"

namespace korvane {
namespace {

TEST(UpdateAnswerTest, OnlyTheWordsForUpdateSayYes) {
    const std::pair<const char*, bool> cases[] = {
        {"update", true}, {"Update", true}, {" u ", true},  {"YES", true},     {"y\r", true},
        {"y\t", true},    {"", false},      {"no", false},  {"cancel", false}, {"updates", false},
        {"yy", false},    {"u p", false},   {"n\r", false},
    };
    for (const auto& [typed, yes] : cases) {
        EXPECT_EQ(answersUpdate(typed), yes) << '"' << typed << '"';
    }
}

}  // namespace
}  // namespace korvane
