// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/clock.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace nyra;

namespace {

auto fields(const LocalTime& t) {
    return std::make_tuple(t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond);
}

}  // namespace

TEST(VirtualClock, StartsAtItsStartTime) {
    const VirtualClock clock({2026, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(clock.nowMs(), 0);
    EXPECT_EQ(fields(clock.localTime()), std::make_tuple(2026, 3, 4, 5, 6, 7, 8));
}

TEST(VirtualClock, SleepingAdvancesTimeEvenByOneMillisecond) {
    VirtualClock clock({2026, 1, 1, 8, 0, 0, 0});
    clock.sleepMs(1);
    EXPECT_EQ(clock.nowMs(), 1);
    clock.advance(1);
    EXPECT_EQ(clock.nowMs(), 2);
    clock.sleepMs(998);
    EXPECT_EQ(clock.nowMs(), 1000);
    EXPECT_EQ(fields(clock.localTime()), std::make_tuple(2026, 1, 1, 8, 0, 1, 0));
}

TEST(VirtualClock, NeverRunsBackwards) {
    VirtualClock clock;
    clock.advance(50);
    clock.advance(-20);
    clock.sleepMs(-5);
    clock.sleepMs(0);
    EXPECT_EQ(clock.nowMs(), 50);
}

TEST(VirtualClock, MillisecondsCarryIntoSeconds) {
    VirtualClock clock({2026, 6, 1, 12, 0, 0, 999});
    clock.advance(1);
    EXPECT_EQ(fields(clock.localTime()), std::make_tuple(2026, 6, 1, 12, 0, 1, 0));
    clock.advance(2500);
    EXPECT_EQ(fields(clock.localTime()), std::make_tuple(2026, 6, 1, 12, 0, 3, 500));
}

TEST(VirtualClock, LongWaitsRollOverMinutesHoursAndDays) {
    VirtualClock clock({2026, 1, 31, 23, 59, 30, 0});
    clock.advance(90'000);  // past midnight, into February
    EXPECT_EQ(fields(clock.localTime()), std::make_tuple(2026, 2, 1, 0, 1, 0, 0));
    clock.advance(28LL * 24 * 3600 * 1000);
    EXPECT_EQ(fields(clock.localTime()), std::make_tuple(2026, 3, 1, 0, 1, 0, 0));
}

TEST(VirtualClock, YearEndAndLeapDay) {
    VirtualClock newYear({2025, 12, 31, 23, 59, 59, 500});
    newYear.advance(600);
    EXPECT_EQ(fields(newYear.localTime()), std::make_tuple(2026, 1, 1, 0, 0, 0, 100));

    VirtualClock leap({2024, 2, 28, 23, 59, 59, 0});
    leap.advance(1000);
    EXPECT_EQ(fields(leap.localTime()), std::make_tuple(2024, 2, 29, 0, 0, 0, 0));
    leap.advance(24LL * 3600 * 1000);
    EXPECT_EQ(fields(leap.localTime()), std::make_tuple(2024, 3, 1, 0, 0, 0, 0));
}
