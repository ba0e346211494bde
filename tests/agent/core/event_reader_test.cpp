#include "agent/core/event_reader.h"

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/agent/event_records.h"

namespace {

struct ShownRow {
    std::u16string timeText;
    std::u16string eventText;
    bool alert;
};

class EventReaderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    EventPass Pass(const std::vector<uint8_t>& bytes) {
        rows.clear();
        return ReadNewEventsFromBytes(bytes.data(), bytes.size(), lastEventTime, lastEvent,
                                      [this](const EventRow& row) {
                                          rows.push_back({row.timeText, row.eventText, row.alert});
                                      });
    }

    int64_t lastEventTime = 0;
    char16_t lastEvent[EVENT_TEXT_UNITS] = {};
    std::vector<ShownRow> rows;
};

struct PassCase {
    const char* name;
    std::vector<GuardEvent> events;
    size_t tail;
    std::vector<uint64_t> shownTimes; // the Time of each row, in the order the rows are handed over
};

class EventReaderPassTest : public EventReaderTest, public ::testing::WithParamInterface<PassCase> {};

TEST_P(EventReaderPassTest, ShowsOnlyRecordsNewerThanAllBefore) {
    const PassCase& c = GetParam();
    const EventPass pass = Pass(EventFileBytes(c.events, c.tail));

    EXPECT_EQ(pass.added, !c.shownTimes.empty());
    ASSERT_EQ(rows.size(), c.shownTimes.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        char16_t expected[EVENT_TIME_TEXT_UNITS];
        FormatEventTime(c.shownTimes[i], expected);
        EXPECT_EQ(rows[i].timeText, expected) << "row " << i;
    }
    if (!c.shownTimes.empty()) {
        EXPECT_EQ(lastEventTime, static_cast<int64_t>(c.shownTimes.back()));
    }
}

const uint64_t a = EventTimeAt(1), b = EventTimeAt(2), c = EventTimeAt(3);

INSTANTIATE_TEST_SUITE_P(
    Files, EventReaderPassTest,
    ::testing::Values(
        PassCase{"Empty", {}, 0, {}}, PassCase{"ShorterThanOneRecord", {}, 90, {}},
        PassCase{"TwoHundredBytesHoldTwoRecords", {MakeEvent(2, a), MakeEvent(3, b)}, 18, {a, b}},
        PassCase{"RisingTimes", {MakeEvent(2, a), MakeEvent(2, b), MakeEvent(3, c)}, 0, {a, b, c}},
        PassCase{
            "OlderAfterNewerIsNeverShown", {MakeEvent(2, b), MakeEvent(2, a), MakeEvent(2, c)}, 0, {b, c}},
        PassCase{"EqualTimesOnlyTheFirst", {MakeEvent(2, a), MakeEvent(3, a)}, 0, {a}},
        PassCase{"TimeAboveSignedRangeIsNeverShown", {MakeEvent(2, 0x8000000000000000ull)}, 0, {}}),
    [](const ::testing::TestParamInfo<PassCase>& param) { return param.param.name; });

TEST_F(EventReaderTest, SecondPassOverTheSameFileAddsNothing) {
    const auto bytes = EventFileBytes({MakeEvent(2, a), MakeEvent(1, b), MakeEvent(3, c)});
    EXPECT_TRUE(Pass(bytes).added);
    const EventPass second = Pass(bytes);
    EXPECT_FALSE(second.added);
    EXPECT_TRUE(rows.empty());
}

TEST_F(EventReaderTest, AlertOnlyWhenAnAddedRowIsAnAttack) {
    EXPECT_FALSE(Pass(EventFileBytes({MakeEvent(3, a), MakeEvent(3, b)})).alerted);
    EXPECT_TRUE(Pass(EventFileBytes({MakeEvent(3, a), MakeEvent(3, b), MakeEvent(1, c)})).alerted);
    // the attack was shown by the pass before: nothing new alerts
    EXPECT_FALSE(Pass(EventFileBytes({MakeEvent(2, a), MakeEvent(3, EventTimeAt(4))})).alerted);
}

TEST_F(EventReaderTest, LastEventFollowsTheLastAddedRowAndEmptiesForUnknownKinds) {
    Pass(EventFileBytes({MakeEvent(3, a), MakeEvent(2, b)}));
    EXPECT_EQ(std::u16string(lastEvent),
              u"In ARP attack, ARP Spoofing from IP=192.168.1.1, MAC=00-1A-2B-3C-4D-5E.");
    for (uint8_t kind : {uint8_t{0}, uint8_t{4}}) {
        SCOPED_TRACE(kind);
        const EventPass pass =
            Pass(EventFileBytes({MakeEvent(kind, static_cast<uint64_t>(lastEventTime) + 1)}));
        EXPECT_TRUE(pass.added);
        EXPECT_FALSE(pass.alerted);
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_FALSE(rows[0].timeText.empty());
        EXPECT_TRUE(rows[0].eventText.empty());
        EXPECT_EQ(lastEvent[0], u'\0');
        Pass(EventFileBytes({MakeEvent(2, static_cast<uint64_t>(lastEventTime) + 1)}));
    }
}

struct TextCase {
    const char* name;
    GuardEvent event;
    std::u16string text;
    bool alert;
};

class EventTextTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(EventTextTest, DescribesTheRecord) {
    char16_t text[EVENT_TEXT_UNITS];
    EXPECT_EQ(FormatEventText(GetParam().event, text), GetParam().alert);
    EXPECT_EQ(std::u16string(text), GetParam().text);
}

GuardEvent WithUnterminatedName() {
    GuardEvent event = MakeEvent(1, a, "02-00-00-00-00-01", "10.0.0.9", 77);
    uint16_t units[GUARD_PROCESS_NAME_UNITS];
    for (auto& unit : units) {
        unit = 'N';
    }
    memcpy(event.ProcessName, units, sizeof(units));
    return event;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EventTextTest,
    ::testing::Values(
        TextCase{"LocalSpoofNamed", MakeEvent(1, a, "02-00-00-00-00-01", "10.0.0.9", 4321, "ARPTOOL.EXE"),
                 u"Program ARPTOOL.EXE (PID=4321) send ARP spoofing packet, Dest IP=10.0.0.9, "
                 u"MAC=02-00-00-00-00-01.",
                 true},
        TextCase{"LocalSpoofWithoutNameIsSystem", MakeEvent(1, a, "02-00-00-00-00-01", "10.0.0.9", 4),
                 u"Program System (PID=4) send ARP spoofing packet, Dest IP=10.0.0.9, MAC=02-00-00-00-00-01.",
                 true},
        TextCase{"LocalSpoofNameWithoutTerminatorEndsAtThirtyTwoUnits", WithUnterminatedName(),
                 u"Program " + std::u16string(32, u'N') +
                     u" (PID=77) send ARP spoofing packet, Dest IP=10.0.0.9, MAC=02-00-00-00-00-01.",
                 true},
        TextCase{"InboundSpoof", MakeEvent(2, a, "00-1A-2B-3C-4D-5E", "192.168.1.1"),
                 u"In ARP attack, ARP Spoofing from IP=192.168.1.1, MAC=00-1A-2B-3C-4D-5E.", true},
        TextCase{"LocalScan",
                 MakeEvent(3, a, "02-00-00-00-00-01", "10.0.0.9", 18446744073709551615ull, "SCAN.EXE"),
                 u"Program SCAN.EXE (PID=18446744073709551615) use ARP SCAN network.", false},
        TextCase{"ScanNamedWithoutProcessIdIsNetworkScan",
                 MakeEvent(3, a, "AA-BB-CC-DD-EE-FF", "172.16.0.254", 0, "SCAN.EXE"),
                 u"Find ARP scan this network from IP=172.16.0.254, MAC=AA-BB-CC-DD-EE-FF.", false},
        TextCase{"ScanWithProcessIdWithoutNameIsNetworkScan",
                 MakeEvent(3, a, "AA-BB-CC-DD-EE-FF", "172.16.0.254", 12),
                 u"Find ARP scan this network from IP=172.16.0.254, MAC=AA-BB-CC-DD-EE-FF.", false},
        TextCase{"KindZeroIsEmpty", MakeEvent(0, a), u"", false},
        TextCase{"KindFourIsEmpty", MakeEvent(4, a, "00-1A-2B-3C-4D-5E", "192.168.1.1", 5, "X.EXE"), u"",
                 false}),
    [](const ::testing::TestParamInfo<TextCase>& param) { return param.param.name; });

struct TimeCase {
    uint64_t time;
    std::u16string text;
};

class EventTimeTest : public EventReaderTest, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(EventTimeTest, ShowsTheLocalCalendarTime) {
    char16_t text[EVENT_TIME_TEXT_UNITS];
    FormatEventTime(GetParam().time, text);
    EXPECT_EQ(std::u16string(text), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Utc, EventTimeTest,
                         ::testing::Values(TimeCase{129753111670000000ull, u"2012/03/04 05:06:07"},
                                           TimeCase{133537247990000000ull, u"2024/02/29 23:59:59"},
                                           TimeCase{133313040000000000ull, u"2023/06/15 12:00:00"},
                                           TimeCase{133313040009999999ull, u"2023/06/15 12:00:00"},
                                           // no local breakdown: the raw Time rather than a made-up date
                                           TimeCase{5ull, u"5"}));

} // namespace
