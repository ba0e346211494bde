// The local calendar time of event Times, in a few time zones set through TZ.
#include "service/files/event_time.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include "tests/service/files/event_records.h"

namespace zelk::test {
namespace {

struct LocalTimeCase {
    const char* Name;
    const char* Zone; // a POSIX TZ rule, so no time zone database is needed
    uint64_t Time;
    EventCalendarTime Expected;
};

void UseZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
}

class EventTimeToLocalTest : public ::testing::TestWithParam<LocalTimeCase> {};

TEST_P(EventTimeToLocalTest, BreaksDownInTheZone) {
    UseZone(GetParam().Zone);
    const EventCalendarTime actual = EventTimeToLocal(GetParam().Time);
    const EventCalendarTime& expected = GetParam().Expected;
    EXPECT_EQ(actual.Known, expected.Known);
    EXPECT_EQ(actual.Year, expected.Year);
    EXPECT_EQ(actual.Month, expected.Month);
    EXPECT_EQ(actual.Day, expected.Day);
    EXPECT_EQ(actual.Hour, expected.Hour);
    EXPECT_EQ(actual.Minute, expected.Minute);
    EXPECT_EQ(actual.Second, expected.Second);
}

constexpr const char* kUtc = "UTC0";
constexpr const char* kBerlin = "CET-1CEST,M3.5.0,M10.5.0/3";
constexpr const char* kNewYork = "EST5EDT,M3.2.0,M11.1.0";
constexpr EventCalendarTime kUnknown{false, 0, 0, 0, 0, 0, 0};

INSTANTIATE_TEST_SUITE_P(
    Zones, EventTimeToLocalTest,
    ::testing::Values(
        LocalTimeCase{"Utc", kUtc, EventTimeOfUtc(2011, 3, 25, 21, 35, 37), {true, 2011, 3, 25, 21, 35, 37}},
        LocalTimeCase{"WinterInBerlin",
                      kBerlin,
                      EventTimeOfUtc(2011, 3, 25, 20, 35, 37),
                      {true, 2011, 3, 25, 21, 35, 37}},
        LocalTimeCase{
            "SummerInBerlin", kBerlin, EventTimeOfUtc(2011, 3, 27, 1, 30, 0), {true, 2011, 3, 27, 3, 30, 0}},
        LocalTimeCase{
            "LeapDay", kUtc, EventTimeOfUtc(2012, 2, 29, 23, 59, 59), {true, 2012, 2, 29, 23, 59, 59}},
        LocalTimeCase{
            "DayAfterLeapDay", kUtc, EventTimeOfUtc(2012, 3, 1, 0, 0, 0), {true, 2012, 3, 1, 0, 0, 0}},
        LocalTimeCase{"LeapDayReachedByZone",
                      kBerlin,
                      EventTimeOfUtc(2016, 2, 28, 23, 30, 0),
                      {true, 2016, 2, 29, 0, 30, 0}},
        LocalTimeCase{"DayAfterLeapDayLeftByZone",
                      kNewYork,
                      EventTimeOfUtc(2016, 3, 1, 4, 59, 59),
                      {true, 2016, 2, 29, 23, 59, 59}},
        LocalTimeCase{"FractionDropped",
                      kUtc,
                      EventTimeOfUtc(2011, 3, 25, 21, 35, 37) + 9999999,
                      {true, 2011, 3, 25, 21, 35, 37}},
        LocalTimeCase{"FirstSecond", kUtc, EventTimeOfUtc(1970, 1, 1, 0, 0, 0), {true, 1970, 1, 1, 0, 0, 0}},
        LocalTimeCase{
            "LastSecond", kUtc, EventTimeOfUtc(3000, 12, 31, 23, 59, 59), {true, 3000, 12, 31, 23, 59, 59}},
        LocalTimeCase{"BeforeFirstSecond", kUtc, EventTimeOfUtc(1969, 12, 31, 23, 59, 59), kUnknown},
        LocalTimeCase{"AfterLastSecond", kUtc, EventTimeOfUtc(3001, 1, 1, 0, 0, 0), kUnknown},
        LocalTimeCase{"Zero", kUtc, 0, kUnknown}, LocalTimeCase{"Largest", kUtc, UINT64_MAX, kUnknown}),
    [](const ::testing::TestParamInfo<LocalTimeCase>& row) { return std::string(row.param.Name); });

TEST(EventTimeToUnixSecondsTest, CountsFrom1970) {
    EXPECT_EQ(EventTimeToUnixSeconds(116444736000000000ull), 0);
    EXPECT_EQ(EventTimeToUnixSeconds(116444736000000000ull + 19999999ull), 1);
    EXPECT_EQ(EventTimeToUnixSeconds(0), -11644473600ll);
}

} // namespace
} // namespace zelk::test
