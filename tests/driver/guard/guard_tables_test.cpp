// The binding, event and scan tables: merging, bounds, the scan window, and memory failures.
#include <gtest/gtest.h>

#include <string>

#include "driver/guard/guard_platform.h"
#include "tests/driver/guard/guard_fixture.h"

namespace zelk::test {
namespace {

Ipv4Address NumberedIp(uint32_t n) {
    Ipv4Address ip;
    ip.Bytes[0] = 10;
    ip.Bytes[1] = static_cast<uint8_t>(n >> 16);
    ip.Bytes[2] = static_cast<uint8_t>(n >> 8);
    ip.Bytes[3] = static_cast<uint8_t>(n);
    return ip;
}

MacAddress NumberedMac(uint32_t n) {
    MacAddress mac{{0x02, 0x00, 0, static_cast<uint8_t>(n >> 16), static_cast<uint8_t>(n >> 8),
                    static_cast<uint8_t>(n)}};
    return mac;
}

// ---- bindings ----

using BindingTableTest = GuardTest;

TEST_F(BindingTableTest, EveryBindingForAnAddressIsConsulted) {
    Trust({{Ip("192.168.1.1"), Mac("00-00-00-00-00-01")}, {Ip("192.168.1.1"), Mac("00-00-00-00-00-02")}});
    const Ipv4Address gateway = Ip("192.168.1.1");
    const MacAddress first = Mac("00-00-00-00-00-01");
    const MacAddress second = Mac("00-00-00-00-00-02");
    EXPECT_TRUE(BindingConflict(&gateway, &first)) << "conflicts with the second binding";
    EXPECT_TRUE(BindingConflict(&gateway, &second)) << "conflicts with the first binding";
    const Ipv4Address other = Ip("192.168.1.2");
    EXPECT_FALSE(BindingConflict(&other, &first));
}

TEST_F(BindingTableTest, ReplacementIsWholeAndOrdered) {
    Trust({{Ip("10.0.0.1"), Mac("00-00-00-00-00-01")}, {Ip("10.0.0.2"), Mac("00-00-00-00-00-02")}});
    EXPECT_EQ(BindingTableCountForTest(), 2u);
    Trust({{Ip("10.0.0.3"), Mac("00-00-00-00-00-03")}});
    EXPECT_EQ(BindingTableCountForTest(), 1u);
    const Ipv4Address old = Ip("10.0.0.1");
    const MacAddress stranger = Mac("00-00-00-00-00-09");
    EXPECT_FALSE(BindingConflict(&old, &stranger)) << "the earlier bindings are gone";
    EXPECT_TRUE(BindingTableReplace(nullptr, 0));
    EXPECT_EQ(BindingTableCountForTest(), 0u);
}

TEST_F(BindingTableTest, FailedReplacementLeavesTheTableEmptyNotAsBefore) {
    Trust({{Ip("10.0.0.1"), Mac("00-00-00-00-00-01")}});
    const ArpBinding next{Ip("10.0.0.2"), Mac("00-00-00-00-00-02")};
    GuardHostFailAllocationForTest(1);
    EXPECT_FALSE(BindingTableReplace(&next, sizeof(next)));
    EXPECT_EQ(BindingTableCountForTest(), 0u);
}

// ---- events ----

using EventTableTest = GuardTest;

struct MergeCase {
    const char* Name;
    GuardEvent First;
    GuardEvent Second;
    bool Merged;
};

void PrintTo(const MergeCase& c, std::ostream* os) {
    *os << c.Name;
}

class EventMerging : public GuardTest, public ::testing::WithParamInterface<MergeCase> {};

TEST_P(EventMerging, MergesOnlyFindingsOfTheSameSort) {
    const MergeCase& c = GetParam();
    EXPECT_TRUE(EventTableAdd(&c.First));
    AdvanceSeconds(5);
    EXPECT_EQ(EventTableAdd(&c.Second), !c.Merged);

    const auto events = Drain();
    ASSERT_EQ(events.size(), c.Merged ? 1u : 2u);
    EXPECT_TRUE(MacEqual(&events[0].Mac, &c.First.Mac)) << "a merge keeps the first finding's fields";
    EXPECT_EQ(uint64_t{events[0].ProcessId}, uint64_t{c.First.ProcessId});
    EXPECT_EQ(uint64_t{events[0].Time}, c.Merged ? kLoadTime + 5 * kTicksPerSecond : kLoadTime);
}

const MergeCase kMergeCases[] = {
    {"InboundSpoofFromAnySenderMerges", MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-00-00-00-00-01", "10.0.0.1"),
     MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-00-00-00-00-02", "10.0.0.2"), true},
    {"LocalSpoofSameImageNameMerges",
     MakeEvent(GUARD_EVENT_LOCAL_SPOOF, "00-00-00-00-00-01", "10.0.0.1", 100, "TOOL.EXE"),
     MakeEvent(GUARD_EVENT_LOCAL_SPOOF, "00-00-00-00-00-02", "10.0.0.2", 200, "TOOL.EXE"), true},
    {"LocalSpoofImageNameComparedWithoutCase",
     MakeEvent(GUARD_EVENT_LOCAL_SPOOF, "00-00-00-00-00-01", "10.0.0.1", 100, "TOOL.EXE"),
     MakeEvent(GUARD_EVENT_LOCAL_SPOOF, "00-00-00-00-00-02", "10.0.0.2", 200, "tool.exe"), true},
    {"LocalSpoofOtherImageNameIsNew",
     MakeEvent(GUARD_EVENT_LOCAL_SPOOF, "00-00-00-00-00-01", "10.0.0.1", 100, "TOOL.EXE"),
     MakeEvent(GUARD_EVENT_LOCAL_SPOOF, "00-00-00-00-00-01", "10.0.0.1", 100, "OTHER.EXE"), false},
    {"ScanSameMacAndIpMerges", MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1"),
     MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1", 7, "X.EXE"), true},
    {"ScanSameMacOtherIpIsNew", MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1"),
     MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.2"), false},
    {"ScanOtherMacSameIpIsNew", MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1"),
     MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-02", "10.0.0.1"), false},
    {"DifferentKindsNeverMerge", MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-00-00-00-00-01", "10.0.0.1"),
     MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1"), false},
    {"UnknownKindNeverMerges", MakeEvent(7, "00-00-00-00-00-01", "10.0.0.1"),
     MakeEvent(7, "00-00-00-00-00-01", "10.0.0.1"), false},
};

INSTANTIATE_TEST_SUITE_P(ByKind, EventMerging, ::testing::ValuesIn(kMergeCases), CaseName());

TEST_F(EventTableTest, ThreeSpoofersBetweenDrainsGiveOneRecordWithTheFirstAddressesAndLastTime) {
    for (uint32_t i = 1; i <= 3; ++i) {
        GuardEvent event = MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-00-00-00-00-00", "10.0.0.0");
        event.Mac = NumberedMac(i);
        event.Ip = NumberedIp(i);
        EventTableAdd(&event);
        AdvanceSeconds(1);
    }
    const auto events = Drain();
    ASSERT_EQ(events.size(), 1u);
    const MacAddress first = NumberedMac(1);
    EXPECT_TRUE(MacEqual(&events[0].Mac, &first));
    EXPECT_EQ(uint64_t{events[0].Time}, kLoadTime + 2 * kTicksPerSecond);
}

TEST_F(EventTableTest, HoldsAtMost8192AndLosesTheRestMergesIncluded) {
    for (uint32_t i = 0; i < GUARD_MAX_EVENTS; ++i) {
        GuardEvent event = MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-00", "0.0.0.0");
        event.Mac = NumberedMac(i);
        ASSERT_TRUE(EventTableAdd(&event)) << i;
    }
    GuardEvent extra = MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-00", "0.0.0.0");
    extra.Mac = NumberedMac(GUARD_MAX_EVENTS);
    EXPECT_FALSE(EventTableAdd(&extra));
    GuardEvent mergeable = MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-00", "0.0.0.0");
    mergeable.Mac = NumberedMac(0);
    AdvanceSeconds(1);
    EXPECT_FALSE(EventTableAdd(&mergeable));
    EXPECT_EQ(EventTableCountForTest(), GUARD_MAX_EVENTS);

    const auto events = Drain();
    ASSERT_EQ(events.size(), GUARD_MAX_EVENTS);
    EXPECT_EQ(uint64_t{events[0].Time}, kLoadTime) << "a full table does not even merge";

    EXPECT_TRUE(EventTableAdd(&extra)) << "a drain makes room again";
}

TEST_F(EventTableTest, FailedDrainsHandOverNothingAndKeepEveryRecord) {
    for (uint32_t i = 0; i < 3; ++i) {
        GuardEvent event = MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-00", "0.0.0.0");
        event.Mac = NumberedMac(i);
        EventTableAdd(&event);
    }
    std::vector<uint8_t> buffer(GUARD_READ_BUFFER_SIZE, 0xEE);
    uint32_t bytes = 12345;
    const struct {
        void* Buffer;
        uint32_t Length;
    } refused[] = {
        {buffer.data(), 0},   {buffer.data(), 2 * GUARD_EVENT_SIZE}, {buffer.data(), 100},
        {buffer.data(), 274}, {nullptr, GUARD_READ_BUFFER_SIZE},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(EventTableDrain(r.Buffer, r.Length, &bytes)) << r.Length;
        EXPECT_EQ(bytes, 12345u) << "nothing reported handed over";
        EXPECT_EQ(EventTableCountForTest(), 3u);
    }
    EXPECT_EQ(buffer[0], 0xEE) << "nothing copied by a refused drain";

    ASSERT_TRUE(EventTableDrain(buffer.data(), 3 * GUARD_EVENT_SIZE, &bytes));
    EXPECT_EQ(bytes, 273u);
    EXPECT_FALSE(EventTableDrain(buffer.data(), GUARD_READ_BUFFER_SIZE, &bytes)) << "nothing left pending";
}

TEST_F(EventTableTest, AllocationFailureLosesTheEventAndKeepsTheOthers) {
    GuardEvent first = MakeEvent(GUARD_EVENT_INBOUND_SPOOF, "00-00-00-00-00-01", "10.0.0.1");
    GuardEvent second = MakeEvent(GUARD_EVENT_ARP_SCAN, "00-00-00-00-00-01", "10.0.0.1");
    ASSERT_TRUE(EventTableAdd(&first));
    GuardHostFailAllocationForTest(1);
    EXPECT_FALSE(EventTableAdd(&second));
    const auto events = Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Kind, GUARD_EVENT_INBOUND_SPOOF);
}

// ---- scans ----

class ScanTableTest : public GuardTest {
protected:
    const MacAddress scanner_ = Mac("00-1A-2B-3C-4D-5E");
    const Ipv4Address scannerIp_ = Ip("192.168.1.10");

    void Touch(uint32_t firstTarget, uint32_t count, const MacAddress& sender) {
        for (uint32_t i = firstTarget; i < firstTarget + count; ++i) {
            const Ipv4Address target = NumberedIp(i);
            ScanTableTouch(&sender, &scannerIp_, &target);
        }
    }
};

TEST_F(ScanTableTest, The128thDistinctTargetMakesAScan) {
    Touch(0, SCAN_MIN_TARGETS - 1, scanner_);
    EXPECT_FALSE(ScanTableCheck(&scanner_));
    Touch(0, SCAN_MIN_TARGETS - 1, scanner_);
    EXPECT_FALSE(ScanTableCheck(&scanner_)) << "repeated targets do not count twice";
    Touch(SCAN_MIN_TARGETS - 1, 1, scanner_);
    EXPECT_TRUE(ScanTableCheck(&scanner_));
}

TEST_F(ScanTableTest, AnEntryCountsForTwoWholeSecondsAfterItsOwn) {
    // Touched late in second t: still recent at t+1 and t+2 (up to 3 real seconds later), not at t+3.
    GuardHostAdvanceTimeForTest(kTicksPerSecond - 1);
    Touch(0, SCAN_MIN_TARGETS, scanner_);
    const struct {
        uint64_t Ticks;
        bool Scanning;
    } steps[] = {{1, true}, {kTicksPerSecond, true}, {kTicksPerSecond - 1, true}, {1, false}};
    for (const auto& step : steps) {
        GuardHostAdvanceTimeForTest(step.Ticks);
        EXPECT_EQ(ScanTableCheck(&scanner_), step.Scanning)
            << "at " << (GuardQuerySystemTime() - kLoadTime) << " ticks after load";
    }
}

TEST_F(ScanTableTest, ATargetMovesToItsLatestSender) {
    const MacAddress other = Mac("00-16-3E-00-00-20");
    Touch(0, SCAN_MIN_TARGETS, scanner_);
    Touch(0, 1, other);
    EXPECT_FALSE(ScanTableCheck(&scanner_)) << "one target now belongs to the other sender";
    EXPECT_EQ(ScanTableCountForTest(), SCAN_MIN_TARGETS);
}

TEST_F(ScanTableTest, FullTableReusesStaleEntriesSoLaterScansAreStillFound) {
    Touch(0, GUARD_MAX_SCAN_ENTRIES, Mac("00-16-3E-00-00-20"));
    ASSERT_EQ(ScanTableCountForTest(), GUARD_MAX_SCAN_ENTRIES);

    // While every entry is within the window there is nothing to reuse.
    Touch(GUARD_MAX_SCAN_ENTRIES, SCAN_MIN_TARGETS, scanner_);
    EXPECT_FALSE(ScanTableCheck(&scanner_));

    AdvanceSeconds(3);
    Touch(100000, SCAN_MIN_TARGETS, scanner_);
    EXPECT_TRUE(ScanTableCheck(&scanner_));
    EXPECT_EQ(ScanTableCountForTest(), GUARD_MAX_SCAN_ENTRIES) << "reuse never grows the table";
}

TEST_F(ScanTableTest, AllocationFailureRecordsNothing) {
    Touch(0, 1, scanner_);
    GuardHostFailAllocationForTest(1);
    const Ipv4Address target = NumberedIp(7);
    EXPECT_FALSE(ScanTableTouch(&scanner_, &scannerIp_, &target));
    EXPECT_EQ(ScanTableCountForTest(), 1u);
}

} // namespace
} // namespace zelk::test
