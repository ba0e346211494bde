// The four event lines: which one a record gets, and each character of it.
#include "service/files/event_line.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <string>

#include "tests/service/files/event_records.h"

namespace zelk::test {
namespace {

constexpr EventCalendarTime kExampleTime{true, 2011, 3, 25, 21, 35, 37};
constexpr EventCalendarTime kUnknownTime{false, 0, 0, 0, 0, 0, 0};

std::string Line(EventLineVariant variant, const EventCalendarTime& time, const GuardEvent& event) {
    char line[EVENT_LINE_BUFFER_SIZE];
    const size_t length = FormatEventLine(variant, time, event, line, sizeof(line));
    EXPECT_EQ(length, strlen(line));
    return line;
}

struct LineCase {
    const char* Name;
    EventLineVariant Variant;
    EventCalendarTime Time;
    GuardEvent Event;
    const char* Expected;
};

class FormatEventLineTest : public ::testing::TestWithParam<LineCase> {};

TEST_P(FormatEventLineTest, WritesTheLine) {
    EXPECT_EQ(Line(GetParam().Variant, GetParam().Time, GetParam().Event), GetParam().Expected);
}

const std::u16string kName31 = u"ABCDEFGHIJKLMNOPQRSTUVWXYZ01234";
const std::u16string kName32 = kName31 + u"5";

INSTANTIATE_TEST_SUITE_P(
    Lines, FormatEventLineTest,
    ::testing::Values(
        LineCase{"InboundSpoofExample", EVENT_LINE_INBOUND_SPOOF, kExampleTime,
                 MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-1A-2B-3C-4D-5E", "192.168.1.10"),
                 "[2][2011/03/25 21:35:37] In ARP attack, ARP Spoofing from IP=192.168.1.10, "
                 "MAC=00-1A-2B-3C-4D-5E."},
        LineCase{
            "NetworkScan",
            EVENT_LINE_NETWORK_SCAN,
            {true, 2012, 2, 29, 0, 0, 5},
            MakeEvent(GUARD_EVENT_ARP_SCAN, "AA-BB-CC-0D-0E-0F", "10.0.0.254"),
            "[1][2012/02/29 00:00:05] Find ARP scan this network from IP=10.0.0.254, MAC=AA-BB-CC-0D-0E-0F."},
        LineCase{"ProgramScan",
                 EVENT_LINE_PROGRAM_SCAN,
                 {true, 2012, 3, 1, 9, 8, 7},
                 MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1", 1234, u"SCANNER.EXE"),
                 "[1][2012/03/01 09:08:07] Program SCANNER.EXE (PID=1234) use ARP SCAN network."},
        LineCase{"LocalSpoof", EVENT_LINE_LOCAL_SPOOF, kExampleTime,
                 MakeEvent(GUARD_EVENT_LOCAL_SPOOF, "de:ad:be:ef:00:01", "192.168.1.1", 4321, u"EVIL.EXE"),
                 "[3][2011/03/25 21:35:37] Program EVIL.EXE (PID=4321) send ARP spoofing packet, Dest "
                 "IP=192.168.1.1, MAC=DE-AD-BE-EF-00-01."},
        LineCase{
            "ThirtyOneCharacterName", EVENT_LINE_PROGRAM_SCAN, kExampleTime,
            MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1", 7, kName31),
            "[1][2011/03/25 21:35:37] Program ABCDEFGHIJKLMNOPQRSTUVWXYZ01234 (PID=7) use ARP SCAN network."},
        LineCase{"NameFillingEveryUnitShowsThirtyOne", EVENT_LINE_LOCAL_SPOOF, kExampleTime,
                 MakeEvent(GUARD_EVENT_LOCAL_SPOOF, "00-00-00-00-00-01", "10.0.0.1", 7, kName32),
                 "[3][2011/03/25 21:35:37] Program ABCDEFGHIJKLMNOPQRSTUVWXYZ01234 (PID=7) send ARP spoofing "
                 "packet, Dest IP=10.0.0.1, MAC=00-00-00-00-00-01."},
        LineCase{"ProcessIdAbove32Bits", EVENT_LINE_PROGRAM_SCAN, kExampleTime,
                 MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1", 4294967296ull, u"A.EXE"),
                 "[1][2011/03/25 21:35:37] Program A.EXE (PID=4294967296) use ARP SCAN network."},
        LineCase{
            "LargestProcessId", EVENT_LINE_LOCAL_SPOOF, kExampleTime,
            MakeEvent(GUARD_EVENT_LOCAL_SPOOF, "00-00-00-00-00-01", "255.255.255.255", UINT64_MAX, u"A.EXE"),
            "[3][2011/03/25 21:35:37] Program A.EXE (PID=18446744073709551615) send ARP spoofing packet, "
            "Dest IP=255.255.255.255, MAC=00-00-00-00-00-01."},
        LineCase{"UnitsAbove255ShowAsQuestionMarks", EVENT_LINE_PROGRAM_SCAN, kExampleTime,
                 MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1", 9, u"A\u0416B.EXE"),
                 "[1][2011/03/25 21:35:37] Program A?B.EXE (PID=9) use ARP SCAN network."},
        LineCase{
            "FarYearKeepsAllDigits",
            EVENT_LINE_INBOUND_SPOOF,
            {true, 12345, 1, 2, 3, 4, 5},
            MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-1A-2B-3C-4D-5E", "0.0.0.0"),
            "[2][12345/01/02 03:04:05] In ARP attack, ARP Spoofing from IP=0.0.0.0, MAC=00-1A-2B-3C-4D-5E."},
        LineCase{"UnknownTime", EVENT_LINE_INBOUND_SPOOF, kUnknownTime,
                 MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-1A-2B-3C-4D-5E", "192.168.1.10"),
                 "[2][----/--/-- --:--:--] In ARP attack, ARP Spoofing from IP=192.168.1.10, "
                 "MAC=00-1A-2B-3C-4D-5E."},
        LineCase{"NoLineForNoVariant", EVENT_LINE_NONE, kExampleTime,
                 MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-1A-2B-3C-4D-5E", "192.168.1.10"), ""}),
    [](const ::testing::TestParamInfo<LineCase>& row) { return std::string(row.param.Name); });

struct VariantCase {
    const char* Name;
    GuardEvent Event;
    EventLineVariant Expected;
};

class EventLineVariantForTest : public ::testing::TestWithParam<VariantCase> {};

TEST_P(EventLineVariantForTest, PicksTheLine) {
    EXPECT_EQ(EventLineVariantFor(GetParam().Event), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EventLineVariantForTest,
    ::testing::Values(
        VariantCase{"LocalSpoof", MakeEvent(1, "00-00-00-00-00-01", "10.0.0.1", 5, u"A.EXE"),
                    EVENT_LINE_LOCAL_SPOOF},
        VariantCase{"InboundSpoof", MakeEvent(2, "00-00-00-00-00-01", "10.0.0.1"), EVENT_LINE_INBOUND_SPOOF},
        VariantCase{"ScanByNamedProgram", MakeEvent(3, "00-00-00-00-00-01", "10.0.0.1", 5, u"A.EXE"),
                    EVENT_LINE_PROGRAM_SCAN},
        // The name decides, not the id: the poller goes by the name alone.
        VariantCase{"ScanByNamedProgramWithoutId", MakeEvent(3, "00-00-00-00-00-01", "10.0.0.1", 0, u"A.EXE"),
                    EVENT_LINE_PROGRAM_SCAN},
        VariantCase{"ScanOnTheWire", MakeEvent(3, "00-00-00-00-00-01", "10.0.0.1"), EVENT_LINE_NETWORK_SCAN},
        VariantCase{"ScanWithIdButNoName", MakeEvent(3, "00-00-00-00-00-01", "10.0.0.1", 5),
                    EVENT_LINE_NETWORK_SCAN},
        VariantCase{"KindZero", MakeEvent(0, "00-00-00-00-00-01", "10.0.0.1"), EVENT_LINE_NONE},
        VariantCase{"KindFour", MakeEvent(4, "00-00-00-00-00-01", "10.0.0.1"), EVENT_LINE_NONE},
        VariantCase{"KindMax", MakeEvent(255, "00-00-00-00-00-01", "10.0.0.1"), EVENT_LINE_NONE}),
    [](const ::testing::TestParamInfo<VariantCase>& row) { return std::string(row.param.Name); });

TEST(FormatEventLineBoundsTest, CutsToTheBufferAndTerminates) {
    const GuardEvent event = MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-1A-2B-3C-4D-5E", "192.168.1.10");
    char line[16];
    memset(line, 'x', sizeof(line));
    EXPECT_EQ(FormatEventLine(EVENT_LINE_INBOUND_SPOOF, kExampleTime, event, line, sizeof(line)), 15u);
    EXPECT_STREQ(line, "[2][2011/03/25 ");
    EXPECT_EQ(FormatEventLine(EVENT_LINE_INBOUND_SPOOF, kExampleTime, event, line, 0), 0u);
    EXPECT_EQ(line[0], '[');
}

TEST(FormatEventLineForRecordTest, UsesTheRecordsKindAndLocalTime) {
    setenv("TZ", "UTC0", 1);
    tzset();
    struct Case {
        GuardEvent Event;
        const char* Expected;
    };
    GuardEvent leapDay = MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-1A-2B-3C-4D-5E", "192.168.1.10");
    leapDay.Time = EventTimeOfUtc(2012, 2, 29, 12, 0, 0);
    GuardEvent dayAfter = MakeEvent(GUARD_EVENT_ARP_SCAN, "00-1A-2B-3C-4D-5E", "192.168.1.10");
    dayAfter.Time = EventTimeOfUtc(2012, 3, 1, 0, 0, 1);
    GuardEvent unknownKind = MakeEvent(7, "00-1A-2B-3C-4D-5E", "192.168.1.10");
    const Case cases[] = {
        {leapDay,
         "[2][2012/02/29 12:00:00] In ARP attack, ARP Spoofing from IP=192.168.1.10, MAC=00-1A-2B-3C-4D-5E."},
        {dayAfter, "[1][2012/03/01 00:00:01] Find ARP scan this network from IP=192.168.1.10, "
                   "MAC=00-1A-2B-3C-4D-5E."},
        {unknownKind, ""},
    };
    for (const Case& c : cases) {
        char line[EVENT_LINE_BUFFER_SIZE] = "untouched";
        const size_t length = FormatEventLineForRecord(c.Event, line, sizeof(line));
        EXPECT_EQ(length, strlen(c.Expected));
        EXPECT_STREQ(line, c.Expected);
    }
}

} // namespace
} // namespace zelk::test
