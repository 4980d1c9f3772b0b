#include "base/progresssink.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

namespace {

TEST(ProgressBarState, StartsEmptyWithStepTen)
{
    ProgressBarState bar;
    EXPECT_EQ(bar.maximum(), 0);
    EXPECT_EQ(bar.position(), 0);
    EXPECT_EQ(bar.step(), 10);
}

TEST(ProgressBarState, UnsetRangeStaysEmptyWhateverThePosition)
{
    ProgressBarState bar;
    for (int position : {-5, 0, 1, 100, INT_MAX}) {
        bar.setPosition(position);
        EXPECT_EQ(bar.position(), 0) << position;
    }
    bar.stepIt();
    EXPECT_EQ(bar.position(), 0);
}

struct PositionCase {
    std::uint16_t maximum;
    int position;
    int expected;
};

class ClampedPosition : public ::testing::TestWithParam<PositionCase> {};

TEST_P(ClampedPosition, StaysInsideTheRange)
{
    ProgressBarState bar;
    bar.setRange(GetParam().maximum);
    bar.setPosition(GetParam().position);
    EXPECT_EQ(bar.position(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, ClampedPosition,
                         ::testing::Values(PositionCase{2, 1, 1}, PositionCase{2, 2, 2},
                                           PositionCase{2, 3, 2}, PositionCase{2, -1, 0},
                                           PositionCase{65535, 65535, 65535},
                                           PositionCase{65535, 70000, 65535},
                                           PositionCase{65535, INT_MIN, 0}));

TEST(ProgressBarState, RangeTakesTheLowSixteenBitsOfACount)
{
    ProgressBarState bar;
    bar.setRange(static_cast<std::uint16_t>(65536));
    EXPECT_EQ(bar.maximum(), 0);
    bar.setRange(static_cast<std::uint16_t>(65537));
    EXPECT_EQ(bar.maximum(), 1);
}

TEST(ProgressBarState, ShrinkingTheRangePullsThePositionIn)
{
    ProgressBarState bar;
    bar.setRange(100);
    bar.setPosition(80);
    bar.setRange(50);
    EXPECT_EQ(bar.position(), 50);
}

TEST(ProgressBarState, StepPastTheMaximumStartsOver)
{
    ProgressBarState bar;
    bar.setRange(25);
    std::vector<int> seen;
    for (int i = 0; i < 4; ++i) {
        bar.stepIt();
        seen.push_back(bar.position());
    }
    EXPECT_EQ(seen, (std::vector<int>{10, 20, 0, 10}));
}

TEST(ProgressBarState, StepLandingOnTheMaximumStays)
{
    ProgressBarState bar;
    bar.setRange(3);
    bar.setStep(1);
    std::vector<int> seen;
    for (int i = 0; i < 5; ++i) {
        bar.stepIt();
        seen.push_back(bar.position());
    }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 0, 1}));
}

TEST(ProgressBarState, StepBelowZeroStartsOver)
{
    ProgressBarState bar;
    bar.setRange(10);
    bar.setPosition(3);
    bar.setStep(-5);
    bar.stepIt();
    EXPECT_EQ(bar.position(), 0);
}

TEST(ProgressBarState, HugeStepDoesNotOverflow)
{
    ProgressBarState bar;
    bar.setRange(65535);
    bar.setPosition(65535);
    bar.setStep(INT_MAX);
    bar.stepIt();
    EXPECT_EQ(bar.position(), 0);
}

TEST(ProgressBarState, ResetEmptiesTheBarAndRestoresTheStep)
{
    ProgressBarState bar;
    bar.setRange(9);
    bar.setPosition(4);
    bar.setStep(1);
    bar.reset();
    EXPECT_EQ(bar.maximum(), 0);
    EXPECT_EQ(bar.position(), 0);
    EXPECT_EQ(bar.step(), 10);
}

}  // namespace
