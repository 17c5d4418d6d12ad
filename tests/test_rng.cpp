#include <gtest/gtest.h>

#include "QuillmoorMothwake/RNG.h"

using quillmoor::RNG;

TEST(RNG, StepsFromZeroState) {
    RNG rng(0);
    EXPECT_EQ(rng.next(), 0xE220A8397B1DCDAFULL);
    EXPECT_EQ(rng.next(), 0x6E789E6AA1B965F4ULL);
    EXPECT_EQ(rng.next(), 0x06C45D188009454FULL);
    EXPECT_EQ(rng.state, 0xDAA66D2C7DDF743FULL);
}
