#include "tools/replay/replay_session.h"

#include <gtest/gtest.h>

#include "tools/frames/arp_frame.h"

namespace zelk {
namespace {

const uint64_t kSecond = 10000000;
// 2011-03-25 20:35:37 UTC, as the guard's clock counts.
const uint64_t kStart = 129455589370000000ull;
const MacAddress kHostMac = Mac("00:0c:29:4f:8e:35");
const Ipv4Address kHostIp = Ip("192.168.1.100");
const MacAddress kGatewayMac = Mac("00:50:56:c0:00:01");
const Ipv4Address kGatewayIp = Ip("192.168.1.1");
const MacAddress kAttackerMac = Mac("00:1a:2b:3c:4d:5e");
const Ipv4Address kAttackerIp = Ip("192.168.1.10");

class ReplaySessionTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("TZ", "UTC", 1);
        tzset();
    }

    ReplaySettings Settings() const {
        ReplaySettings settings;
        settings.HostMac = kHostMac;
        settings.Bindings = {{kGatewayIp, kGatewayMac}};
        return settings;
    }

    static void OfferEthernet(ReplaySession& session, uint64_t time, const ArpFrameFields& fields) {
        const Frame frame = BuildArpFrame(fields);
        session.Offer(time, CaptureLinkType::Ethernet, frame.data(), frame.size());
    }

    static ArpFrameFields Claim(const MacAddress& sender, const Ipv4Address& address) {
        ArpFrameFields fields;
        fields.SenderMac = sender;
        fields.SenderIp = address;
        fields.TargetMac = kHostMac;
        fields.TargetIp = kHostIp;
        return fields;
    }
};

TEST_F(ReplaySessionTest, FindingsMergeWithinASecondAndDrainWhenCaptureTimePassesOne) {
    ReplaySession session(Settings());
    OfferEthernet(session, kStart + kSecond / 10, Claim(kAttackerMac, kGatewayIp));
    OfferEthernet(session, kStart + kSecond * 9 / 10, Claim(Mac("00:1a:2b:3c:4d:5f"), kGatewayIp));
    // The next whole second drains the merged record before this frame is inspected.
    OfferEthernet(session, kStart + kSecond, Claim(kAttackerMac, kGatewayIp));
    EXPECT_EQ(session.Result().Events.size(), 1u);
    session.Finish();

    const ReplayResult& result = session.Result();
    EXPECT_EQ(result.Frames, 3u);
    EXPECT_EQ(result.DroppedInbound, 3u);
    ASSERT_EQ(result.Events.size(), 2u);
    const GuardEvent first = result.Events[0].Record;
    EXPECT_EQ(first.Kind, GUARD_EVENT_INBOUND_SPOOF);
    EXPECT_TRUE(MacEqual(&first.Mac, &kAttackerMac));
    EXPECT_TRUE(Ipv4Equal(&first.Ip, &kGatewayIp));
    EXPECT_EQ(uint64_t{first.Time}, kStart + kSecond * 9 / 10) << "the time of the latest merged finding";
    EXPECT_EQ(result.Events[0].Frame, 1u);
    EXPECT_EQ(
        result.Events[0].Line,
        "[2][2011/03/25 20:35:37] In ARP attack, ARP Spoofing from IP=192.168.1.1, MAC=00-1A-2B-3C-4D-5E.");
    EXPECT_EQ(result.Events[1].Frame, 3u);
}

TEST_F(ReplaySessionTest, TimeGoingBackDoesNotDrain) {
    ReplaySession session(Settings());
    OfferEthernet(session, kStart + 2 * kSecond, Claim(kAttackerMac, kGatewayIp));
    OfferEthernet(session, kStart, Claim(kAttackerMac, kGatewayIp));
    EXPECT_TRUE(session.Result().Events.empty());
    session.Finish();
    EXPECT_EQ(session.Result().Events.size(), 1u);
}

TEST_F(ReplaySessionTest, DropReasonsSayWhichRuleCaughtTheFrame) {
    ReplaySettings settings = Settings();
    settings.Process = ReplayProcess{"arpspoof", 4242};
    ReplaySession session(settings);
    OfferEthernet(session, kStart, Claim(kAttackerMac, kGatewayIp));
    OfferEthernet(session, kStart, Claim(kAttackerMac, kAttackerIp));
    ArpFrameFields forged = Claim(kGatewayMac, kGatewayIp);
    forged.EthernetSource = kHostMac;
    OfferEthernet(session, kStart, forged);
    ArpFrameFields claim = Claim(kHostMac, kGatewayIp);
    claim.TargetMac = kAttackerMac;
    claim.TargetIp = kAttackerIp;
    OfferEthernet(session, kStart, claim);
    session.Finish();

    const ReplayResult& result = session.Result();
    ASSERT_EQ(result.Drops.size(), 4u);
    EXPECT_EQ(result.Drops[0].Reason,
              "192.168.1.1 claimed by 00-1A-2B-3C-4D-5E, trusted at 00-50-56-C0-00-01");
    EXPECT_EQ(result.Drops[1].Reason, "sender 00-1A-2B-3C-4D-5E was caught spoofing before");
    EXPECT_EQ(result.Drops[2].Direction, GUARD_DIR_OUTBOUND);
    EXPECT_EQ(result.Drops[2].Reason,
              "forged sender 00-50-56-C0-00-01 behind Ethernet source 00-0C-29-4F-8E-35, "
              "adapter 00-0C-29-4F-8E-35");
    EXPECT_EQ(result.Drops[3].Reason,
              "claims 192.168.1.1 for 00-0C-29-4F-8E-35, trusted at 00-50-56-C0-00-01");
    EXPECT_EQ(result.DroppedInbound, 2u);
    EXPECT_EQ(result.DroppedOutbound, 2u);

    // One kind-2 record, and one kind-1 record for the program: the forged frame's, with its process.
    ASSERT_EQ(result.Events.size(), 2u);
    const GuardEvent local = result.Events[1].Record;
    EXPECT_EQ(local.Kind, GUARD_EVENT_LOCAL_SPOOF);
    EXPECT_EQ(uint64_t{local.ProcessId}, 4242u);
    EXPECT_EQ(result.Events[1].Frame, 3u);
    EXPECT_EQ(result.Events[1].Direction, GUARD_DIR_OUTBOUND);
    EXPECT_EQ(result.Events[1].Line, "[3][2011/03/25 20:35:37] Program ARPSPOOF (PID=4242) send ARP spoofing "
                                     "packet, Dest IP=192.168.1.1, MAC=00-50-56-C0-00-01.");
}

TEST_F(ReplaySessionTest, WithoutAProcessSentFramesCarryNone) {
    ReplaySession session(Settings());
    ArpFrameFields forged = Claim(kGatewayMac, kGatewayIp);
    forged.EthernetSource = kHostMac;
    OfferEthernet(session, kStart, forged);
    session.Finish();
    ASSERT_EQ(session.Result().Events.size(), 1u);
    EXPECT_EQ(uint64_t{session.Result().Events[0].Record.ProcessId}, 0u);
    EXPECT_EQ(uint16_t{session.Result().Events[0].Record.ProcessName[0]}, 0u);
}

TEST_F(ReplaySessionTest, OnlyEthernetArpFramesCount) {
    ReplaySession session(Settings());
    Frame frame = BuildArpFrame(Claim(kGatewayMac, kGatewayIp));
    session.Offer(kStart, CaptureLinkType::Ethernet, frame.data(), frame.size());
    session.Offer(kStart, CaptureLinkType::Ethernet, frame.data(), 41);
    frame[13] = 0x00; // IPv4
    session.Offer(kStart, CaptureLinkType::Ethernet, frame.data(), frame.size());
    const uint8_t loopback[] = {0, 0, 3, 4, 0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 8, 6};
    session.Offer(kStart, CaptureLinkType::LinuxCooked, loopback, sizeof(loopback));
    session.Finish();
    EXPECT_EQ(session.Result().Frames, 4u);
    EXPECT_EQ(session.Result().ArpFrames, 1u);
    EXPECT_TRUE(session.Result().Drops.empty());
}

TEST_F(ReplaySessionTest, EachSessionStartsFromAFreshGuard) {
    {
        ReplaySession session(Settings());
        OfferEthernet(session, kStart, Claim(kAttackerMac, kGatewayIp));
    }
    ReplaySession session(ReplaySettings{});
    OfferEthernet(session, kStart, Claim(kAttackerMac, kAttackerIp));
    session.Finish();
    EXPECT_TRUE(session.Result().Drops.empty()) << "no spoofer caught, no bindings";
    EXPECT_TRUE(session.Result().Events.empty()) << "the earlier session's pending record is gone";
}

struct TimeCase {
    int64_t Seconds;
    uint32_t Nanoseconds;
    uint64_t Expected;
};

class GuardTimeTest : public testing::TestWithParam<TimeCase> {};

TEST_P(GuardTimeTest, CountsHundredNanosecondsSince1601) {
    EXPECT_EQ(GuardTimeFromCaptureTime(GetParam().Seconds, GetParam().Nanoseconds), GetParam().Expected);
}

INSTANTIATE_TEST_SUITE_P(Times, GuardTimeTest,
                         testing::Values(TimeCase{0, 0, 116444736000000000ull},
                                         TimeCase{1301085337, 999, kStart + 9}, TimeCase{-11644473600, 0, 0},
                                         TimeCase{-11644473601, 0, 0},
                                         TimeCase{INT64_MAX, 999999999, UINT64_MAX}));

} // namespace
} // namespace zelk
