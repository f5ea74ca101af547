#include "platform/base/CheckedMath.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

TEST(CheckedMath, MulAndAddReportOverflow) {
    EXPECT_EQ(base::CheckedMul<std::uint32_t>(65536, 65535), 65536u * 65535u);
    EXPECT_FALSE(base::CheckedMul<std::uint32_t>(65536, 65536));
    EXPECT_FALSE(base::CheckedAdd<std::int32_t>(std::numeric_limits<std::int32_t>::max(), 1));
    EXPECT_EQ(base::CheckedAdd<std::int32_t>(-5, 3), -2);
}

TEST(CheckedMath, DibRowStrideRoundsToWholeWords) {
    EXPECT_EQ(base::DibRowStride(1, 1), 4u);
    EXPECT_EQ(base::DibRowStride(32, 1), 4u);
    EXPECT_EQ(base::DibRowStride(33, 1), 8u);
    EXPECT_EQ(base::DibRowStride(3, 24), 12u);
    EXPECT_EQ(base::DibRowStride(5, 4), 4u);
    EXPECT_EQ(base::DibRowStride(0, 32), 0u);
    EXPECT_FALSE(base::DibRowStride(-1, 8));
    EXPECT_FALSE(base::DibRowStride(std::numeric_limits<long long>::max(), 32));
}
