// The gateway correction loop on the simulated host: one frame per gateway per second from the first
// inbound spoofing record until more than 300 quiet seconds have passed, one loop at most.
#include "service/poller/correction_loop.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/service/support/simulated_service_fixture.h"

namespace zelk {
namespace {

class CorrectionLoopTest : public SimulatedServiceFixture {
protected:
    // Wire frames per second after the start.
    std::map<int64_t, size_t> FramesPerSecond() {
        std::map<int64_t, size_t> perSecond;
        for (const WireFrame& frame : host->WireFrames()) {
            EXPECT_EQ((frame.TimeMilliseconds - kStartMs) % 1000, 0);
            ++perSecond[(frame.TimeMilliseconds - kStartMs) / 1000];
        }
        return perSecond;
    }

    static std::map<int64_t, size_t> Expected(int64_t first, int64_t last, size_t each) {
        std::map<int64_t, size_t> expected;
        for (int64_t second = first; second <= last; ++second) {
            expected[second] = each;
        }
        return expected;
    }

    size_t InboundSourceEntries() {
        std::lock_guard<std::mutex> hold(state->Table.Lock);
        size_t count = 0;
        for (const SuppressionEntry& entry : state->Table.Slots) {
            count += entry.Mark == SUPPRESSION_INBOUND_SOURCE ? 1 : 0;
        }
        return count;
    }
};

TEST_F(CorrectionLoopTest, SendsEverySecondAndStops301SecondsAfterTheLastAttack) {
    AddLan();
    StartPoller();
    DrainAt(1, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10")});
    EXPECT_TRUE(state->CorrectionRunning.load());
    RunUntilSecond(400);
    // The first frames go out at once; the last at 302, when 301 seconds have passed since the record.
    EXPECT_EQ(FramesPerSecond(), Expected(1, 302, 1));
    EXPECT_FALSE(state->CorrectionRunning.load());
    EXPECT_EQ(InboundSourceEntries(), 0u) << "the sources are reportable again";
}

TEST_F(CorrectionLoopTest, EveryInboundRecordKeepsTheOneLoopGoing) {
    AddLan();
    StartPoller();
    DrainAt(1, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10"),
                MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.11")});
    DrainAt(2, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10")});
    DrainAt(100, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.12")});
    RunUntilSecond(500);
    EXPECT_EQ(FramesPerSecond(), Expected(1, 401, 1));
}

TEST_F(CorrectionLoopTest, SendsOneFramePerGatewayOnTheAdapterThatReachesIt) {
    AddLan();
    host->AddAdapter(SimulatedAdapter{"{B}", Mac("00-11-22-33-44-66"), "10.0.0.5", "10.0.0.1"});
    host->SetArpAnswer(Ip("10.0.0.1"), Mac("66-77-88-99-AA-CC"));
    StartPoller();
    DrainAt(1, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10")});
    RunUntilSecond(2);
    const std::vector<WireFrame> frames = host->WireFrames();
    ASSERT_EQ(frames.size(), 4u);
    EXPECT_EQ(frames[0].Adapter, kLanAdapter);
    EXPECT_EQ(frames[1].Adapter, "{B}");
    EXPECT_EQ(memcmp(&frames[1].Bytes[38], Ip("10.0.0.1").Bytes, 4), 0);
}

// The list is built once per run: a gateway that turns up later waits for the next run.
TEST_F(CorrectionLoopTest, KeepsTheListOfItsRun) {
    AddLan();
    StartPoller();
    DrainAt(1, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10")});
    host->AddAdapter(SimulatedAdapter{"{B}", Mac("00-11-22-33-44-66"), "10.0.0.5", "10.0.0.1"});
    host->SetArpAnswer(Ip("10.0.0.1"), Mac("66-77-88-99-AA-CC"));
    RunUntilSecond(10);
    for (const WireFrame& frame : host->WireFrames()) {
        EXPECT_EQ(frame.Adapter, kLanAdapter);
    }
}

TEST_F(CorrectionLoopTest, DoesNotRunWithoutAGatewayAndTriesAgainOnTheNextRecord) {
    host->AddAdapter(SimulatedAdapter{kLanAdapter, Mac(kHostMac), kHostIp, kGatewayIp});
    StartPoller();
    DrainAt(1, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10")});
    EXPECT_FALSE(state->CorrectionRunning.load());
    EXPECT_TRUE(host->WireFrames().empty());
    EXPECT_EQ(LogLines().size(), 1u) << "the record is logged all the same";

    host->SetArpAnswer(Ip(kGatewayIp), Mac(kGatewayMac));
    DrainAt(5, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10")});
    EXPECT_TRUE(state->CorrectionRunning.load());
    EXPECT_EQ(FramesPerSecond().begin()->first, 5);
}

TEST_F(CorrectionLoopTest, AThreadThatCannotStartLeavesTheLoopIdle) {
    AddLan();
    StartPoller();
    SimulatedFailures failures;
    failures.StartThread = true;
    host->SetFailures(failures);
    DrainAt(1, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10")});
    EXPECT_FALSE(state->CorrectionRunning.load());
    EXPECT_EQ(LogLines().size(), 1u);

    host->SetFailures(SimulatedFailures{});
    DrainAt(2, {MakeRecord(GUARD_EVENT_INBOUND_SPOOF, "192.168.1.10")});
    EXPECT_TRUE(state->CorrectionRunning.load());
}

TEST_F(CorrectionLoopTest, AStartRequestWhileRunningStartsNoSecondLoop) {
    AddLan();
    host->RegisterService(SimulatedService{L"ZELKProt", L"ZELKProt", L"ZELKProt.sys", true});
    state->LastAttackTime.store(static_cast<uint32_t>(kStartSeconds));
    ASSERT_TRUE(RequestCorrectionLoop(state.get()));
    ASSERT_TRUE(RequestCorrectionLoop(state.get()));
    RunUntilSecond(2);
    EXPECT_EQ(FramesPerSecond(), Expected(0, 2, 1));
}

} // namespace
} // namespace zelk
