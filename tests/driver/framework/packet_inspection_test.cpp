// The guard's packet entry: a packet is judged exactly as its flattened copy would be, only ARP frames
// are copied, and flattening leaves out what cannot be mapped.
#include "driver/framework/packet_inspection.h"

#include "framework_fixture.h"
#include "test_frames.h"

namespace zelk::test {
namespace {

Bytes BytesOf(const FlattenedPacket& flattened) {
    return Bytes(flattened.Buffer, flattened.Buffer + flattened.Length);
}

PNDIS_BUFFER NthBuffer(PNDIS_PACKET packet, UINT n) {
    PNDIS_BUFFER buffer = NDIS_PACKET_FIRST_NDIS_BUFFER(packet);
    while (n-- > 0) {
        buffer = buffer->Next;
    }
    return buffer;
}

class PacketInspectionTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        Load();
        GuardSetLastSpooferForTest(0);
        TrustGateway();
    }
};

struct InspectionCase {
    const char* Name;
    Bytes Frame;
    GuardDirection Direction;
    GuardVerdict Verdict;
    bool Copied; // the packet is flattened for the analysis
};

Bytes Truncated(Bytes frame, size_t length) {
    frame.resize(length);
    return frame;
}

Bytes VlanTagged(const Bytes& frame) {
    const UCHAR tag[4] = {0x81, 0x00, 0x00, 0x05};
    Bytes tagged;
    for (size_t i = 0; i < frame.size(); ++i) {
        if (i == 12) {
            tagged.insert(tagged.end(), tag, tag + 4);
        }
        tagged.push_back(frame[i]);
    }
    return tagged;
}

const InspectionCase kInspectionCases[] = {
    {"SpoofedReply", SpoofedGatewayReply(), GUARD_DIR_INBOUND, GUARD_DROP, true},
    {"GatewayReply", GatewayReply(), GUARD_DIR_INBOUND, GUARD_PASS, true},
    {"ForgedSend", ForgedOutboundReply(), GUARD_DIR_OUTBOUND, GUARD_DROP, true},
    {"Ipv4", Ipv4Frame(), GUARD_DIR_INBOUND, GUARD_PASS, false},
    {"Arp41Bytes", Truncated(SpoofedGatewayReply(), 41), GUARD_DIR_INBOUND, GUARD_PASS, false},
    {"Arp42Bytes", Truncated(SpoofedGatewayReply(), 42), GUARD_DIR_INBOUND, GUARD_DROP, true},
    {"TaggedArp", VlanTagged(SpoofedGatewayReply()), GUARD_DIR_INBOUND, GUARD_PASS, false},
};

// Frames in one buffer, in a few, and in one-byte buffers, so the EtherType straddles two of them.
class PacketVerdictTest : public PacketInspectionTest,
                          public ::testing::WithParamInterface<std::tuple<InspectionCase, UINT>> {};

TEST_P(PacketVerdictTest, PacketIsJudgedAsItsFlatFrameAndOnlyArpIsCopied) {
    const auto& [c, pieces] = GetParam();
    PNDIS_PACKET packet = NdisHostMakeFramePacket(c.Frame.data(), static_cast<ULONG>(c.Frame.size()), pieces);
    const uint64_t allocationsBefore = NdisHostAllocationCountForTest();
    EXPECT_EQ(ArpGuardInspect(nullptr, nullptr, 0, packet, c.Direction), c.Verdict);
    EXPECT_EQ(NdisHostAllocationCountForTest() - allocationsBefore, c.Copied ? 1u : 0u);
    EXPECT_EQ(PacketHoldsArpFrame(packet), c.Copied ? TRUE : FALSE);
    EXPECT_EQ(
        ArpGuardInspect(nullptr, c.Frame.data(), static_cast<UINT>(c.Frame.size()), nullptr, c.Direction),
        c.Verdict);
    EXPECT_TRUE(HoldsNothingBeyond(baseline_));
    NdisHostFreeFramePacket(packet);
}

INSTANTIATE_TEST_SUITE_P(Frames, PacketVerdictTest,
                         ::testing::Combine(::testing::ValuesIn(kInspectionCases),
                                            ::testing::Values(1u, 3u, 60u)),
                         [](const auto& testInfo) {
                             return std::string(std::get<0>(testInfo.param).Name) + "_" +
                                    std::to_string(std::get<1>(testInfo.param)) + "Buffers";
                         });

TEST_F(PacketInspectionTest, ChainedBuffersFlattenInOrderIntoAnAllocationOfTheTotalLength) {
    const Bytes frame = Ipv4Frame(100);
    PNDIS_PACKET packet = NdisHostMakeFramePacket(frame.data(), 100, 7);
    FlattenedPacket flattened{};
    ASSERT_TRUE(FlattenPacket(packet, &flattened));
    EXPECT_EQ(BytesOf(flattened), frame);
    EXPECT_EQ(flattened.AllocationSize, 100u);
    FreeFlattenedPacket(&flattened);
    EXPECT_TRUE(HoldsNothingBeyond(baseline_));
    NdisHostFreeFramePacket(packet);
}

TEST_F(PacketInspectionTest, AnUnmappableBufferIsLeftOutAndTheTailStaysZero) {
    const Bytes frame = Ipv4Frame(60);
    PNDIS_PACKET packet = NdisHostMakeFramePacket(frame.data(), 60, 5); // 12 bytes each
    NdisHostSetBufferUnmappableForTest(NthBuffer(packet, 1), true);
    FlattenedPacket flattened{};
    ASSERT_TRUE(FlattenPacket(packet, &flattened));
    Bytes expected(frame.begin(), frame.begin() + 12);
    expected.insert(expected.end(), frame.begin() + 24, frame.end());
    EXPECT_EQ(BytesOf(flattened), expected);
    EXPECT_EQ(flattened.AllocationSize, 60u);
    EXPECT_EQ(Bytes(flattened.Buffer + 48, flattened.Buffer + 60), Bytes(12, 0));
    FreeFlattenedPacket(&flattened);
    NdisHostFreeFramePacket(packet);
}

// Whichever buffer cannot be mapped, the look at the first bytes agrees with the flattened copy.
TEST_F(PacketInspectionTest, TheArpCheckInPlaceSeesWhatFlatteningWouldCopy) {
    Bytes frame = SpoofedGatewayReply();
    frame[24] = 0x08; // after the first 12-byte buffer is left out, the sender MAC's bytes sit at 12-13
    frame[25] = 0x06;
    for (UINT unmappable = 0; unmappable < 5; ++unmappable) {
        PNDIS_PACKET packet = NdisHostMakeFramePacket(frame.data(), 60, 5);
        NdisHostSetBufferUnmappableForTest(NthBuffer(packet, unmappable), true);
        FlattenedPacket flattened{};
        ASSERT_TRUE(FlattenPacket(packet, &flattened));
        EXPECT_EQ(PacketHoldsArpFrame(packet) != FALSE, GuardIsArpFrame(flattened.Buffer, flattened.Length))
            << "buffer " << unmappable << " unmappable";
        FreeFlattenedPacket(&flattened);
        NdisHostSetBufferUnmappableForTest(NthBuffer(packet, unmappable), false);
        NdisHostFreeFramePacket(packet);
    }
}

TEST_F(PacketInspectionTest, WithoutMemoryOrBytesThereIsNothingToInspectAndTheFramePasses) {
    const Bytes frame = SpoofedGatewayReply();
    PNDIS_PACKET packet = NdisHostMakeFramePacket(frame.data(), static_cast<ULONG>(frame.size()), 2);
    NdisHostFailAllocationForTest(1);
    FlattenedPacket flattened{};
    EXPECT_FALSE(FlattenPacket(packet, &flattened));
    EXPECT_EQ(flattened.Buffer, nullptr);
    NdisHostFailAllocationForTest(1);
    EXPECT_EQ(ArpGuardInspect(nullptr, nullptr, 0, packet, GUARD_DIR_INBOUND), GUARD_PASS);
    EXPECT_EQ(EventTableCountForTest(), 0u);
    EXPECT_TRUE(HoldsNothingBeyond(baseline_));
    NdisHostFreeFramePacket(packet);

    PNDIS_PACKET empty = NdisHostMakeFramePacket(frame.data(), 0);
    EXPECT_FALSE(FlattenPacket(empty, &flattened));
    EXPECT_EQ(ArpGuardInspect(nullptr, nullptr, 0, empty, GUARD_DIR_INBOUND), GUARD_PASS);
    EXPECT_EQ(ArpGuardInspect(nullptr, nullptr, 0, nullptr, GUARD_DIR_INBOUND), GUARD_PASS);
    NdisHostFreeFramePacket(empty);
}

} // namespace
} // namespace zelk::test
