#include <gtest/gtest.h>

#include <utility>

#include "QuillmoorMothwake/Environment.h"

using quillmoor::panFramesFromEnvironment;

// Whole decimal integers, raised to 1; anything else falls back to the default (1800).
TEST(PanFramesFromEnvironment, TakesWholeDecimalIntegersRaisedToOneAndFallsBackOnAnythingElse) {
    const std::pair<const char*, int64_t> cases[] = {
        {"30", 30}, {"+30", 30}, {"007", 7}, {"0", 1}, {"-5", 1}, {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", 1},
        {"", 1800}, {"30 ", 1800}, {" 30", 1800}, {"3e2", 1800}, {"+", 1800}, {"-", 1800}, {"+-3", 1800}, {"0x10", 1800},
        {"1.5", 1800}, {"99999999999999999999", 1800}, {"9223372036854775808", 1800}, {"-9223372036854775809", 1800}};
    for (const auto& [text, expected] : cases) EXPECT_EQ(panFramesFromEnvironment(text, 1800), expected) << '"' << text << '"';
    EXPECT_EQ(panFramesFromEnvironment(nullptr, 60), 60);
}
