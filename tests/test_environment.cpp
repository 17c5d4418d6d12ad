#include <gtest/gtest.h>

#include "QuillmoorMothwake/Environment.h"

using quillmoor::panFramesFromEnvironment;

TEST(PanFramesFromEnvironment, TakesWholeDecimalIntegersRaisedToOne) {
    EXPECT_EQ(panFramesFromEnvironment("30", 1800), 30);
    EXPECT_EQ(panFramesFromEnvironment("+30", 1800), 30);
    EXPECT_EQ(panFramesFromEnvironment("007", 1800), 7);
    EXPECT_EQ(panFramesFromEnvironment("0", 1800), 1);
    EXPECT_EQ(panFramesFromEnvironment("-5", 1800), 1);
    EXPECT_EQ(panFramesFromEnvironment("9223372036854775807", 1800), INT64_MAX);
    EXPECT_EQ(panFramesFromEnvironment("-9223372036854775808", 1800), 1);
}

TEST(PanFramesFromEnvironment, FallsBackOnAnythingElse) {
    for (const char* text : {"", "30 ", " 30", "3e2", "+", "-", "+-3", "0x10", "1.5", "99999999999999999999",
                             "9223372036854775808", "-9223372036854775809"})
        EXPECT_EQ(panFramesFromEnvironment(text, 1800), 1800) << '"' << text << '"';
    EXPECT_EQ(panFramesFromEnvironment(nullptr, 60), 60);
}
