// Frames through both edges: each is offered to the guard, dropped on its verdict as each path
// requires, and otherwise passed on unchanged, as the caller's packet or wrapped in a descriptor.
#include "framework_fixture.h"
#include "test_frames.h"

namespace zelk::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

std::vector<NdisHostIndicationKind> KindsOf(const std::vector<NdisHostIndication>& indications) {
    std::vector<NdisHostIndicationKind> kinds;
    for (const NdisHostIndication& indication : indications) {
        kinds.push_back(indication.Kind);
    }
    return kinds;
}

class PacketPathsTest : public FrameworkTest {
protected:
    void SetUp() override {
        FrameworkTest::SetUp();
        Load();
        GuardSetLastSpooferForTest(0);
        TrustGateway();
    }

    void TearDown() override {
        for (PNDIS_PACKET packet : packets_) {
            NdisHostFreeFramePacket(packet);
        }
        FrameworkTest::TearDown();
    }

    PNDIS_PACKET Packet(const Bytes& frame, bool stackSlotLeft = true, UINT pieces = 2) {
        PNDIS_PACKET packet = NdisHostMakeFramePacket(frame.data(), static_cast<ULONG>(frame.size()), pieces);
        NdisHostSetPacketStackSlotLeftForTest(packet, stackSlotLeft);
        packets_.push_back(packet);
        return packet;
    }

    static ULONG PendingSends(NdisHostAdapter* adapter) {
        Adapter* record = RecordOf(adapter);
        NdisAcquireSpinLock(&record->Lock);
        const ULONG pending = record->PendingSends;
        NdisReleaseSpinLock(&record->Lock);
        return pending;
    }

    std::vector<PNDIS_PACKET> packets_;
};

// Sends, with the packets' own stack slot or through the framework's descriptors.
class SendPathTest : public PacketPathsTest, public ::testing::WithParamInterface<bool> {};

// The sends pend so that the descriptors handed down can still be read.
TEST_P(SendPathTest, AForgeryInTheMiddleOfAnArrayFailsAloneAndTheOthersGoDownInOrder) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    const bool slotLeft = GetParam();
    NdisHostPendOperationForTest(adapter, NdisHostSend, true);
    PNDIS_PACKET packets[3] = {Packet(Ipv4Frame(), slotLeft), Packet(ForgedOutboundReply(), slotLeft),
                               Packet(HostRequest(), slotLeft)};
    NdisHostUpperSendPackets(adapter, packets, 3);

    const std::vector<PNDIS_PACKET> sent = NdisHostLowerSentPacketsForTest(adapter);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(NdisHostPacketBytes(sent[0]), Ipv4Frame());
    EXPECT_EQ(NdisHostPacketBytes(sent[1]), HostRequest());
    EXPECT_EQ(sent[0] == packets[0], slotLeft);
    EXPECT_EQ(sent[1] == packets[2], slotLeft);
    EXPECT_EQ(PendingSends(adapter), 2u);
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter, NdisHostSend));
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter, NdisHostSend));
    const std::vector<NdisHostIndication> done = NdisHostIndicationsForTest(adapter);
    ASSERT_THAT(KindsOf(done),
                ElementsAre(NdisHostSendCompleted, NdisHostSendCompleted, NdisHostSendCompleted));
    const PNDIS_PACKET completionOrder[3] = {packets[1], packets[0], packets[2]};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(done[i].Packet, completionOrder[i]);
        EXPECT_EQ(done[i].Status, i == 0 ? NDIS_STATUS_FAILURE : NDIS_STATUS_SUCCESS);
    }
    EXPECT_EQ(PendingSends(adapter), 0u);
    EXPECT_EQ(NdisHostHoldingsForTest().Packets, baseline_.Packets);
}

TEST_P(SendPathTest, ASendThatDoesNotPendIsCompletedAtOnceWithTheLowerAdaptersStatus) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    NdisHostSetOperationStatusForTest(adapter, NdisHostSend, NDIS_STATUS_RESOURCES);
    PNDIS_PACKET packet = Packet(Ipv4Frame(), GetParam());
    NdisHostUpperSendPackets(adapter, &packet, 1);
    EXPECT_EQ(NdisHostLowerSentPacketsForTest(adapter).size(), 1u);
    const std::vector<NdisHostIndication> done = NdisHostIndicationsForTest(adapter);
    ASSERT_THAT(KindsOf(done), ElementsAre(NdisHostSendCompleted));
    EXPECT_EQ(done[0].Packet, packet);
    EXPECT_EQ(done[0].Status, NDIS_STATUS_RESOURCES);
    EXPECT_EQ(PendingSends(adapter), 0u);
    EXPECT_EQ(NdisHostHoldingsForTest().Packets, baseline_.Packets);
}

TEST_P(SendPathTest, APendedSendCompletesTheSendersPacketThroughSendComplete) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    const bool slotLeft = GetParam();
    NdisHostPendOperationForTest(adapter, NdisHostSend, true);
    PNDIS_PACKET packet = Packet(Ipv4Frame(), slotLeft);
    UCHAR mediaInfo[4] = {1, 2, 3, 4};
    NdisSetPacketFlags(packet, 0x20u);
    NDIS_SET_PACKET_MEDIA_SPECIFIC_INFO(packet, mediaInfo, sizeof(mediaInfo));
    NDIS_PER_PACKET_INFO_FROM_PACKET(packet, TcpIpChecksumPacketInfo) = mediaInfo;
    NdisHostUpperSendPackets(adapter, &packet, 1);

    const std::vector<PNDIS_PACKET> sent = NdisHostLowerSentPacketsForTest(adapter);
    ASSERT_EQ(sent.size(), 1u);
    PNDIS_PACKET down = sent[0];
    EXPECT_EQ(down == packet, slotLeft);
    EXPECT_EQ(NdisGetPacketFlags(down), 0x20u);
    EXPECT_EQ(NDIS_OOB_DATA_FROM_PACKET(down)->MediaSpecificInformation, mediaInfo);
    EXPECT_EQ(NDIS_OOB_DATA_FROM_PACKET(down)->SizeMediaSpecificInfo, sizeof(mediaInfo));
    EXPECT_EQ(NDIS_PER_PACKET_INFO_FROM_PACKET(down, TcpIpChecksumPacketInfo), mediaInfo);
    EXPECT_EQ(NDIS_PACKET_FIRST_NDIS_BUFFER(down), NDIS_PACKET_FIRST_NDIS_BUFFER(packet));
    EXPECT_THAT(NdisHostIndicationsForTest(adapter), IsEmpty());
    EXPECT_EQ(PendingSends(adapter), 1u);

    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter, NdisHostSend));
    const std::vector<NdisHostIndication> done = NdisHostIndicationsForTest(adapter);
    ASSERT_THAT(KindsOf(done), ElementsAre(NdisHostSendCompleted));
    EXPECT_EQ(done[0].Packet, packet);
    EXPECT_EQ(done[0].Status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(PendingSends(adapter), 0u);
    EXPECT_EQ(NdisHostHoldingsForTest().Packets, baseline_.Packets);
}

INSTANTIATE_TEST_SUITE_P(StackSlot, SendPathTest, ::testing::Values(true, false),
                         [](const auto& testInfo) { return testInfo.param ? "SlotLeft" : "Descriptor"; });

struct ReceivePacketCase {
    const char* Name;
    Bytes Frame;
    bool SlotLeft;
    NDIS_STATUS PacketStatus;
    INT References; // what the receive-packet handler returns
    bool Indicated;
};

const ReceivePacketCase kReceivePacketCases[] = {
    {"SpoofedReplyDropped", SpoofedGatewayReply(), true, NDIS_STATUS_SUCCESS, 0, false},
    {"SpoofedReplyDroppedBeforeAnyDescriptor", SpoofedGatewayReply(), false, NDIS_STATUS_SUCCESS, 0, false},
    {"Ipv4OwnPacket", Ipv4Frame(), true, NDIS_STATUS_SUCCESS, 1, true},
    {"Ipv4OwnPacketShortOfResources", Ipv4Frame(), true, NDIS_STATUS_RESOURCES, 0, true},
    {"GatewayReplyInDescriptor", GatewayReply(), false, NDIS_STATUS_SUCCESS, 1, true},
    {"Ipv4InDescriptorShortOfResources", Ipv4Frame(), false, NDIS_STATUS_RESOURCES, 0, true},
};

class ReceivePacketTest : public PacketPathsTest, public ::testing::WithParamInterface<ReceivePacketCase> {};

TEST_P(ReceivePacketTest, PacketIndicationIsDroppedOrPassedUpUnchanged) {
    const ReceivePacketCase& c = GetParam();
    NdisHostAdapter* adapter = AddRunningAdapter();
    PNDIS_PACKET packet = Packet(c.Frame, c.SlotLeft);
    NDIS_SET_PACKET_STATUS(packet, c.PacketStatus);
    NDIS_SET_PACKET_HEADER_SIZE(packet, 14);

    EXPECT_EQ(NdisHostLowerIndicateReceivePacket(adapter, packet), c.References);
    const std::vector<NdisHostIndication> up = NdisHostIndicationsForTest(adapter);
    if (!c.Indicated) {
        EXPECT_THAT(up, IsEmpty());
        return;
    }
    ASSERT_THAT(KindsOf(up), ElementsAre(NdisHostIndicatedReceivePacket));
    EXPECT_EQ(up[0].Bytes, c.Frame);
    EXPECT_EQ(up[0].Status, c.PacketStatus);
    EXPECT_EQ(up[0].Packet == packet, c.SlotLeft);
    if (c.References == 1) { // otherwise a descriptor is already freed
        EXPECT_EQ(NDIS_GET_PACKET_HEADER_SIZE(up[0].Packet), 14u);
        NdisHostUpperReturnPacket(adapter, up[0].Packet);
        EXPECT_THAT(NdisHostReturnedPacketsForTest(), ElementsAre(packet));
    }
    EXPECT_EQ(NdisHostHoldingsForTest().Packets, baseline_.Packets);
}

INSTANTIATE_TEST_SUITE_P(Frames, ReceivePacketTest, ::testing::ValuesIn(kReceivePacketCases),
                         [](const auto& testInfo) { return std::string(testInfo.param.Name); });

TEST_F(PacketPathsTest, ADroppedLookaheadFrameIsNotIndicatedNorFollowedByAReceiveComplete) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    const Bytes spoof = SpoofedGatewayReply();
    const Bytes ipv4 = Ipv4Frame();
    NdisHostSetCurrentProcessorForTest(1);
    EXPECT_EQ(NdisHostLowerIndicateReceive(adapter, ipv4.data(), 98, 14, 84, nullptr), NDIS_STATUS_SUCCESS);
    NdisHostSetCurrentProcessorForTest(0);
    EXPECT_EQ(NdisHostLowerIndicateReceive(adapter, spoof.data(), 60, 14, 46, nullptr), NDIS_STATUS_FAILURE);
    NdisHostLowerIndicateReceiveComplete(adapter);
    const std::vector<NdisHostIndication> up = NdisHostIndicationsForTest(adapter);
    ASSERT_THAT(KindsOf(up), ElementsAre(NdisHostIndicatedEthReceive));
    EXPECT_EQ(up[0].Bytes, ipv4);

    NdisHostSetCurrentProcessorForTest(1);
    NdisHostLowerIndicateReceiveComplete(adapter);
    NdisHostLowerIndicateReceiveComplete(adapter);
    EXPECT_THAT(KindsOf(NdisHostIndicationsForTest(adapter)),
                ElementsAre(NdisHostIndicatedEthReceive, NdisHostIndicatedEthReceiveComplete));
}

TEST_F(PacketPathsTest, ALookaheadReceiveWithAPacketGoesUpInADescriptorFreedOnReturn) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    const Bytes spoof = SpoofedGatewayReply();
    const Bytes reply = GatewayReply();
    PNDIS_PACKET dropped = Packet(spoof);
    PNDIS_PACKET passed = Packet(reply);
    const int64_t packetsBefore = NdisHostHoldingsForTest().Packets;
    EXPECT_EQ(NdisHostLowerIndicateReceive(adapter, spoof.data(), 60, 14, 46, dropped), NDIS_STATUS_FAILURE);
    EXPECT_EQ(NdisHostLowerIndicateReceive(adapter, reply.data(), 60, 14, 46, passed), NDIS_STATUS_SUCCESS);
    const std::vector<NdisHostIndication> up = NdisHostIndicationsForTest(adapter);
    ASSERT_THAT(KindsOf(up), ElementsAre(NdisHostIndicatedReceivePacket));
    EXPECT_NE(up[0].Packet, passed);
    EXPECT_EQ(up[0].Bytes, reply);
    EXPECT_EQ(up[0].Status, NDIS_STATUS_RESOURCES);
    EXPECT_EQ(NdisHostHoldingsForTest().Packets, packetsBefore);
}

struct MediumCase {
    const char* Name;
    NDIS_MEDIUM Medium;
    std::vector<NdisHostIndicationKind> Indications;
};

class MediumTest : public PacketPathsTest, public ::testing::WithParamInterface<MediumCase> {};

TEST_P(MediumTest, LookaheadReceivesAreIndicatedByTheLowerAdaptersMedium) {
    const NDIS_MEDIUM medium = GetParam().Medium;
    NdisHostAdapter* adapter = AddAdapter(medium);
    NdisHostSetOfferedMediaForTest(adapter, {medium == NdisMediumWan ? NdisMedium802_3 : medium});
    ASSERT_EQ(NdisHostBindAdapter(adapter), NDIS_STATUS_SUCCESS);
    ASSERT_TRUE(NdisHostMiniportStateForTest(adapter).Initialized);
    const Bytes ipv4 = Ipv4Frame();
    EXPECT_EQ(NdisHostLowerIndicateReceive(adapter, ipv4.data(), 98, 14, 84, nullptr), NDIS_STATUS_SUCCESS);
    NdisHostLowerIndicateReceiveComplete(adapter);
    EXPECT_EQ(KindsOf(NdisHostIndicationsForTest(adapter)), GetParam().Indications);
}

INSTANTIATE_TEST_SUITE_P(
    Media, MediumTest,
    ::testing::Values(
        MediumCase{
            "Ethernet", NdisMedium802_3, {NdisHostIndicatedEthReceive, NdisHostIndicatedEthReceiveComplete}},
        MediumCase{"Wan", NdisMediumWan, {NdisHostIndicatedEthReceive, NdisHostIndicatedEthReceiveComplete}},
        MediumCase{
            "TokenRing", NdisMedium802_5, {NdisHostIndicatedTrReceive, NdisHostIndicatedTrReceiveComplete}},
        MediumCase{"Fddi", NdisMediumFddi, {}}),
    [](const auto& testInfo) { return std::string(testInfo.param.Name); });

// Transferred data follows the frame's header: here an IPv4 frame carrying a spoofed ARP frame.
class TransferTest : public PacketPathsTest {
protected:
    NDIS_STATUS Transfer(NdisHostAdapter* adapter, const Bytes& data, PNDIS_PACKET* into, UINT* transferred) {
        Bytes frame = Ipv4Frame(14);
        frame.insert(frame.end(), data.begin(), data.end());
        EXPECT_EQ(NdisHostLowerIndicateReceive(adapter, frame.data(), static_cast<ULONG>(frame.size()), 14, 0,
                                               nullptr),
                  NDIS_STATUS_SUCCESS);
        *into = Packet(Bytes(data.size(), 0), true, 1);
        return NdisHostUpperTransferData(adapter, 0, static_cast<UINT>(data.size()), *into, transferred);
    }
};

TEST_F(TransferTest, ATransferFinishedAtOnceIsJudgedBeforeItsStatusIsReturned) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    PNDIS_PACKET into = nullptr;
    UINT transferred = 0;
    EXPECT_EQ(Transfer(adapter, SpoofedGatewayReply(), &into, &transferred), NDIS_STATUS_FAILURE);
    EXPECT_EQ(Transfer(adapter, GatewayReply(), &into, &transferred), NDIS_STATUS_SUCCESS);
    EXPECT_EQ(transferred, 60u);
    EXPECT_EQ(NdisHostPacketBytes(into), GatewayReply());
}

TEST_F(TransferTest, APendedTransferIsJudgedOnceWhenItCompletes) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    NdisHostPendOperationForTest(adapter, NdisHostTransferData, true);
    PNDIS_PACKET spoofed = nullptr;
    PNDIS_PACKET benign = nullptr;
    UINT transferred = 0;
    EXPECT_EQ(Transfer(adapter, SpoofedGatewayReply(), &spoofed, &transferred), NDIS_STATUS_PENDING);
    EXPECT_EQ(Transfer(adapter, Ipv4Frame(), &benign, &transferred), NDIS_STATUS_PENDING);
    std::vector<NdisHostIndication> up = NdisHostIndicationsForTest(adapter);
    ASSERT_THAT(KindsOf(up), ElementsAre(NdisHostIndicatedEthReceive, NdisHostIndicatedEthReceive));
    NdisHostClearIndicationsForTest(adapter);
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter, NdisHostTransferData));
    ASSERT_TRUE(NdisHostCompletePendingForTest(adapter, NdisHostTransferData));
    up = NdisHostIndicationsForTest(adapter);
    ASSERT_THAT(KindsOf(up), ElementsAre(NdisHostTransferCompleted, NdisHostTransferCompleted));
    EXPECT_EQ(up[0].Packet, spoofed);
    EXPECT_EQ(up[0].Status, NDIS_STATUS_FAILURE);
    EXPECT_EQ(up[1].Packet, benign);
    EXPECT_EQ(up[1].Status, NDIS_STATUS_SUCCESS);
    EXPECT_EQ(up[1].Bytes, Ipv4Frame());
}

// Two processors send and receive through the same adapter at once.
TEST_F(PacketPathsTest, SendsAndReceivesRunningTogetherOnTwoProcessorsAllFinish) {
    NdisHostAdapter* adapter = AddRunningAdapter();
    const int kFramesPerThread = 100;
    std::vector<PNDIS_PACKET> sends;
    std::vector<PNDIS_PACKET> receives;
    for (int i = 0; i < 2 * kFramesPerThread; ++i) {
        sends.push_back(Packet(i % 2 == 0 ? Ipv4Frame() : HostRequest(), false));
        receives.push_back(Packet(i % 2 == 0 ? Ipv4Frame() : SpoofedGatewayReply(), true));
    }
    auto run = [&](ULONG processor) {
        NdisHostSetCurrentProcessorForTest(processor);
        for (int i = 0; i < kFramesPerThread; ++i) {
            const size_t at = processor * kFramesPerThread + i;
            NdisHostUpperSendPackets(adapter, &sends[at], 1);
            NdisHostLowerIndicateReceivePacket(adapter, receives[at]);
        }
    };
    std::thread other(run, 1);
    run(0);
    other.join();
    int completed = 0;
    int indicated = 0;
    for (const NdisHostIndication& indication : NdisHostIndicationsForTest(adapter)) {
        completed += indication.Kind == NdisHostSendCompleted && indication.Status == NDIS_STATUS_SUCCESS;
        indicated += indication.Kind == NdisHostIndicatedReceivePacket;
    }
    EXPECT_EQ(completed, 2 * kFramesPerThread);
    EXPECT_EQ(indicated, kFramesPerThread);
    EXPECT_EQ(PendingSends(adapter), 0u);
    EXPECT_EQ(NdisHostHoldingsForTest().Packets, baseline_.Packets);
}

// Which side is in low power, and what each path does then.
struct LowPowerCase {
    const char* Name;
    bool MiniportLow;
    NDIS_STATUS ReceiveStatus;
    INT ReceivePacketReferences;
};

class LowPowerTest : public PacketPathsTest, public ::testing::WithParamInterface<LowPowerCase> {};

TEST_P(LowPowerTest, SendsAndTransfersFailAndReceivesAreRefusedOnlyByALowPowerMiniport) {
    const LowPowerCase& c = GetParam();
    NdisHostAdapter* adapter = AddRunningAdapter();
    if (c.MiniportLow) {
        ASSERT_EQ(NdisHostUpperSetPower(adapter, NdisDeviceStateD3).Status, NDIS_STATUS_SUCCESS);
    } else {
        ASSERT_EQ(NdisHostLowerSetPower(adapter, NdisDeviceStateD3), NDIS_STATUS_SUCCESS);
    }
    NdisHostClearIndicationsForTest(adapter);
    const Bytes ipv4 = Ipv4Frame();
    PNDIS_PACKET sent = Packet(ipv4);
    NdisHostUpperSendPackets(adapter, &sent, 1);
    EXPECT_THAT(NdisHostLowerSentPacketsForTest(adapter), IsEmpty());
    EXPECT_EQ(NdisHostLowerIndicateReceive(adapter, ipv4.data(), 98, 14, 84, nullptr), c.ReceiveStatus);
    EXPECT_EQ(NdisHostLowerIndicateReceivePacket(adapter, Packet(ipv4)), c.ReceivePacketReferences);
    UINT transferred = 0;
    EXPECT_EQ(NdisHostUpperTransferData(adapter, 0, 10, Packet(Bytes(10, 0)), &transferred),
              NDIS_STATUS_FAILURE);
    const std::vector<NdisHostIndication> up = NdisHostIndicationsForTest(adapter);
    ASSERT_FALSE(up.empty());
    EXPECT_EQ(up[0].Kind, NdisHostSendCompleted);
    EXPECT_EQ(up[0].Status, NDIS_STATUS_FAILURE);
    EXPECT_EQ(PendingSends(adapter), 0u);
}

INSTANTIATE_TEST_SUITE_P(Sides, LowPowerTest,
                         ::testing::Values(LowPowerCase{"Miniport", true, NDIS_STATUS_FAILURE, 0},
                                           LowPowerCase{"LowerAdapter", false, NDIS_STATUS_SUCCESS, 1}),
                         [](const auto& testInfo) { return std::string(testInfo.param.Name); });

} // namespace
} // namespace zelk::test
