// The poller on the simulated host: when it pushes and drains, which batches it takes, and which records
// leave a line, in the order the service sees them.
#include "service/poller/event_poller.h"

#include <gtest/gtest.h>

#include "tests/service/support/simulated_service_fixture.h"

namespace zelk {
namespace {

using EventPollerTest = SimulatedServiceFixture;

std::vector<GuardDeviceRequest> RequestsAt(const std::vector<GuardDeviceRequest>& requests, int64_t second) {
    std::vector<GuardDeviceRequest> at;
    for (const GuardDeviceRequest& request : requests) {
        if (request.TimeMilliseconds == kStartMs + second * 1000) {
            at.push_back(request);
        }
    }
    return at;
}

TEST_F(EventPollerTest, PushesBindingsBeforeTheFirstDrainAndEveryFifthCycle) {
    AddLan();
    StartPoller();
    RunUntilSecond(11);
    const std::vector<GuardDeviceRequest> requests = host->GuardRequests();
    for (int64_t second = 0; second <= 10; ++second) {
        const std::vector<GuardDeviceRequest> at = RequestsAt(requests, second);
        const bool pushes = second % 5 == 0;
        ASSERT_EQ(at.size(), pushes ? 2u : 1u) << "second " << second;
        if (pushes) {
            EXPECT_EQ(at[0].Code, IOCTL_ZELKARP_SET_BINDINGS);
            EXPECT_EQ(at[0].InputLength, ARP_BINDING_SIZE);
            EXPECT_TRUE(at[0].Succeeded);
        }
        EXPECT_EQ(at.back().Code, IOCTL_ZELKARP_READ_EVENTS);
        EXPECT_EQ(at.back().OutputLength, 745472u) << "room for all 8192 records the driver may hold";
    }
    EXPECT_EQ(host->OpenHandleCount(), 0u) << "nothing is held open between cycles";
}

TEST_F(EventPollerTest, StartsTheProtocolDriversServiceOnce) {
    StartPoller();
    RunUntilSecond(20);
    const std::vector<ServiceStartRecord> starts = host->ServiceStarts();
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_EQ(starts[0].Name, L"ZELKProt");
    EXPECT_EQ(starts[0].TimeMilliseconds, kStartMs);
}

TEST_F(EventPollerTest, NeverPushesAnEmptyBindingList) {
    host->AddAdapter(SimulatedAdapter{kLanAdapter, Mac(kHostMac), kHostIp, kGatewayIp}); // no ARP answer
    StartPoller();
    RunUntilSecond(10);
    for (const GuardDeviceRequest& request : host->GuardRequests()) {
        EXPECT_NE(request.Code, IOCTL_ZELKARP_SET_BINDINGS);
    }
}

TEST_F(EventPollerTest, KeepsPollingWhileTheGuardDeviceIsMissing) {
    host->SetGuardDevicePresent(false);
    StartPoller();
    RunUntilSecond(3);
    EXPECT_TRUE(host->GuardRequests().empty());
    host->SetGuardDevicePresent(true);
    RunUntilSecond(4);
    EXPECT_EQ(host->GuardRequests().size(), 1u);
}

struct DrainCase {
    const char* Name;
    size_t Bytes;
    size_t ExpectedLines;
};

class DrainAnswerTest : public SimulatedServiceFixture, public ::testing::WithParamInterface<DrainCase> {};

// Only a whole, non-empty number of records is handled; anything else is dropped whole.
TEST_P(DrainAnswerTest, HandlesOnlyWholeBatches) {
    std::vector<uint8_t> bytes = RecordBytes({MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10"),
                                              MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.11"),
                                              MakeRecord(GUARD_EVENT_ARP_SCAN, "10.0.0.9")});
    bytes.resize(GetParam().Bytes);
    StartPoller();
    host->QueueGuardReadAnswerForTest(bytes);
    RunUntilSecond(2);
    EXPECT_EQ(LogLines().size(), GetParam().ExpectedLines);
    EXPECT_EQ(EventFileRecords().size(), GetParam().ExpectedLines);
}

INSTANTIATE_TEST_SUITE_P(Batches, DrainAnswerTest,
                         ::testing::Values(DrainCase{"Empty", 0, 0}, DrainCase{"OneRecordShort", 90, 0},
                                           DrainCase{"TwoRecordsAndOneByte", 183, 0},
                                           DrainCase{"OneRecord", 91, 1}, DrainCase{"ThreeRecords", 273, 3}),
                         [](const ::testing::TestParamInfo<DrainCase>& row) { return row.param.Name; });

struct Batch {
    int64_t Second; // drained at this second after the start, in increasing order, from 1
    std::vector<GuardEvent> Records;
};

struct RecordCase {
    const char* Name;
    bool WithGateway; // a LAN adapter whose gateway answers, so that the binding list is not empty
    std::vector<Batch> Batches;
    std::vector<std::string> ExpectedTags;
};

void PrintTo(const RecordCase& row, std::ostream* out) {
    *out << row.Name;
}

class RecordHandlingTest : public SimulatedServiceFixture,
                           public ::testing::WithParamInterface<RecordCase> {};

TEST_P(RecordHandlingTest, LogsWhatIsNewEnough) {
    if (GetParam().WithGateway) {
        AddLan();
    }
    StartPoller();
    for (const Batch& batch : GetParam().Batches) {
        DrainAt(batch.Second, batch.Records);
    }
    EXPECT_EQ(LogTags(), GetParam().ExpectedTags);
    EXPECT_EQ(EventFileRecords().size(), GetParam().ExpectedTags.size());
}

GuardEvent Inbound(const char* ip) {
    return MakeRecord(GUARD_EVENT_INBOUND_SPOOF, ip);
}
GuardEvent Local(const char* name, const char* ip) {
    return MakeRecord(GUARD_EVENT_LOCAL_SPOOF, ip, kHostMac, 1234, name);
}
GuardEvent ProgramScan(const char* name, uint64_t pid = 1234) {
    return MakeRecord(GUARD_EVENT_ARP_SCAN, kHostIp, kHostMac, pid, name);
}
GuardEvent NetworkScan(const char* ip) {
    return MakeRecord(GUARD_EVENT_ARP_SCAN, ip);
}

const std::vector<RecordCase> kRecordCases = {
    {"TwoInboundFromOneSourceInOneBatch",
     true,
     {{1, {Inbound("192.168.1.10"), Inbound("192.168.1.10")}}},
     {"[2]"}},
    {"InboundFromTwoSources",
     true,
     {{1, {Inbound("192.168.1.10"), Inbound("192.168.1.11")}}},
     {"[2]", "[2]"}},
    {"InboundSourceQuietWhileTheLoopRuns",
     true,
     {{1, {Inbound("192.168.1.10")}}, {301, {Inbound("192.168.1.10")}}},
     {"[2]"}},
    // The loop that began at 1 ends at 302, once more than 300 s have passed since the last record.
    {"InboundSourceAgainAfterTheLoopEnded",
     true,
     {{1, {Inbound("192.168.1.10")}}, {303, {Inbound("192.168.1.10")}}},
     {"[2]", "[2]"}},
    {"EveryInboundRecordExtendsTheLoop",
     true,
     {{1, {Inbound("192.168.1.10")}},
      {200, {Inbound("192.168.1.10")}},
      {499, {Inbound("192.168.1.10")}},
      {801, {Inbound("192.168.1.10")}}},
     {"[2]", "[2]"}},
    // With no gateway no loop runs, so nothing ends the suppression.
    {"InboundSourceStaysQuietWithoutACorrectionLoop",
     false,
     {{1, {Inbound("192.168.1.10")}}, {400, {Inbound("192.168.1.10")}}},
     {"[2]"}},
    {"LocalProgramRepeatingWithin300Seconds",
     true,
     {{1, {Local("ARPSPOOF.EXE", "192.168.1.1")}},
      {301, {Local("arpspoof.exe", "192.168.1.1")}},
      {601, {Local("ARPSPOOF.EXE", "192.168.1.1")}}},
     {"[3]"}},
    {"LocalProgramAfterAQuietGapOfMoreThan300Seconds",
     true,
     {{1, {Local("ARPSPOOF.EXE", "192.168.1.1")}}, {302, {Local("ARPSPOOF.EXE", "192.168.1.1")}}},
     {"[3]", "[3]"}},
    {"TwoProgramsOneAddress",
     true,
     {{1, {Local("A.EXE", "192.168.1.1"), Local("B.EXE", "192.168.1.1")}}},
     {"[3]", "[3]"}},
    {"OneProgramTwoAddresses",
     true,
     {{1, {Local("A.EXE", "192.168.1.1"), Local("A.EXE", "192.168.1.2")}}},
     {"[3]", "[3]"}},
    {"LocalWithEmptyName", true, {{1, {Local("", "192.168.1.1")}}}, {}},
    {"LocalNamingNoAddress", true, {{1, {Local("A.EXE", "0.0.0.0")}}}, {}},
    {"LocalNamingBroadcast", true, {{1, {Local("A.EXE", "255.255.255.255")}}}, {}},
    {"ScanBySystemOrTheServiceInAnyCase",
     true,
     {{1,
       {ProgramScan("System"), ProgramScan("SYSTEM"), ProgramScan("zelksrv.EXE"),
        ProgramScan("ZELKSRV.EXE")}}},
     {}},
    {"ScanByANamedProgramWithoutProcessId", true, {{1, {ProgramScan("NMAP.EXE", 0)}}}, {}},
    {"ProgramScanOnlyWhenAnotherProgramScannedLast",
     true,
     {{1, {ProgramScan("NMAP.EXE"), ProgramScan("nmap.exe")}},
      {2, {ProgramScan("ARP-SCAN.EXE"), ProgramScan("NMAP.EXE")}}},
     {"[1]", "[1]", "[1]"}},
    {"NetworkScanOnlyWhenAnotherAddressScannedLast",
     true,
     {{1,
       {NetworkScan("192.168.1.77"), NetworkScan("192.168.1.77"), NetworkScan("192.168.1.78"),
        NetworkScan("192.168.1.77")}}},
     {"[1]", "[1]", "[1]"}},
    {"ScanByAGatewayOrFromNoAddressIgnoredWithBindings",
     true,
     {{1, {NetworkScan(kGatewayIp), NetworkScan("0.0.0.0"), NetworkScan("255.255.255.255")}}},
     {}},
    {"ScanFromNoAddressWithoutBindingsAwaitsAnotherAddress",
     false,
     {{1, {NetworkScan("0.0.0.0"), NetworkScan("255.255.255.255"), NetworkScan("0.0.0.0")}}},
     {"[1]", "[1]"}},
    {"UnknownKind", true, {{1, {MakeRecord(7, "192.168.1.10"), MakeRecord(0, "192.168.1.10")}}}, {}},
    {"TagsFollowTheRecordOrder",
     true,
     {{1, {NetworkScan("192.168.1.77"), Inbound("192.168.1.10"), Local("A.EXE", "192.168.1.1")}}},
     {"[1]", "[2]", "[3]"}},
};

INSTANTIATE_TEST_SUITE_P(Records, RecordHandlingTest, ::testing::ValuesIn(kRecordCases),
                         [](const ::testing::TestParamInfo<RecordCase>& row) { return row.param.Name; });

TEST_F(EventPollerTest, StoresTheRecordWithItsLastNameUnitZeroed) {
    AddLan();
    StartPoller();
    GuardEvent full = Local("ABCDEFGHIJKLMNOPQRSTUVWXYZ01234X", "192.168.1.1");
    // The same first 31 units with another 32nd unit is the same program.
    GuardEvent sameProgram = full;
    sameProgram.ProcessName[31] = 'Y';
    full.ProcessName[31] = 'X';
    DrainAt(1, {full, sameProgram});

    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("Program ABCDEFGHIJKLMNOPQRSTUVWXYZ01234 (PID=1234)"), std::string::npos)
        << lines[0];
    const std::vector<GuardEvent> stored = EventFileRecords();
    ASSERT_EQ(stored.size(), 1u);
    GuardEvent expected = full;
    expected.ProcessName[31] = 0;
    EXPECT_EQ(memcmp(&stored[0], &expected, GUARD_EVENT_SIZE), 0);
}

TEST_F(EventPollerTest, RecordsTheInboundLineAsTheDriverGaveIt) {
    AddLan();
    StartPoller();
    DrainAt(1, {Inbound("192.168.1.10")});
    const std::vector<std::string> lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(0, 4), "[2][");
    EXPECT_EQ(lines[0].substr(23),
              "] In ARP attack, ARP Spoofing from IP=192.168.1.10, MAC=00-1A-2B-3C-4D-5E.");
    EXPECT_EQ(DebugOutputHostLinesForTest(), std::vector<std::string>{lines[0]});
}

} // namespace
} // namespace zelk
