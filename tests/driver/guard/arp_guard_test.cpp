// The inspection's verdicts and findings, frame by frame.
#include <gtest/gtest.h>

#include <cstring>
#include <optional>

#include "tests/driver/guard/guard_fixture.h"

namespace zelk::test {
namespace {

// A small LAN: the host, its gateway (trusted), an attacker and a neighbour.
const MacAddress kHostMac = Mac("00-0C-29-4F-8E-35");
const Ipv4Address kHostIp = Ip("192.168.1.100");
const MacAddress kGatewayMac = Mac("00-50-56-C0-00-01");
const Ipv4Address kGatewayIp = Ip("192.168.1.1");
const MacAddress kAttackerMac = Mac("00-1A-2B-3C-4D-5E");
const Ipv4Address kAttackerIp = Ip("192.168.1.10");
const Ipv4Address kNeighbourIp = Ip("192.168.1.20");
const MacAddress kNeighbourMac = Mac("00-16-3E-00-00-20");

struct ExpectedEvent {
    EventKind Kind;
    MacAddress Mac;
    Ipv4Address Ip;
};

struct VerdictCase {
    const char* Name;
    GuardDirection Direction;
    ArpFrameFields Frame;
    bool OwnMacKnown;
    GuardVerdict Verdict;
    std::optional<ExpectedEvent> Event;
    bool NoSpooferCaughtYet = false; // otherwise the neighbour was caught before
};

void PrintTo(const VerdictCase& c, std::ostream* os) {
    *os << c.Name;
}

ArpFrameFields Reply(MacAddress senderMac, Ipv4Address senderIp, MacAddress targetMac, Ipv4Address targetIp) {
    ArpFrameFields fields;
    fields.Operation = ArpOperation::Reply;
    fields.EthernetDestination = targetMac;
    fields.SenderMac = senderMac;
    fields.SenderIp = senderIp;
    fields.TargetMac = targetMac;
    fields.TargetIp = targetIp;
    return fields;
}

ArpFrameFields WithEthernetSource(ArpFrameFields fields, MacAddress source) {
    fields.EthernetSource = source;
    return fields;
}

const VerdictCase kVerdictCases[] = {
    // Received frames.
    {"InboundGatewayWithTrustedMacPasses", GUARD_DIR_INBOUND,
     Reply(kGatewayMac, kGatewayIp, kHostMac, kHostIp), true, GUARD_PASS, std::nullopt},
    {"InboundGatewayClaimedByAnotherMacIsDropped", GUARD_DIR_INBOUND,
     Reply(kAttackerMac, kGatewayIp, kHostMac, kHostIp), true, GUARD_DROP,
     ExpectedEvent{GUARD_EVENT_INBOUND_SPOOF, kAttackerMac, kGatewayIp}},
    {"InboundUntrustedAddressPasses", GUARD_DIR_INBOUND, Reply(kAttackerMac, kAttackerIp, kHostMac, kHostIp),
     true, GUARD_PASS, std::nullopt},
    {"InboundAllZeroSenderMatchesTheUnsetLastSpoofer", GUARD_DIR_INBOUND,
     Reply(MacAddress{}, kNeighbourIp, kHostMac, kHostIp), true, GUARD_DROP,
     ExpectedEvent{GUARD_EVENT_INBOUND_SPOOF, MacAddress{}, kNeighbourIp}, true},
    // Sent frames.
    {"OutboundTargetBroadcastPassesEvenForged", GUARD_DIR_OUTBOUND,
     Reply(kAttackerMac, kGatewayIp, kHostMac, Ip("255.255.255.255")), true, GUARD_PASS, std::nullopt},
    {"OutboundTargetZeroPassesEvenForged", GUARD_DIR_OUTBOUND,
     Reply(kAttackerMac, kGatewayIp, kHostMac, Ip("0.0.0.0")), true, GUARD_PASS, std::nullopt},
    {"OutboundSenderMacNotOwnIsForged", GUARD_DIR_OUTBOUND,
     WithEthernetSource(Reply(kAttackerMac, kAttackerIp, kNeighbourMac, kNeighbourIp), kHostMac), true,
     GUARD_DROP, ExpectedEvent{GUARD_EVENT_LOCAL_SPOOF, kAttackerMac, kAttackerIp}},
    {"OutboundEthernetSourceNotOwnIsForged", GUARD_DIR_OUTBOUND,
     WithEthernetSource(Reply(kHostMac, kHostIp, kNeighbourMac, kNeighbourIp), kAttackerMac), true,
     GUARD_DROP, ExpectedEvent{GUARD_EVENT_LOCAL_SPOOF, kHostMac, kHostIp}},
    {"OutboundSourceDiffersFromSenderWhileOwnUnknownIsForged", GUARD_DIR_OUTBOUND,
     WithEthernetSource(Reply(kAttackerMac, kAttackerIp, kNeighbourMac, kNeighbourIp), kHostMac), false,
     GUARD_DROP, ExpectedEvent{GUARD_EVENT_LOCAL_SPOOF, kAttackerMac, kAttackerIp}},
    {"OutboundAnotherHostsMacWhileOwnUnknownPasses", GUARD_DIR_OUTBOUND,
     Reply(kAttackerMac, kAttackerIp, kNeighbourMac, kNeighbourIp), false, GUARD_PASS, std::nullopt},
    {"OutboundClaimingTrustedGatewayNamesTheMisledHost", GUARD_DIR_OUTBOUND,
     Reply(kHostMac, kGatewayIp, kNeighbourMac, kNeighbourIp), true, GUARD_DROP,
     ExpectedEvent{GUARD_EVENT_LOCAL_SPOOF, kNeighbourMac, kNeighbourIp}},
    {"OutboundOwnAddressPasses", GUARD_DIR_OUTBOUND, Reply(kHostMac, kHostIp, kGatewayMac, kGatewayIp), true,
     GUARD_PASS, std::nullopt},
};

class VerdictTable : public GuardTest, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(VerdictTable, VerdictAndFinding) {
    const VerdictCase& c = GetParam();
    Trust({{kGatewayIp, kGatewayMac}});
    if (!c.NoSpooferCaughtYet) {
        GuardSetLastSpooferForTest(MacToValue(&kNeighbourMac));
    }
    GuardLocalMac localMac{};
    if (c.OwnMacKnown) {
        GuardPublishLocalMac(&localMac, kHostMac.Bytes);
    }

    EXPECT_EQ(Inspect(c.Frame, c.Direction, &localMac), c.Verdict);

    const auto events = Drain();
    if (!c.Event) {
        EXPECT_TRUE(events.empty());
        return;
    }
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Kind, c.Event->Kind);
    EXPECT_TRUE(MacEqual(&events[0].Mac, &c.Event->Mac)) << FormatMac(events[0].Mac);
    EXPECT_TRUE(Ipv4Equal(&events[0].Ip, &c.Event->Ip)) << FormatIpv4(events[0].Ip);
    EXPECT_EQ(uint64_t{events[0].Time}, kLoadTime);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, VerdictTable, ::testing::ValuesIn(kVerdictCases), CaseName());

using ArpGuardTest = GuardTest;

TEST_F(ArpGuardTest, OnlyEthernetArpOfAtLeast42BytesIsInspected) {
    Trust({{kGatewayIp, kGatewayMac}});
    Frame spoof = BuildArpFrame(Reply(kAttackerMac, kGatewayIp, kHostMac, kHostIp));

    EXPECT_EQ(ArpGuardInspect(nullptr, spoof.data(), 41, GUARD_DIR_INBOUND), GUARD_PASS);
    EXPECT_EQ(ScanTableCountForTest(), 0u) << "a 41-byte frame leaves no scan entry";

    Frame ipv4 = spoof;
    ipv4[12] = 0x08;
    ipv4[13] = 0x00;
    EXPECT_EQ(ArpGuardInspect(nullptr, ipv4.data(), 42, GUARD_DIR_INBOUND), GUARD_PASS);

    uint8_t tagged[46] = {};
    std::memcpy(tagged, spoof.data(), 12);
    tagged[12] = 0x81; // 802.1Q: the EtherType the guard sees is not ARP
    tagged[13] = 0x00;
    tagged[16] = 0x08;
    tagged[17] = 0x06;
    std::memcpy(tagged + 18, spoof.data() + 14, 28);
    EXPECT_EQ(ArpGuardInspect(nullptr, tagged, sizeof(tagged), GUARD_DIR_INBOUND), GUARD_PASS);

    EXPECT_EQ(ArpGuardInspect(nullptr, nullptr, 42, GUARD_DIR_INBOUND), GUARD_PASS);
    EXPECT_TRUE(Drain().empty());
    EXPECT_EQ(ScanTableCountForTest(), 0u);

    EXPECT_EQ(ArpGuardInspect(nullptr, spoof.data(), 42, GUARD_DIR_INBOUND), GUARD_DROP);
    EXPECT_EQ(Drain().size(), 1u);
}

TEST_F(ArpGuardTest, RequestAndReplyWithTheSameAddressesAreJudgedAlike) {
    Trust({{kGatewayIp, kGatewayMac}});
    for (ArpOperation operation :
         {ArpOperation::Request, ArpOperation::Reply, static_cast<ArpOperation>(9)}) {
        GuardSetLastSpooferForTest(0);
        ArpFrameFields spoof = Reply(kAttackerMac, kGatewayIp, kHostMac, kHostIp);
        spoof.Operation = operation;
        EXPECT_EQ(Inspect(spoof, GUARD_DIR_INBOUND), GUARD_DROP) << static_cast<int>(operation);
        ArpFrameFields honest = Reply(kGatewayMac, kGatewayIp, kHostMac, kHostIp);
        honest.Operation = operation;
        EXPECT_EQ(Inspect(honest, GUARD_DIR_INBOUND), GUARD_PASS) << static_cast<int>(operation);
    }
}

TEST_F(ArpGuardTest, CaughtSpooferStaysDroppedWhateverItClaimsUntilAnotherIsCaught) {
    Trust({{kGatewayIp, kGatewayMac}});
    ASSERT_EQ(Inspect(Reply(kAttackerMac, kGatewayIp, kHostMac, kHostIp), GUARD_DIR_INBOUND), GUARD_DROP);
    Drain();

    // Replacing (even emptying) the bindings and draining the events do not forget the spoofer.
    Trust({});
    EXPECT_EQ(Inspect(Reply(kAttackerMac, kAttackerIp, kHostMac, kHostIp), GUARD_DIR_INBOUND), GUARD_DROP);
    const auto events = Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].Kind, GUARD_EVENT_INBOUND_SPOOF);
    EXPECT_TRUE(Ipv4Equal(&events[0].Ip, &kAttackerIp));

    // Another sender caught spoofing takes its place; the first one is free again.
    Trust({{kGatewayIp, kGatewayMac}});
    EXPECT_EQ(Inspect(Reply(kNeighbourMac, kGatewayIp, kHostMac, kHostIp), GUARD_DIR_INBOUND), GUARD_DROP);
    EXPECT_EQ(GuardLastSpooferMac(), MacToValue(&kNeighbourMac));
    EXPECT_EQ(Inspect(Reply(kAttackerMac, kAttackerIp, kHostMac, kHostIp), GUARD_DIR_INBOUND), GUARD_PASS);
}

TEST_F(ArpGuardTest, WithoutBindingsOnlyTheCaughtSpooferIsDropped) {
    GuardSetLastSpooferForTest(MacToValue(&kAttackerMac));
    EXPECT_EQ(Inspect(Reply(kNeighbourMac, kGatewayIp, kHostMac, kHostIp), GUARD_DIR_INBOUND), GUARD_PASS);
    EXPECT_EQ(Inspect(Reply(kAttackerMac, kAttackerIp, kHostMac, kHostIp), GUARD_DIR_INBOUND), GUARD_DROP);
}

TEST_F(ArpGuardTest, BindingsWithZeroAddressOrZeroMacNeverDrop) {
    GuardSetLastSpooferForTest(MacToValue(&kNeighbourMac));
    Trust({{Ip("0.0.0.0"), kGatewayMac}, {kGatewayIp, MacAddress{}}});
    EXPECT_EQ(Inspect(Reply(kAttackerMac, kGatewayIp, kHostMac, kHostIp), GUARD_DIR_INBOUND), GUARD_PASS);
    EXPECT_EQ(Inspect(Reply(kAttackerMac, Ip("0.0.0.0"), kHostMac, kHostIp), GUARD_DIR_INBOUND), GUARD_PASS);
    GuardLocalMac localMac{};
    GuardPublishLocalMac(&localMac, kHostMac.Bytes);
    EXPECT_EQ(
        Inspect(Reply(kHostMac, kGatewayIp, kNeighbourMac, kNeighbourIp), GUARD_DIR_OUTBOUND, &localMac),
        GUARD_PASS);
}

TEST_F(ArpGuardTest, SentFramesNameTheCurrentProcessReceivedFramesNone) {
    Trust({{kGatewayIp, kGatewayMac}});
    GuardHostProcess tool;
    GuardHostMakeProcess(&tool, 0x1234567890ull, "arpspoof.exe", 12);
    GuardHostSetCurrentProcessForTest(&tool);

    Inspect(Reply(kHostMac, kGatewayIp, kNeighbourMac, kNeighbourIp), GUARD_DIR_OUTBOUND);
    Inspect(Reply(kAttackerMac, kGatewayIp, kHostMac, kHostIp), GUARD_DIR_INBOUND);
    const auto events = Drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].Kind, GUARD_EVENT_LOCAL_SPOOF);
    EXPECT_EQ(uint64_t{events[0].ProcessId}, 0x1234567890ull);
    EXPECT_EQ(NameOf(events[0]), "ARPSPOOF.EXE");
    EXPECT_EQ(events[1].Kind, GUARD_EVENT_INBOUND_SPOOF);
    EXPECT_EQ(uint64_t{events[1].ProcessId}, 0u);
    const uint8_t zeros[64] = {};
    EXPECT_EQ(std::memcmp(reinterpret_cast<const uint8_t*>(&events[1]) + 27, zeros, 64), 0);

    // The guard makes no exception for any process, the System process included.
    GuardHostResetCurrentProcessForTest();
    Inspect(Reply(kHostMac, kGatewayIp, kNeighbourMac, kNeighbourIp), GUARD_DIR_OUTBOUND);
    const auto system = Drain();
    ASSERT_EQ(system.size(), 1u);
    EXPECT_EQ(uint64_t{system[0].ProcessId}, 4u);
    EXPECT_EQ(NameOf(system[0]), "SYSTEM");
}

TEST_F(ArpGuardTest, ScanningSpooferYieldsTheScanFindingFirst) {
    Trust({{kGatewayIp, kGatewayMac}});
    GuardSetLastSpooferForTest(MacToValue(&kNeighbourMac));
    ArpFrameFields sweep = Reply(kAttackerMac, kAttackerIp, MacAddress{}, kHostIp);
    for (uint32_t i = 1; i < SCAN_MIN_TARGETS; ++i) {
        sweep.TargetIp = Ip(("10.0.0." + std::to_string(i)).c_str());
        ASSERT_EQ(Inspect(sweep, GUARD_DIR_INBOUND), GUARD_PASS) << "a scan alone is never dropped";
    }
    ASSERT_TRUE(Drain().empty()) << "127 targets are not a scan";

    EXPECT_EQ(Inspect(Reply(kAttackerMac, kGatewayIp, kHostMac, kHostIp), GUARD_DIR_INBOUND), GUARD_DROP);
    const auto events = Drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].Kind, GUARD_EVENT_ARP_SCAN);
    EXPECT_TRUE(MacEqual(&events[0].Mac, &kAttackerMac));
    EXPECT_TRUE(Ipv4Equal(&events[0].Ip, &kGatewayIp));
    EXPECT_EQ(events[1].Kind, GUARD_EVENT_INBOUND_SPOOF);
}

TEST_F(ArpGuardTest, PublishedLocalMacIsReadWhole) {
    GuardLocalMac localMac{};
    GuardPublishLocalMac(&localMac, kHostMac.Bytes);
    EXPECT_EQ(localMac.Value, MacToValue(&kHostMac));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(&localMac.Value) % 8, 0u);
}

} // namespace
} // namespace zelk::test
